#include "salvage/cli/CliVolume.h"

#include <charconv>
#include <sstream>

namespace salvage::cli {

std::optional<SelectedVolume> SelectVolume(const std::string& path, const std::optional<std::string>& partition,
                                           std::string& error)
{
    SelectedVolume sel;
    sel.Disk.DevicePath = path;
    platform::OpenError openError;
    platform::VolumePtr whole = OpenLogicalDisk(sel.Disk, openError);
    if (!whole) {
        error = path + ": " + openError.message;
        return std::nullopt;
    }
    sel.Probe = ProbeDisk(sel.Disk, whole);

    int wanted = 0;
    if (partition) {
        const auto* end = partition->data() + partition->size();
        const auto [p, ec] = std::from_chars(partition->data(), end, wanted);
        if (ec != std::errc() || p != end || wanted < 1) {
            error = "--partition takes a partition number (1, 2, ...), not \"" + *partition + "\".";
            return std::nullopt;
        }
    }

    if (!sel.Probe.Partitioned()) {
        if (wanted != 0) {
            error = path + " holds no partition table, so --partition does not apply.";
            return std::nullopt;
        }
        sel.Volume = whole;
        sel.Kind = sel.Probe.Kind;
        sel.Boot = sel.Probe.Boot;
        return sel;
    }

    const ProbedPartition* chosen = nullptr;
    if (wanted != 0) {
        for (const ProbedPartition& p : sel.Probe.Partitions)
            if (p.Partition.Number == wanted)
                chosen = &p;
        if (!chosen) {
            error = path + " has no partition " + std::to_string(wanted) + ".";
            return std::nullopt;
        }
    } else {
        int usable = 0;
        for (const ProbedPartition& p : sel.Probe.Partitions)
            if (p.Kind) {
                chosen = &p;
                ++usable;
            }
        if (usable != 1)
            return sel; // the caller lists the partitions and asks for --partition
    }
    sel.Disk = chosen->Disk;
    sel.Kind = chosen->Kind;
    sel.Boot = chosen->Boot;
    sel.PartitionNumber = chosen->Partition.Number;
    sel.Volume = platform::MakeWindowVolume(whole, chosen->Disk.ByteOffset, chosen->Disk.ByteLength);
    return sel;
}

std::string DescribePartitions(const DiskProbe& probe)
{
    std::ostringstream out;
    for (const ProbedPartition& p : probe.Partitions) {
        out << "Partition " << p.Partition.Number << ": start sector " << p.Partition.StartSector << ", "
            << p.Partition.SectorCount << " sectors, type " << p.Partition.Type << ", "
            << (p.Kind ? FileSystemKindName(*p.Kind) : "no supported file system") << "\n";
    }
    return out.str();
}

} // namespace salvage::cli
