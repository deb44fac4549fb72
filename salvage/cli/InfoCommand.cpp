// salvage-cli info VOLUME: the file-system kind and the geometry the readers use.

#include "salvage/cli/CliVolume.h"
#include "salvage/cli/Commands.h"
#include "salvage/cli/Json.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/FATEntryCheck.h"
#include "salvage/fs/NTFS.h"

#include <cstdio>
#include <iostream>

namespace salvage::cli {
namespace {

std::string PartitionsJson(const DiskProbe& probe)
{
    std::string json = "[";
    for (const ProbedPartition& p : probe.Partitions) {
        if (json.size() > 1)
            json += ',';
        JsonObject o;
        o.Add("number", p.Partition.Number)
            .Add("start_sector", p.Partition.StartSector)
            .Add("sector_count", p.Partition.SectorCount)
            .Add("type", p.Partition.Type);
        if (p.Kind)
            o.Add("kind", FileSystemKindName(*p.Kind));
        else
            o.AddNull("kind");
        json += o.Str();
    }
    return json + "]";
}

int PrintFatInfo(const SelectedVolume& sel, bool json, JsonObject& object)
{
    TFAT32 fat(sel.Volume);
    if (!fat.Usable()) {
        std::cerr << sel.Disk.DevicePath << ": " << fat.Problem() << "\n";
        return kExitFailure;
    }
    if (json) {
        object.Add("bytes_per_sector", fat.BytesPerSector())
            .Add("sectors_per_cluster", fat.SectorsPerCluster())
            .Add("reserved_sectors", fat.ReservedSectors())
            .Add("fat_count", fat.NumberOfFATs())
            .Add("sectors_per_fat", fat.SectorsPerFAT())
            .Add("root_entries", fat.RootEntries())
            .Add("fat_start", fat.FATStart)
            .Add("data_start", fat.DataStart)
            .Add("fat_type", static_cast<unsigned>(fat.FATType))
            .Add("root_key", fat.RootKey())
            .Add("label", FatVolumeLabel(fat));
        std::cout << object.Str() << "\n";
        return kExitOk;
    }
    std::cout << "Bytes per sector: " << fat.BytesPerSector() << "\n"
              << "Sectors per cluster: " << fat.SectorsPerCluster() << "\n"
              << "Reserved sectors: " << fat.ReservedSectors() << "\n"
              << "Number of FATs: " << fat.NumberOfFATs() << "\n"
              << "Sectors per FAT: " << fat.SectorsPerFAT() << "\n"
              << "Root entries: " << fat.RootEntries() << "\n"
              << "FATStart: " << fat.FATStart << "\n"
              << "DataStart: " << fat.DataStart << "\n"
              << "FATType: " << static_cast<unsigned>(fat.FATType) << "\n"
              << "Root directory key: " << fat.RootKey() << "\n"
              << "Volume label: " << FatVolumeLabel(fat) << "\n";
    return kExitOk;
}

int PrintNtfsInfo(const SelectedVolume& sel, bool json, JsonObject& object)
{
    TNTFS ntfs;
    std::uint64_t records = 0;
    const TNTFSOpenResult opened = ntfs.OpenNTFSVolume(sel.Volume, records);
    if (!opened.Ok()) {
        std::cerr << sel.Disk.DevicePath << ": " << opened.Message << "\n";
        return kExitFailure;
    }
    if (json) {
        object.Add("bytes_per_sector", ntfs.BytesPerSector())
            .Add("sectors_per_cluster", ntfs.SectorsPerCluster())
            .Add("mft_cluster", ntfs.MftCluster())
            .Add("record_size", ntfs.RecordSize())
            .Add("record_count", records);
        std::cout << object.Str() << "\n";
        return kExitOk;
    }
    std::cout << "Bytes per sector: " << ntfs.BytesPerSector() << "\n"
              << "Sectors per cluster: " << ntfs.SectorsPerCluster() << "\n"
              << "MFT cluster: " << ntfs.MftCluster() << "\n"
              << "MFT record size: " << ntfs.RecordSize() << "\n"
              << "MFT records: " << records << "\n";
    return kExitOk;
}

} // namespace

int RunInfo(const std::vector<std::string>& args)
{
    Arguments a;
    if (auto error = ParseArguments(args, {"--json"}, {"--partition"}, {}, a)) {
        std::cerr << "salvage-cli info: " << *error << "\n";
        return kExitUsage;
    }
    if (a.positional.size() != 1) {
        std::cerr << "usage: salvage-cli info [--json] [--partition N] VOLUME\n";
        return kExitUsage;
    }
    const bool json = a.Has("--json");
    SelectError error;
    const auto sel = SelectVolume(a.positional[0], a.Value("--partition"), error);
    if (!sel) {
        std::cerr << error.message << "\n";
        return error.exitCode;
    }

    JsonObject object;
    if (sel->Probe.Partitioned()) {
        if (json)
            object.AddRaw("partitions", PartitionsJson(sel->Probe));
        else
            std::cout << DescribePartitions(sel->Probe);
        if (!sel->Volume) {
            if (json)
                std::cout << object.Str() << "\n";
            else
                std::cout << "Choose a partition with --partition N.\n";
            return kExitOk;
        }
        if (json)
            object.Add("partition", sel->PartitionNumber);
        else
            std::cout << "Partition " << sel->PartitionNumber << ":\n";
    }

    if (!sel->Kind) {
        std::cerr << kNoSupportedFileSystem << "\n";
        return kExitFailure;
    }
    if (json)
        object.Add("kind", FileSystemKindName(*sel->Kind));
    else
        std::cout << "File system: " << FileSystemKindName(*sel->Kind) << "\n";

    if (IsFatKind(*sel->Kind))
        return PrintFatInfo(*sel, json, object);
    return PrintNtfsInfo(*sel, json, object);
}

} // namespace salvage::cli
