#include "salvage/fs/VolumeProbe.h"

namespace salvage {

DiskProbe ProbeDisk(const TLogicalDisk& disk, const platform::VolumePtr& volume)
{
    DiskProbe probe;
    BootSectorBytes boot{};
    if (!volume || !ReadBootSector(*volume, boot))
        return probe;
    probe.Kind = DetermineFileSystemKind(boot, IsFloppyDrive(disk));
    if (probe.Kind)
        return probe;
    for (const PartitionEntry& entry : ReadPartitionTable(*volume)) {
        ProbedPartition part{entry, PartitionDisk(disk, entry), std::nullopt};
        BootSectorBytes partBoot{};
        const std::uint64_t offset = entry.StartSector * kDiskSectorSize;
        if (volume->ReadAt(offset, partBoot))
            part.Kind = DetermineFileSystemKind(partBoot, false);
        probe.Partitions.push_back(std::move(part));
    }
    return probe;
}

} // namespace salvage
