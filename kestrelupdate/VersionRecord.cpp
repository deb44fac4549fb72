#include "kestrelupdate/VersionRecord.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>

namespace kestrelupdate {
namespace {

std::uint32_t LoadU32(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::uint64_t LoadU64(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    return static_cast<std::uint64_t>(LoadU32(bytes, offset)) |
           static_cast<std::uint64_t>(LoadU32(bytes, offset + 4)) << 32;
}

void StoreU32(std::uint8_t* out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void StoreU64(std::uint8_t* out, std::uint64_t value)
{
    StoreU32(out, static_cast<std::uint32_t>(value));
    StoreU32(out + 4, static_cast<std::uint32_t>(value >> 32));
}

} // namespace

std::optional<VersionRecord> ParseVersionRecord(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kVersionRecordSize)
        return std::nullopt;
    VersionRecord record;
    record.first = LoadU32(bytes, kFirstOffset);
    record.second = LoadU32(bytes, kSecondOffset);
    record.third = LoadU32(bytes, kThirdOffset);
    record.dateStatus = static_cast<DateStatus>(static_cast<std::int32_t>(LoadU32(bytes, kDateStatusOffset)));
    record.date = std::bit_cast<double>(LoadU64(bytes, kDateOffset));
    return record;
}

std::array<std::uint8_t, kVersionRecordSize> SerializeVersionRecord(const VersionRecord& record)
{
    std::array<std::uint8_t, kVersionRecordSize> bytes{};
    StoreU32(bytes.data() + kFirstOffset, record.first);
    StoreU32(bytes.data() + kSecondOffset, record.second);
    StoreU32(bytes.data() + kThirdOffset, record.third);
    StoreU32(bytes.data() + kDateStatusOffset, static_cast<std::uint32_t>(record.dateStatus));
    StoreU64(bytes.data() + kDateOffset, std::bit_cast<std::uint64_t>(record.date));
    return bytes;
}

bool LoadVersionFile(const std::string& path, VersionRecord& record)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::array<std::uint8_t, kVersionRecordSize> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    if (in.gcount() != static_cast<std::streamsize>(bytes.size()))
        return false;
    record = *ParseVersionRecord(bytes);
    return true;
}

bool SaveVersionFile(const std::string& path, const VersionRecord& record)
{
    const auto bytes = SerializeVersionRecord(record);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    out.close();
    return static_cast<bool>(out);
}

bool Older(const VersionRecord& downloaded, const VersionRecord& installed)
{
    return downloaded.first < installed.first && downloaded.second < installed.second &&
           downloaded.third < installed.third && downloaded.dateStatus == DateStatus::Valid &&
           installed.dateStatus == DateStatus::Valid && std::ceil(downloaded.date) < std::ceil(installed.date);
}

bool Equal(const VersionRecord& a, const VersionRecord& b)
{
    if (a.first != b.first || a.second != b.second || a.third != b.third || a.dateStatus != b.dateStatus)
        return false;
    if (a.dateStatus == DateStatus::Null)
        return true;
    return a.dateStatus == DateStatus::Valid && a.date == b.date;
}

bool IsNewer(const VersionRecord& downloaded, const VersionRecord& installed)
{
    return !Older(downloaded, installed) && !Equal(downloaded, installed);
}

} // namespace kestrelupdate
