#pragma once
// Partitions of a whole-disk image or device (MBR with extended partitions,
// or GPT), so that each FAT or NTFS partition can be read as a volume of its own.

#include "platform/Volume.h"
#include "salvage/disk/LogicalDisk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace salvage {

struct PartitionEntry {
    int Number = 0;                 // 1-based, in table order (logical MBR partitions from 5)
    std::uint64_t StartSector = 0;  // in 512-byte sectors from the start of the disk
    std::uint64_t SectorCount = 0;
    std::string Type;               // "0x0C" for MBR, the type GUID for GPT
    bool Gpt = false;
};

inline constexpr std::uint32_t kDiskSectorSize = 512;

// Reads the partition table of sector 0. Empty when there is none (for example
// when sector 0 is a volume's own boot sector). Bounded: at most 128 GPT
// entries and 64 logical MBR partitions are read, and entries that lie outside
// the disk are dropped.
[[nodiscard]] std::vector<PartitionEntry> ReadPartitionTable(const platform::Volume& disk);

// The drive record of one partition of a whole-disk image or device.
[[nodiscard]] TLogicalDisk PartitionDisk(const TLogicalDisk& wholeDisk, const PartitionEntry& partition);

} // namespace salvage
