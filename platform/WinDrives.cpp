#include "platform/Drives.h"

#include <windows.h>

namespace platform {

std::vector<DriveInfo> ListDrives(const DriveSources& /*sources*/)
{
    std::vector<DriveInfo> drives;
    char buffer[512] = {};
    const DWORD length = GetLogicalDriveStringsA(sizeof buffer - 1, buffer);
    if (length == 0 || length >= sizeof buffer)
        return drives;
    // "A:\\\0C:\\\0\0", in letter order.
    for (const char* root = buffer; *root; root += std::char_traits<char>::length(root) + 1) {
        const char letter = static_cast<char>(root[0] & ~0x20);
        const std::string rootPath = std::string(1, letter) + ":\\";
        const UINT type = GetDriveTypeA(rootPath.c_str());
        if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED)
            continue;
        DriveInfo drive;
        drive.Name = std::string(1, letter) + ":";
        drive.DevicePath = "\\\\.\\" + drive.Name;
        drive.Root = rootPath;
        drive.Removable = type == DRIVE_REMOVABLE;
        if (!drive.Removable) {
            char label[256] = {};
            char fileSystem[256] = {};
            DWORD serial = 0;
            if (GetVolumeInformationA(rootPath.c_str(), label, 255, &serial, nullptr, nullptr, fileSystem, 255)) {
                drive.Label = label;
                drive.FileSystem = fileSystem;
                drive.SerialNumber = serial;
            }
        }
        drives.push_back(std::move(drive));
    }
    return drives;
}

} // namespace platform
