// fuzz_seedtool touched|whole IMAGE OUT: writes a seed in the chunk layout
// (ChunkVolume.h) for a volume image.
//   touched  the sectors the analysis reads (boot sector, MFT records, the
//            bitmaps; FAT and directories), found by running it on the
//            image; MFT records that are free and nameless are left out
//   whole    every sector of the image
// Sectors of zeros are left out either way: the chunk volume reads them as
// zeros anyway, and the seed stays small enough for mutations to matter.

#include "ChunkVolume.h"
#include "FuzzCommon.h"

#include "salvage/fs/NTFS.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

using fuzzsupport::kChunkSectorSize;

// Passes reads through and notes the sectors they cover.
class RecordingVolume final : public platform::Volume {
public:
    explicit RecordingVolume(platform::VolumePtr base) : base_(std::move(base)) {}

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (!out.empty()) {
            std::lock_guard lock(mutex_);
            for (std::uint64_t s = offset / kChunkSectorSize; s <= (offset + out.size() - 1) / kChunkSectorSize; ++s)
                sectors_.insert(s);
        }
        return base_->ReadAt(offset, out);
    }
    std::uint64_t Size() const override { return base_->Size(); }

    std::set<std::uint64_t> Sectors() const
    {
        std::lock_guard lock(mutex_);
        return sectors_;
    }

private:
    platform::VolumePtr base_;
    mutable std::mutex mutex_;
    mutable std::set<std::uint64_t> sectors_;
};

// The sectors of MFT records that are free and hold no name: a formatted
// MFT has many, and as zeros they are skipped by the search just the same.
std::set<std::uint64_t> BlankRecordSectors(const platform::VolumePtr& volume)
{
    std::set<std::uint64_t> blank;
    salvage::TNTFS ntfs;
    std::uint64_t records = 0;
    if (!ntfs.OpenNTFSVolume(volume, records).Ok())
        return blank;
    const auto mft = ntfs.FindAttribute(ntfs.MFTRecord(), salvage::ntfs::kData, std::nullopt, false, 0);
    if (!mft)
        return blank;
    const std::uint64_t clusterBytes = ntfs.ClusterBytes();
    salvage::TNTFSRecordInfo info;
    for (std::uint64_t n = 0; n < records; ++n) {
        if (ntfs.IsRecordInUse(n) || ntfs.GetDeletedRecordInfo(n, info))
            continue;
        const std::uint64_t at = n * ntfs.RecordSize();
        // A record lies in one run (records never straddle a run's end).
        const auto m = ntfs.MapVCN(*mft, at / clusterBytes);
        if (!m || m->Sparse)
            continue;
        const std::uint64_t offset = m->Lcn * clusterBytes + at % clusterBytes;
        for (std::uint64_t s = offset / kChunkSectorSize; s < (offset + ntfs.RecordSize()) / kChunkSectorSize; ++s)
            blank.insert(s);
    }
    return blank;
}

bool IsZero(std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t b : bytes)
        if (b != 0)
            return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || (std::string(argv[1]) != "touched" && std::string(argv[1]) != "whole")) {
        std::cerr << "usage: fuzz_seedtool touched|whole IMAGE OUT\n";
        return 2;
    }
    fuzzsupport::QuietMessages();
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::uint64_t sectorCount = image.size() / kChunkSectorSize;
    if (!in.is_open() || sectorCount == 0 || sectorCount > fuzzsupport::kMaxVolumeSectors) {
        std::cerr << argv[2] << ": not readable, empty, or larger than a fuzz volume can be\n";
        return 1;
    }

    std::set<std::uint64_t> wanted;
    if (std::string(argv[1]) == "touched") {
        auto recording = std::make_shared<RecordingVolume>(platform::MakeMemoryVolume(image));
        salvage::TFoundFileModel model;
        if (!fuzzsupport::AnalyseVolume(recording, model, true)) {
            std::cerr << argv[2] << ": the analysis refuses the volume\n";
            return 1;
        }
        wanted = recording->Sectors();
        for (const std::uint64_t s : BlankRecordSectors(platform::MakeMemoryVolume(image)))
            wanted.erase(s);
    } else {
        for (std::uint64_t s = 0; s < sectorCount; ++s)
            wanted.insert(s);
    }

    // Runs of consecutive non-zero sectors become one chunk each.
    std::vector<std::uint8_t> seed;
    fuzzsupport::AppendHeader(seed, static_cast<std::uint32_t>(sectorCount));
    auto sector = [&](std::uint64_t s) {
        return std::span(image).subspan(static_cast<std::size_t>(s * kChunkSectorSize), kChunkSectorSize);
    };
    for (auto it = wanted.begin(); it != wanted.end();) {
        if (*it >= sectorCount || IsZero(sector(*it))) {
            ++it;
            continue;
        }
        const std::uint64_t first = *it;
        std::uint64_t last = first;
        while (++it != wanted.end() && *it == last + 1 && *it < sectorCount && !IsZero(sector(*it)))
            last = *it;
        fuzzsupport::AppendChunks(seed, static_cast<std::uint32_t>(first),
                                  std::span(image).subspan(static_cast<std::size_t>(first * kChunkSectorSize),
                                                           static_cast<std::size_t>((last - first + 1) * kChunkSectorSize)));
    }
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
    return out ? 0 : 1;
}
