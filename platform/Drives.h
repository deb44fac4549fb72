#pragma once
// The machine's analysable volumes, as the drive box lists them.
//
// Linux: every block device with a size that is a partition, or a whole disk
// without partitions, from /sys/class/block; its removable flag from sysfs,
// its label and file system from the udev database (/run/udev/data), its
// mount point from /proc/self/mountinfo. Windows: the lettered drives of
// type removable or fixed.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct DriveInfo {
    std::string Name;        // "sdb1" (Linux), "C:" (Windows): what the drive box shows in brackets
    std::string DevicePath;  // "/dev/sdb1", "\\.\C:"
    std::string Root;        // the mount point ("C:\" on Windows); empty when not mounted
    bool Removable = false;
    // Only for fixed drives: a removable drive is not queried (an empty
    // drive must not ask anything of the user).
    std::string Label;
    std::string FileSystem;  // as Windows names it: "NTFS", "FAT32", "FAT", "exFAT"; others as the system does
    std::uint32_t SerialNumber = 0;
};

// Where the Linux drive list reads from; tests point these at a fake tree.
struct DriveSources {
    std::string SysBlock = "/sys/class/block";
    std::string UdevData = "/run/udev/data";
    std::string MountInfo = "/proc/self/mountinfo";
    std::string DevFolder = "/dev";
};

// The drives in name order ("letter order": sda, sda1, sda2, sdb, sdb1, sdb10).
[[nodiscard]] std::vector<DriveInfo> ListDrives(const DriveSources& sources = {});

// "ABCD-1234" (FAT) or "0123456789ABCDEF" (NTFS: the serial is the low half)
// as the volume serial number; 0 for any other form.
[[nodiscard]] std::uint32_t SerialFromUuid(const std::string& uuid);

// A mount point as /proc/self/mountinfo writes it ("\040" for a blank) in plain text.
[[nodiscard]] std::string UnescapeMountField(const std::string& field);

// Orders "sda2" before "sda10": runs of digits compare by value.
[[nodiscard]] bool NaturalLess(const std::string& a, const std::string& b);

} // namespace platform
