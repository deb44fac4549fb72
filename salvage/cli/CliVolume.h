#pragma once
// Turns the VOLUME argument (an image file or a device, maybe a whole disk
// with a partition table) and --partition into the volume to analyse.

#include "platform/Volume.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/fs/FileSystemKind.h"
#include "salvage/fs/VolumeProbe.h"

#include <optional>
#include <string>

namespace salvage::cli {

struct SelectedVolume {
    TLogicalDisk Disk;
    platform::VolumePtr Volume;        // opened read-only
    std::optional<TFileSystemKind> Kind;
    DiskProbe Probe;                   // what sector 0 of the path holds
    BootSectorBytes Boot{};            // the chosen volume's first sector, as read
    int PartitionNumber = 0;           // 0: the path is the volume itself
};

// Opens `path` and picks the volume: the path itself when it starts with a
// boot sector; otherwise the partition `partition` names, or the only FAT or
// NTFS partition. On failure returns nullopt with a message for stderr.
// When the path is partitioned and no single partition can be chosen,
// `selected.Volume` is left null and the partitions are in `selected.Probe`.
[[nodiscard]] std::optional<SelectedVolume> SelectVolume(const std::string& path,
                                                         const std::optional<std::string>& partition,
                                                         std::string& error);

// "1  start 2048  sectors 20480  type 0x0C  FAT16" lines.
[[nodiscard]] std::string DescribePartitions(const DiskProbe& probe);

} // namespace salvage::cli
