#pragma once
// A drive-box entry for an image file, as "Open disk image..." would add
// it, without reading the image (the tests also offer images that are not
// there).

#include "salvage/ui/DriveList.h"

#include <filesystem>
#include <string>

namespace wizardtest {

inline salvage::TDriveEntry ImageEntry(const std::string& path, const char* fileSystem)
{
    salvage::TDriveEntry entry;
    const std::string name = std::filesystem::path(path).filename().string();
    entry.Disk.DevicePath = path;
    entry.Disk.VolumeName = name;
    entry.Disk.FileSystem = fileSystem;
    entry.Text = name + " : " + fileSystem;
    entry.Image = salvage::kDriveImageFile;
    return entry;
}

} // namespace wizardtest
