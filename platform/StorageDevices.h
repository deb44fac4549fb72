#pragma once
// What the system says about block devices and the file systems on them:
// which device a path is, which device a folder's file system is mounted
// from, which disk a partition belongs to, what a device is built on. The
// recovery asks through this interface whether a target folder lies on the
// disk it reads, so that tests can answer without block devices.

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A device number (major and minor off Windows; a disk or volume number there).
struct DeviceNumber {
    std::uint64_t Major = 0;
    std::uint64_t Minor = 0;
    auto operator<=>(const DeviceNumber&) const = default;
};

// A file's identity: the device its file system is on, and its file number there.
struct FileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Number = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

class StorageQueries {
public:
    virtual ~StorageQueries() = default;

    // The block device `path` names (a device node, a volume path), or nullopt
    // when it names something else (an image file) or nothing.
    [[nodiscard]] virtual std::optional<DeviceNumber> BlockDevice(const std::string& path) = 0;
    // The identity of the file at `path`.
    [[nodiscard]] virtual std::optional<FileIdentity> File(const std::string& path) = 0;
    // The block device the file system holding `path` is mounted from; a
    // path that does not exist yet counts as its nearest existing folder.
    // nullopt for file systems on no block device (memory, network).
    [[nodiscard]] virtual std::optional<DeviceNumber> FileSystemDevice(const std::string& path) = 0;
    // The whole disk a device is part of (the device itself for a whole disk).
    [[nodiscard]] virtual DeviceNumber WholeDisk(DeviceNumber device) = 0;
    // The devices a device is built on (device-mapper volumes, RAID members,
    // volumes spanning disks); empty for a plain disk or partition.
    [[nodiscard]] virtual std::vector<DeviceNumber> Underlying(DeviceNumber device) = 0;
    // The file a loop device reads and writes, when it is one.
    [[nodiscard]] virtual std::optional<std::string> LoopBackingFile(DeviceNumber device) = 0;
    // The device's name for messages ("/dev/sdb").
    [[nodiscard]] virtual std::string DeviceName(DeviceNumber device) = 0;
};

// The running system's answers.
[[nodiscard]] std::unique_ptr<StorageQueries> SystemStorageQueries();

#if !defined(_WIN32)
// The same, reading sysfs below `sysRoot` ("/sys") and the mount table from
// `mountInfo` ("/proc/self/mountinfo"): tests give a made-up tree.
[[nodiscard]] std::unique_ptr<StorageQueries> SystemStorageQueries(const std::string& sysRoot,
                                                                   const std::string& mountInfo);
#endif

} // namespace platform
