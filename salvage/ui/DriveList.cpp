#include "salvage/ui/DriveList.h"

#include <filesystem>

namespace salvage {

TDriveList LoadDrives(const std::vector<platform::DriveInfo>& drives)
{
    TDriveList list;
    for (const platform::DriveInfo& drive : drives) {
        TDriveEntry entry;
        entry.Disk.DevicePath = drive.DevicePath;
        entry.Disk.Root = drive.Root;
        if (drive.Removable) {
            entry.Text = std::string(kLocalDisk) + " (" + drive.Name + ") : " + kRemovableText;
            entry.Image = kDriveImageRemovable;
        } else {
            entry.Disk.StartSector = drive.SerialNumber;
            entry.Disk.VolumeName = drive.Label.empty() ? kLocalDisk : drive.Label;
            entry.Disk.FileSystem = drive.FileSystem;
            entry.Text = entry.Disk.VolumeName + " (" + drive.Name + ") : " + drive.FileSystem;
            entry.Image = kDriveImageFixed;
            if (list.Selected < 0)
                list.Selected = static_cast<int>(list.Entries.size());
        }
        list.Entries.push_back(std::move(entry));
    }
    if (list.Selected < 0 && !list.Entries.empty())
        list.Selected = 0;
    return list;
}

const char* FileSystemName(TFileSystemKind kind)
{
    switch (kind) {
    case TFileSystemKind::NTFS: return "NTFS";
    case TFileSystemKind::FAT32: return "FAT32";
    case TFileSystemKind::FAT16:
    case TFileSystemKind::FAT12: return "FAT";
    }
    return "";
}

std::vector<TDriveEntry> ImageEntries(const std::string& path, const DiskProbe& probe)
{
    std::vector<TDriveEntry> entries;
    const std::string name = std::filesystem::path(path).filename().string();
    auto add = [&](TLogicalDisk disk, TFileSystemKind kind, const std::string& text) {
        disk.FileSystem = FileSystemName(kind);
        disk.VolumeName = name;
        entries.push_back({std::move(disk), text + " : " + FileSystemName(kind), kDriveImageFile});
    };
    if (probe.Kind) {
        TLogicalDisk disk;
        disk.DevicePath = path;
        add(disk, *probe.Kind, name);
        return entries;
    }
    for (const ProbedPartition& part : probe.Partitions)
        if (part.Kind)
            add(part.Disk, *part.Kind, name + " (partition " + std::to_string(part.Partition.Number) + ")");
    return entries;
}

int FindEntry(const std::vector<TDriveEntry>& entries, const TLogicalDisk& disk)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TLogicalDisk& d = entries[i].Disk;
        if (d.DevicePath == disk.DevicePath && d.ByteOffset == disk.ByteOffset && d.ByteLength == disk.ByteLength)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace salvage
