#include "salvage/fs/VolumeProbe.h"

namespace salvage {

DiskProbe ProbeDisk(const TLogicalDisk& disk, const platform::VolumePtr& volume)
{
    DiskProbe probe;
    if (!volume || !ReadBootSector(*volume, probe.Boot))
        return probe;
    probe.Kind = DetermineFileSystemKind(probe.Boot, IsFloppyDrive(disk));
    if (probe.Kind)
        return probe;
    for (const PartitionEntry& entry : ReadPartitionTable(*volume)) {
        ProbedPartition part{entry, PartitionDisk(disk, entry), std::nullopt, {}};
        const std::uint64_t offset = entry.StartSector * kDiskSectorSize;
        if (volume->ReadAt(offset, part.Boot))
            part.Kind = DetermineFileSystemKind(part.Boot, false);
        probe.Partitions.push_back(std::move(part));
    }
    return probe;
}

} // namespace salvage
