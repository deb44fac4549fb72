#include "salvage/disk/PartitionTable.h"

#include "salvage/disk/Bytes.h"

#include <array>
#include <cstdio>
#include <limits>
#include <set>

namespace salvage {
namespace {

// MBR layout: four 16-byte entries at 446, signature 55 AA at 510.
constexpr std::size_t kMbrEntries = 446;
constexpr std::size_t kMbrEntrySize = 16;
constexpr std::size_t kMbrEntryType = 4;
constexpr std::size_t kMbrEntryStart = 8;
constexpr std::size_t kMbrEntryCount = 12;
constexpr std::size_t kSignatureOffset = 510;
constexpr std::uint8_t kTypeGptProtective = 0xEE;
constexpr int kMaxLogicalPartitions = 64;

// GPT header at LBA 1 and its entries.
constexpr std::uint64_t kGptSignature = 0x5452415020494645ull; // "EFI PART"
constexpr std::size_t kGptEntriesLba = 72;
constexpr std::size_t kGptEntryCount = 80;
constexpr std::size_t kGptEntrySize = 84;
constexpr std::size_t kGptEntryFirstLba = 32;
constexpr std::size_t kGptEntryLastLba = 40;
constexpr std::uint32_t kMaxGptEntries = 128;

bool IsExtendedType(std::uint8_t type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

std::string HexType(std::uint8_t type)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", type);
    return text;
}

std::string GuidText(ByteSpan g)
{
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", LoadLE32(g, 0),
                  LoadLE16(g, 4), LoadLE16(g, 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

bool ReadSector(const platform::Volume& disk, std::uint64_t lba, std::span<std::uint8_t> out)
{
    if (lba > std::numeric_limits<std::uint64_t>::max() / kDiskSectorSize)
        return false;
    return disk.ReadAt(lba * kDiskSectorSize, out);
}

// Only entries that lie inside the disk (when its size is known) are kept.
bool FitsDisk(const platform::Volume& disk, std::uint64_t start, std::uint64_t count)
{
    if (count == 0)
        return false;
    const std::uint64_t sectors = disk.Size() / kDiskSectorSize;
    if (sectors == 0)
        return true;
    return start < sectors && count <= sectors - start;
}

std::vector<PartitionEntry> ReadGpt(const platform::Volume& disk)
{
    std::vector<PartitionEntry> result;
    std::array<std::uint8_t, kDiskSectorSize> header{};
    if (!ReadSector(disk, 1, header) || LoadLE64(header, 0) != kGptSignature)
        return result;
    const std::uint64_t entriesLba = LoadLE64(header, kGptEntriesLba);
    const std::uint32_t count = std::min(LoadLE32(header, kGptEntryCount), kMaxGptEntries);
    const std::uint32_t entrySize = LoadLE32(header, kGptEntrySize);
    if (entrySize < 128 || entrySize > kDiskSectorSize || kDiskSectorSize % entrySize != 0)
        return result;
    std::vector<std::uint8_t> entries(static_cast<std::size_t>(count) * entrySize);
    if (entries.empty() || !ReadSector(disk, entriesLba, entries))
        return result;
    for (std::uint32_t i = 0; i < count; ++i) {
        const ByteSpan e = ByteSpan(entries).subspan(static_cast<std::size_t>(i) * entrySize, entrySize);
        bool unused = true;
        for (std::size_t k = 0; k < 16; ++k)
            unused = unused && e[k] == 0;
        if (unused)
            continue;
        const std::uint64_t first = LoadLE64(e, kGptEntryFirstLba);
        const std::uint64_t last = LoadLE64(e, kGptEntryLastLba);
        if (last < first || !FitsDisk(disk, first, last - first + 1))
            continue;
        result.push_back({static_cast<int>(i) + 1, first, last - first + 1, GuidText(e.first(16)), true});
    }
    return result;
}

// Logical partitions: a chain of extended boot records, each giving one
// logical partition (relative to itself) and the next record (relative to the
// extended partition's start). The chain is bounded and may not revisit a record.
void ReadLogical(const platform::Volume& disk, std::uint64_t extendedStart, std::vector<PartitionEntry>& result)
{
    std::set<std::uint64_t> seen;
    std::uint64_t ebr = extendedStart;
    int number = 5;
    std::array<std::uint8_t, kDiskSectorSize> sector{};
    while (number < 5 + kMaxLogicalPartitions && seen.insert(ebr).second) {
        if (!ReadSector(disk, ebr, sector) || LoadLE16(sector, kSignatureOffset) != 0xAA55)
            return;
        const ByteSpan first = ByteSpan(sector).subspan(kMbrEntries, kMbrEntrySize);
        const ByteSpan next = ByteSpan(sector).subspan(kMbrEntries + kMbrEntrySize, kMbrEntrySize);
        const std::uint8_t type = first[kMbrEntryType];
        const std::uint64_t start = ebr + LoadLE32(first, kMbrEntryStart);
        const std::uint64_t count = LoadLE32(first, kMbrEntryCount);
        if (type != 0 && FitsDisk(disk, start, count))
            result.push_back({number, start, count, HexType(type), false});
        ++number;
        if (!IsExtendedType(next[kMbrEntryType]) || LoadLE32(next, kMbrEntryStart) == 0)
            return;
        ebr = extendedStart + LoadLE32(next, kMbrEntryStart);
    }
}

} // namespace

std::vector<PartitionEntry> ReadPartitionTable(const platform::Volume& disk)
{
    std::vector<PartitionEntry> result;
    std::array<std::uint8_t, kDiskSectorSize> mbr{};
    if (!ReadSector(disk, 0, mbr) || LoadLE16(mbr, kSignatureOffset) != 0xAA55)
        return result;
    for (int i = 0; i < 4; ++i) {
        const ByteSpan e = ByteSpan(mbr).subspan(kMbrEntries + static_cast<std::size_t>(i) * kMbrEntrySize,
                                                 kMbrEntrySize);
        if (e[kMbrEntryType] == kTypeGptProtective)
            return ReadGpt(disk);
        // Boot flags other than 0x00 and 0x80 mean these bytes are not a partition table
        // (a FAT or NTFS boot sector also ends in 55 AA).
        if (e[0] != 0x00 && e[0] != 0x80)
            return {};
    }
    for (int i = 0; i < 4; ++i) {
        const ByteSpan e = ByteSpan(mbr).subspan(kMbrEntries + static_cast<std::size_t>(i) * kMbrEntrySize,
                                                 kMbrEntrySize);
        const std::uint8_t type = e[kMbrEntryType];
        const std::uint64_t start = LoadLE32(e, kMbrEntryStart);
        const std::uint64_t count = LoadLE32(e, kMbrEntryCount);
        if (type == 0 || !FitsDisk(disk, start, count))
            continue;
        if (IsExtendedType(type))
            ReadLogical(disk, start, result);
        else
            result.push_back({i + 1, start, count, HexType(type), false});
    }
    return result;
}

TLogicalDisk PartitionDisk(const TLogicalDisk& wholeDisk, const PartitionEntry& partition)
{
    TLogicalDisk disk = wholeDisk;
    disk.ByteOffset = wholeDisk.ByteOffset + partition.StartSector * kDiskSectorSize;
    disk.ByteLength = partition.SectorCount * kDiskSectorSize;
    disk.VolumeName = wholeDisk.VolumeName + " #" + std::to_string(partition.Number);
    return disk;
}

} // namespace salvage
