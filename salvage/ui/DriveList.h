#pragma once
// The entries of the main window's drive box: the machine's drives
// (LoadDrives) and the disk images or devices the user opens.

#include "platform/Drives.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/fs/FileSystemKind.h"
#include "salvage/fs/VolumeProbe.h"

#include <string>
#include <vector>

namespace salvage {

// Images of the drive box.
inline constexpr int kDriveImageFixed = 1;
inline constexpr int kDriveImageRemovable = 2;
inline constexpr int kDriveImageFile = 3;  // a disk image or a device the user opened

inline constexpr const char* kLocalDisk = "Local Disk";
inline constexpr const char* kRemovableText = "REMOVABLE";

struct TDriveEntry {
    TLogicalDisk Disk;
    std::string Text;
    int Image = kDriveImageFixed;
};

struct TDriveList {
    std::vector<TDriveEntry> Entries;
    int Selected = -1;  // the first fixed drive, else entry 0; -1 when empty
};

// Fixed drives read "LABEL (NAME) : FILESYSTEM" ("Local Disk" when the label
// is empty), removable ones "Local Disk (NAME) : REMOVABLE" with no label or
// file system in their record.
[[nodiscard]] TDriveList LoadDrives(const std::vector<platform::DriveInfo>& drives);

// The file-system name as Windows reports it: "NTFS", "FAT32", "FAT".
[[nodiscard]] const char* FileSystemName(TFileSystemKind kind);

// The entries an opened image or device gives: the volume itself, or one per
// FAT or NTFS partition of a whole-disk image. Empty when it holds neither.
[[nodiscard]] std::vector<TDriveEntry> ImageEntries(const std::string& path, const DiskProbe& probe);

// Index of the entry that reads the same volume, or -1.
[[nodiscard]] int FindEntry(const std::vector<TDriveEntry>& entries, const TLogicalDisk& disk);

} // namespace salvage
