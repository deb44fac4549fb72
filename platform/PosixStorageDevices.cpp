// Block devices on Linux: device numbers from stat(), partitions, slaves and
// loop files from sysfs (/sys/dev/block/MAJ:MIN), mount sources from
// /proc/self/mountinfo for file systems whose st_dev names no block device
// (btrfs, FUSE mounts such as ntfs-3g).

#include "platform/StorageDevices.h"

#include "platform/Drives.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {
namespace {

DeviceNumber FromDev(dev_t dev)
{
    return {major(dev), minor(dev)};
}

std::optional<std::string> ReadFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    return line;
}

std::optional<DeviceNumber> ParseDeviceNumber(const std::string& text)
{
    std::istringstream in(text);
    std::uint64_t ma = 0, mi = 0;
    char colon = 0;
    if (!(in >> ma >> colon >> mi) || colon != ':')
        return std::nullopt;
    return DeviceNumber{ma, mi};
}

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        return path;
    return std::string(cwd) + "/" + path;
}

// The path itself when it exists, else its nearest existing parent folder.
std::optional<std::string> NearestExisting(const std::string& path, struct stat& st)
{
    std::string at = Absolute(path);
    for (int guard = 0; guard < 4096; ++guard) {
        if (::stat(at.c_str(), &st) == 0)
            return at;
        while (at.size() > 1 && at.back() == '/')
            at.pop_back();
        const std::size_t slash = at.rfind('/');
        if (slash == std::string::npos)
            return std::nullopt;
        at = slash == 0 ? "/" : at.substr(0, slash);
    }
    return std::nullopt;
}

std::vector<std::string> ListFolder(const std::string& path)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

class PosixStorageQueries final : public StorageQueries {
public:
    PosixStorageQueries(std::string sysRoot, std::string mountInfo)
        : sysRoot_(std::move(sysRoot)), mountInfo_(std::move(mountInfo))
    {
    }

    std::optional<DeviceNumber> BlockDevice(const std::string& path) override
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
            return std::nullopt;
        return FromDev(st.st_rdev);
    }

    std::optional<FileIdentity> File(const std::string& path) override
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return std::nullopt;
        return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }

    std::optional<DeviceNumber> FileSystemDevice(const std::string& path) override
    {
        struct stat st {};
        const auto existing = NearestExisting(path, st);
        if (!existing)
            return std::nullopt;
        const DeviceNumber dev = FromDev(st.st_dev);
        // Major 0 is an anonymous device: btrfs, FUSE, memory and network
        // file systems. The mount table names the source, when it has one.
        if (dev.Major != 0)
            return dev;
        char* real = ::realpath(existing->c_str(), nullptr);
        const std::string canonical = real != nullptr ? real : *existing;
        std::free(real);
        return MountSource(dev, canonical);
    }

    DeviceNumber WholeDisk(DeviceNumber device) override
    {
        // A partition's sysfs folder lies inside its disk's and holds "partition".
        const std::string sys = SysPath(device);
        struct stat st {};
        if (::stat((sys + "/partition").c_str(), &st) != 0)
            return device;
        const auto parent = ReadFirstLine(sys + "/../dev");
        if (!parent)
            return device;
        return ParseDeviceNumber(*parent).value_or(device);
    }

    std::vector<DeviceNumber> Underlying(DeviceNumber device) override
    {
        std::vector<DeviceNumber> devices;
        const std::string slaves = SysPath(device) + "/slaves";
        for (const std::string& name : ListFolder(slaves))
            if (const auto line = ReadFirstLine(slaves + "/" + name + "/dev"))
                if (const auto dev = ParseDeviceNumber(*line))
                    devices.push_back(*dev);
        return devices;
    }

    std::optional<std::string> LoopBackingFile(DeviceNumber device) override
    {
        auto line = ReadFirstLine(SysPath(device) + "/loop/backing_file");
        if (!line || line->empty())
            return std::nullopt;
        return line;
    }

    std::string DeviceName(DeviceNumber device) override
    {
        std::ifstream in(SysPath(device) + "/uevent");
        for (std::string line; std::getline(in, line);)
            if (line.rfind("DEVNAME=", 0) == 0)
                return "/dev/" + line.substr(8);
        return "device " + std::to_string(device.Major) + ":" + std::to_string(device.Minor);
    }

private:
    [[nodiscard]] std::string SysPath(DeviceNumber device) const
    {
        return sysRoot_ + "/dev/block/" + std::to_string(device.Major) + ":" + std::to_string(device.Minor);
    }

    // The block device a mount with an anonymous device number comes from:
    // the mount of that number, or else (a btrfs subvolume inside a mount)
    // the mount whose mount point is the longest prefix of the path.
    std::optional<DeviceNumber> MountSource(DeviceNumber dev, const std::string& path)
    {
        std::ifstream in(mountInfo_);
        std::string byNumber, byPrefix;
        std::size_t prefixLength = 0;
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string id, parent, number, root, mountPoint;
            if (!(fields >> id >> parent >> number >> root >> mountPoint))
                continue;
            const std::size_t dash = line.find(" - ");
            if (dash == std::string::npos)
                continue;
            std::istringstream tail(line.substr(dash + 3));
            std::string type, source;
            if (!(tail >> type >> source))
                continue;
            source = UnescapeMountField(source);
            mountPoint = UnescapeMountField(mountPoint);
            if (ParseDeviceNumber(number) == dev)
                byNumber = source;
            const bool inside = path == mountPoint || mountPoint == "/" ||
                                (path.rfind(mountPoint, 0) == 0 && path.size() > mountPoint.size() &&
                                 path[mountPoint.size()] == '/');
            if (inside && mountPoint.size() >= prefixLength) {
                prefixLength = mountPoint.size();
                byPrefix = source;
            }
        }
        const std::string& source = byNumber.empty() ? byPrefix : byNumber;
        if (source.empty() || source[0] != '/')
            return std::nullopt;
        return BlockDevice(source);
    }

    std::string sysRoot_;
    std::string mountInfo_;
};

} // namespace

std::unique_ptr<StorageQueries> SystemStorageQueries()
{
    return SystemStorageQueries("/sys", "/proc/self/mountinfo");
}

std::unique_ptr<StorageQueries> SystemStorageQueries(const std::string& sysRoot, const std::string& mountInfo)
{
    return std::make_unique<PosixStorageQueries>(sysRoot, mountInfo);
}

} // namespace platform
