// Disks and volumes on Windows: a volume ("\\.\E:", or the volume a folder
// lies on) is numbered by its serial number, a disk ("\\.\PhysicalDrive1")
// by its disk number; a volume's disks come from its disk extents.

#include "platform/StorageDevices.h"
#include "platform/Utf16.h"

#include <windows.h>
#include <winioctl.h>

#include <cctype>
#include <map>

namespace platform {
namespace {

constexpr std::uint64_t kVolumeMajor = 1;
constexpr std::uint64_t kDiskMajor = 2;

std::wstring Wide(const std::string& text)
{
    const std::u16string units = Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

std::string Narrow(const std::wstring& text)
{
    return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

HANDLE OpenForQuery(const std::string& path)
{
    // No access rights: enough for the queries, and needs no administrator.
    return CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

// The disk numbers a volume lies on.
std::vector<DWORD> DisksOfVolume(const std::string& devicePath)
{
    std::vector<DWORD> disks;
    HANDLE h = OpenForQuery(devicePath);
    if (h == INVALID_HANDLE_VALUE)
        return disks;
    std::vector<std::uint8_t> buffer(sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT));
    DWORD returned = 0;
    if (DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
        const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
        for (DWORD i = 0; i < extents->NumberOfDiskExtents && i < 32; ++i)
            disks.push_back(extents->Extents[i].DiskNumber);
    }
    CloseHandle(h);
    return disks;
}

class WinStorageQueries final : public StorageQueries {
public:
    std::optional<DeviceNumber> BlockDevice(const std::string& path) override
    {
        std::string upper = path;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::string diskPrefix = "\\\\.\\PHYSICALDRIVE";
        if (upper.rfind(diskPrefix, 0) == 0) {
            const std::string digits = upper.substr(diskPrefix.size());
            if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            const DeviceNumber dev{kDiskMajor, std::stoull(digits)};
            names_[dev] = path;
            return dev;
        }
        // "\\.\E:": the volume of drive E.
        if (upper.size() == 6 && upper.rfind("\\\\.\\", 0) == 0 && upper[5] == ':')
            return Volume(upper.substr(4, 2) + "\\", path);
        return std::nullopt;
    }

    std::optional<FileIdentity> File(const std::string& path) override
    {
        HANDLE h = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return std::nullopt;
        BY_HANDLE_FILE_INFORMATION info{};
        const bool ok = GetFileInformationByHandle(h, &info);
        CloseHandle(h);
        if (!ok)
            return std::nullopt;
        return FileIdentity{info.dwVolumeSerialNumber,
                            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }

    std::optional<DeviceNumber> FileSystemDevice(const std::string& path) override
    {
        // The volume's root (a drive or a mounted folder) is found for
        // paths that do not exist yet too.
        wchar_t root[MAX_PATH + 1];
        if (!GetVolumePathNameW(Wide(path).c_str(), root, MAX_PATH))
            return std::nullopt;
        wchar_t volumeName[MAX_PATH + 1];
        std::string device;
        if (GetVolumeNameForVolumeMountPointW(root, volumeName, MAX_PATH)) {
            // "\\?\Volume{...}\" opens as "\\?\Volume{...}".
            std::wstring name = volumeName;
            if (!name.empty() && name.back() == L'\\')
                name.pop_back();
            device = Narrow(name);
        }
        return Volume(Narrow(root), device);
    }

    DeviceNumber WholeDisk(DeviceNumber device) override
    {
        if (device.Major != kVolumeMajor)
            return device;
        const auto it = names_.find(device);
        if (it == names_.end())
            return device;
        const std::vector<DWORD> disks = DisksOfVolume(it->second);
        // A volume on several disks is answered by Underlying; one disk is its whole disk.
        return disks.size() == 1 ? Disk(disks[0]) : device;
    }

    std::vector<DeviceNumber> Underlying(DeviceNumber device) override
    {
        std::vector<DeviceNumber> devices;
        const auto it = names_.find(device);
        if (device.Major != kVolumeMajor || it == names_.end())
            return devices;
        const std::vector<DWORD> disks = DisksOfVolume(it->second);
        if (disks.size() > 1)
            for (DWORD d : disks)
                devices.push_back(Disk(d));
        return devices;
    }

    std::optional<std::string> LoopBackingFile(DeviceNumber) override { return std::nullopt; }

    std::string DeviceName(DeviceNumber device) override
    {
        const auto it = names_.find(device);
        if (it != names_.end())
            return it->second;
        return device.Major == kDiskMajor ? "\\\\.\\PhysicalDrive" + std::to_string(device.Minor) : "a volume";
    }

private:
    // A volume by its root ("E:\"), numbered by its serial number; `device`
    // is the path it opens by.
    std::optional<DeviceNumber> Volume(const std::string& root, const std::string& device)
    {
        DWORD serial = 0;
        if (!GetVolumeInformationW(Wide(root).c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
            return std::nullopt;
        const DeviceNumber dev{kVolumeMajor, serial};
        std::string opens = device;
        if (opens.empty() && root.size() >= 2 && root[1] == ':')
            opens = "\\\\.\\" + root.substr(0, 2);
        if (!opens.empty())
            names_[dev] = opens;
        return dev;
    }

    DeviceNumber Disk(DWORD number)
    {
        const DeviceNumber dev{kDiskMajor, number};
        names_.emplace(dev, "\\\\.\\PhysicalDrive" + std::to_string(number));
        return dev;
    }

    std::map<DeviceNumber, std::string> names_;  // what each device opens by
};

} // namespace

std::unique_ptr<StorageQueries> SystemStorageQueries()
{
    return std::make_unique<WinStorageQueries>();
}

} // namespace platform
