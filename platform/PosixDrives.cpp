#include "platform/Drives.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;
namespace {

// The first line of a small sysfs file, without its line end; empty when it
// cannot be read.
std::string ReadLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// Devices that never hold a volume a user would analyse: RAM disks,
// compressed swap, optical drives (not removable or fixed drives), and the
// boot and RPMB areas of eMMC chips.
bool NeverListed(const std::string& name)
{
    if (StartsWith(name, "ram") || StartsWith(name, "zram") || StartsWith(name, "sr"))
        return true;
    return StartsWith(name, "mmcblk") && (name.find("boot") != std::string::npos || name.find("rpmb") != std::string::npos);
}

// udev writes "\x20" for characters it does not keep in ID_FS_LABEL_ENC.
std::string DecodeUdevText(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The "E:" properties of one device's udev record.
std::map<std::string, std::string> ReadUdevProperties(const fs::path& file)
{
    std::map<std::string, std::string> properties;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (!StartsWith(line, "E:"))
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        properties[line.substr(2, eq - 2)] = line.substr(eq + 1);
    }
    return properties;
}

std::string Property(const std::map<std::string, std::string>& properties, const std::string& key)
{
    const auto it = properties.find(key);
    return it == properties.end() ? std::string() : it->second;
}

// File-system names as Windows reports them, so that the drive box reads
// the same on both systems.
std::string WindowsFileSystemName(const std::string& type, const std::string& version)
{
    if (type == "vfat" || type == "msdos")
        return version == "FAT32" ? "FAT32" : "FAT";
    if (type == "ntfs" || type == "ntfs3")
        return "NTFS";
    if (type == "exfat")
        return "exFAT";
    return type;
}

// Containers and swap: never a file system of their own.
bool NotAVolume(const std::map<std::string, std::string>& properties)
{
    const std::string usage = Property(properties, "ID_FS_USAGE");
    return usage == "raid" || usage == "crypto" || Property(properties, "ID_FS_TYPE") == "swap";
}

// "major:minor" -> the mount point of the device's root, from mountinfo.
std::map<std::string, std::string> ReadMountPoints(const std::string& mountInfo)
{
    std::map<std::string, std::string> points;
    std::ifstream in(mountInfo);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (!(fields >> id >> parent >> device >> root >> point))
            continue;
        // A bind mount of a folder inside the volume is not its mount point.
        if (root != "/")
            continue;
        points.emplace(device, UnescapeMountField(point));
    }
    return points;
}

bool HasPartitions(const fs::path& diskFolder)
{
    std::error_code ec;
    for (const auto& child : fs::directory_iterator(diskFolder, ec)) {
        std::error_code ignored;
        if (child.is_directory(ignored) && fs::exists(child.path() / "partition", ignored))
            return true;
    }
    return false;
}

} // namespace

std::vector<DriveInfo> ListDrives(const DriveSources& sources)
{
    std::vector<DriveInfo> drives;
    const std::map<std::string, std::string> mountPoints = ReadMountPoints(sources.MountInfo);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sources.SysBlock, ec)) {
        const std::string name = entry.path().filename().string();
        if (NeverListed(name))
            continue;
        const fs::path folder = entry.path();
        const std::string sectors = ReadLine(folder / "size");
        if (sectors.empty() || sectors.find_first_not_of('0') == std::string::npos)
            continue;  // no medium, an unused loop device
        std::error_code ignored;
        const bool partition = fs::exists(folder / "partition", ignored);
        // sysfs entries are links into the device tree, where a partition is
        // a folder inside its disk's folder.
        const fs::path real = fs::weakly_canonical(folder, ignored);
        if (!partition && HasPartitions(real))
            continue;  // its partitions are listed instead
        const fs::path removableFile = partition ? real.parent_path() / "removable" : folder / "removable";

        const std::string device = ReadLine(folder / "dev");
        const auto properties = ReadUdevProperties(fs::path(sources.UdevData) / ("b" + device));
        if (NotAVolume(properties))
            continue;

        DriveInfo drive;
        drive.Name = name;
        drive.DevicePath = (fs::path(sources.DevFolder) / name).string();
        drive.Removable = ReadLine(removableFile) == "1";
        if (const auto point = mountPoints.find(device); point != mountPoints.end() && !device.empty())
            drive.Root = point->second;
        if (!drive.Removable) {
            const std::string encoded = Property(properties, "ID_FS_LABEL_ENC");
            drive.Label = encoded.empty() ? Property(properties, "ID_FS_LABEL") : DecodeUdevText(encoded);
            drive.FileSystem =
                WindowsFileSystemName(Property(properties, "ID_FS_TYPE"), Property(properties, "ID_FS_VERSION"));
            drive.SerialNumber = SerialFromUuid(Property(properties, "ID_FS_UUID"));
        }
        drives.push_back(std::move(drive));
    }
    std::sort(drives.begin(), drives.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return NaturalLess(a.Name, b.Name); });
    return drives;
}

} // namespace platform
