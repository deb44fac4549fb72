#include "ChunkVolume.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace fuzzsupport {
namespace {

using Sector = std::array<std::uint8_t, kChunkSectorSize>;

std::uint32_t Load32(std::span<const std::uint8_t> in, std::size_t at)
{
    return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8 |
           static_cast<std::uint32_t>(in[at + 2]) << 16 | static_cast<std::uint32_t>(in[at + 3]) << 24;
}

// Only the sectors that hold chunk bytes are stored, sorted by number, so a
// read costs a search and a copy per stored sector it covers.
class ChunkVolume final : public platform::Volume {
public:
    ChunkVolume(std::uint64_t size, const std::map<std::uint32_t, Sector>& sectors) : size_(size)
    {
        numbers_.reserve(sectors.size());
        data_.reserve(sectors.size());
        for (const auto& [number, bytes] : sectors) {
            numbers_.push_back(number);
            data_.push_back(bytes);
        }
    }

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (offset > size_ || out.size() > size_ - offset)
            return false;
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        const std::uint64_t end = offset + out.size();
        auto it = std::upper_bound(numbers_.begin(), numbers_.end(), offset / kChunkSectorSize);
        if (it != numbers_.begin())
            --it;
        for (; it != numbers_.end(); ++it) {
            const std::uint64_t start = std::uint64_t{*it} * kChunkSectorSize;
            if (start >= end)
                break;
            const std::uint64_t from = std::max(start, offset);
            const std::uint64_t to = std::min(start + kChunkSectorSize, end);
            if (from >= to)
                continue;
            const Sector& bytes = data_[static_cast<std::size_t>(it - numbers_.begin())];
            std::memcpy(out.data() + (from - offset), bytes.data() + (from - start), to - from);
        }
        return true;
    }

    std::uint64_t Size() const override { return size_; }

private:
    std::uint64_t size_;
    std::vector<std::uint32_t> numbers_;
    std::vector<Sector> data_;
};

} // namespace

platform::VolumePtr MakeChunkVolume(std::span<const std::uint8_t> input)
{
    std::uint32_t sectors = input.size() >= 4 ? Load32(input, 0) : 0;
    if (sectors == 0 || sectors > kMaxVolumeSectors)
        sectors = kMaxVolumeSectors;
    std::map<std::uint32_t, Sector> stored;
    for (std::size_t pos = 4; pos + 6 <= input.size();) {
        const std::uint32_t first = Load32(input, pos);
        const std::size_t count = std::min<std::size_t>(input[pos + 4] | input[pos + 5] << 8, input.size() - pos - 6);
        pos += 6;
        for (std::size_t done = 0; done < count;) {
            const std::uint64_t at = std::uint64_t{first} * kChunkSectorSize + done;
            const std::uint64_t number = at / kChunkSectorSize;
            if (number >= sectors)
                break;
            const std::size_t inSector = static_cast<std::size_t>(at % kChunkSectorSize);
            const std::size_t take = std::min(count - done, kChunkSectorSize - inSector);
            Sector& sector = stored.try_emplace(static_cast<std::uint32_t>(number), Sector{}).first->second;
            std::memcpy(sector.data() + inSector, input.data() + pos + done, take);
            done += take;
        }
        pos += count;
    }
    return std::make_shared<ChunkVolume>(std::uint64_t{sectors} * kChunkSectorSize, stored);
}

namespace {

void Append32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

} // namespace

void AppendHeader(std::vector<std::uint8_t>& out, std::uint32_t sectors)
{
    Append32(out, sectors);
}

void AppendChunks(std::vector<std::uint8_t>& out, std::uint32_t firstSector, std::span<const std::uint8_t> bytes)
{
    // Whole sectors per chunk, so every chunk starts on its own sector.
    constexpr std::size_t kPerChunk = kMaxChunkBytes / kChunkSectorSize * kChunkSectorSize;
    for (std::size_t done = 0; done < bytes.size(); done += kPerChunk) {
        const std::size_t n = std::min(kPerChunk, bytes.size() - done);
        Append32(out, firstSector + static_cast<std::uint32_t>(done / kChunkSectorSize));
        out.push_back(static_cast<std::uint8_t>(n));
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(done),
                   bytes.begin() + static_cast<std::ptrdiff_t>(done + n));
    }
}

} // namespace fuzzsupport
