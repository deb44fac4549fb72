#pragma once
// What a device or image holds: one volume, or a partitioned disk whose
// FAT/NTFS partitions are volumes of their own.

#include "platform/Volume.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/disk/PartitionTable.h"
#include "salvage/fs/FileSystemKind.h"

#include <optional>
#include <vector>

namespace salvage {

struct ProbedPartition {
    PartitionEntry Partition;
    TLogicalDisk Disk;                     // the partition as a volume
    std::optional<TFileSystemKind> Kind;   // nullopt: not FAT or NTFS
    BootSectorBytes Boot{};                // the partition's first sector, as read
};

struct DiskProbe {
    std::optional<TFileSystemKind> Kind;   // sector 0 is this kind of boot sector
    std::vector<ProbedPartition> Partitions;  // filled only when sector 0 is a partition table
    BootSectorBytes Boot{};                   // sector 0, as read (the analysis need not read it again)
    [[nodiscard]] bool Partitioned() const noexcept { return !Kind && !Partitions.empty(); }
};

// Reads sector 0 of an open volume (and each partition's first sector).
[[nodiscard]] DiskProbe ProbeDisk(const TLogicalDisk& disk, const platform::VolumePtr& volume);

} // namespace salvage
