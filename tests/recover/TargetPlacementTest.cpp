// Whether a target folder lies on the analysed disk, with made-up devices:
// sdb (8:16) with partitions sdb1 (8:17) and sdb2 (8:18), another disk sdc
// (8:32) with sdc1 (8:33), an LVM volume dm-0 (253:0) on sdb2, and a loop
// device loop0 (7:0) reading /images/disk.img, which lies on sdc1.

#include "salvage/recover/TargetPlacement.h"

#include <gtest/gtest.h>

#include <map>

using namespace salvage;
using platform::DeviceNumber;
using platform::FileIdentity;

namespace {

constexpr DeviceNumber kSdb{8, 16}, kSdb1{8, 17}, kSdb2{8, 18}, kSdc{8, 32}, kSdc1{8, 33}, kDm0{253, 0}, kLoop0{7, 0};

class FakeStorage final : public platform::StorageQueries {
public:
    FakeStorage()
    {
        nodes = {{"/dev/sdb", kSdb}, {"/dev/sdb1", kSdb1}, {"/dev/sdb2", kSdb2}, {"/dev/sdc1", kSdc1},
                 {"/dev/mapper/vg-home", kDm0}, {"/dev/loop0", kLoop0}};
        // Mount points and the devices they come from.
        mounts = {{"/mnt/sdb1", kSdb1}, {"/mnt/sdb2", kSdb2}, {"/home", kDm0},
                  {"/mnt/sdc1", kSdc1}, {"/images", kSdc1},   {"/mnt/image", kLoop0}};
        files = {{"/images/disk.img", {kSdc1.Minor, 42}}, {"/mnt/sdc1/other.img", {kSdc1.Minor, 43}}};
    }

    std::optional<DeviceNumber> BlockDevice(const std::string& path) override
    {
        const auto it = nodes.find(path);
        return it == nodes.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<FileIdentity> File(const std::string& path) override
    {
        const auto it = files.find(path);
        return it == files.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<DeviceNumber> FileSystemDevice(const std::string& path) override
    {
        // The longest mount point that is a prefix; "/tmp" is a memory file system.
        std::optional<DeviceNumber> best;
        std::size_t length = 0;
        for (const auto& [point, dev] : mounts)
            if (path.rfind(point, 0) == 0 && point.size() > length) {
                best = dev;
                length = point.size();
            }
        return best;
    }
    DeviceNumber WholeDisk(DeviceNumber d) override
    {
        if (d == kSdb1 || d == kSdb2)
            return kSdb;
        if (d == kSdc1)
            return kSdc;
        return d;
    }
    std::vector<DeviceNumber> Underlying(DeviceNumber d) override
    {
        return d == kDm0 ? std::vector<DeviceNumber>{kSdb2} : std::vector<DeviceNumber>{};
    }
    std::optional<std::string> LoopBackingFile(DeviceNumber d) override
    {
        return d == kLoop0 ? std::optional<std::string>("/images/disk.img") : std::nullopt;
    }
    std::string DeviceName(DeviceNumber d) override
    {
        for (const auto& [path, dev] : nodes)
            if (dev == d)
                return path;
        return d == kSdc ? "/dev/sdc" : "?";
    }

    std::map<std::string, DeviceNumber> nodes;
    std::map<std::string, DeviceNumber> mounts;
    std::map<std::string, FileIdentity> files;
};

TTargetPlacement Placement(const std::string& source, const std::string& target)
{
    FakeStorage storage;
    return CheckTargetPlacement(source, target, storage).Placement;
}

} // namespace

TEST(TargetPlacement, APartitionOfTheAnalysedDisk)
{
    EXPECT_EQ(Placement("/dev/sdb1", "/mnt/sdb1/out"), TTargetPlacement::SameVolume);
    EXPECT_EQ(Placement("/dev/sdb1", "/mnt/sdb2/out"), TTargetPlacement::SameDisk) << "another partition, same disk";
    EXPECT_EQ(Placement("/dev/sdb1", "/home/user/recovered"), TTargetPlacement::SameDisk) << "through LVM";
    EXPECT_EQ(Placement("/dev/sdb1", "/mnt/sdc1/out"), TTargetPlacement::OtherDisk);
    FakeStorage storage;
    EXPECT_EQ(TargetPlacementWarning(CheckTargetPlacement("/dev/sdb1", "/mnt/sdb2/out", storage), "/mnt/sdb2/out"),
              "The folder /mnt/sdb2/out lies on /dev/sdb, the disk being recovered: the files written there can "
              "overwrite deleted data before it is read.");
}

TEST(TargetPlacement, TheDiskItself)
{
    EXPECT_EQ(Placement("/dev/sdb", "/mnt/sdb1/out/not/there/yet"), TTargetPlacement::SameDisk);
    EXPECT_EQ(Placement("/dev/sdb", "/home/out"), TTargetPlacement::SameDisk);
    EXPECT_EQ(Placement("/dev/mapper/vg-home", "/mnt/sdb2/out"), TTargetPlacement::SameDisk)
        << "the volume is built on that partition";
    EXPECT_EQ(Placement("/dev/mapper/vg-home", "/home/out"), TTargetPlacement::SameVolume);
}

TEST(TargetPlacement, ADifferentDisk)
{
    EXPECT_EQ(Placement("/dev/sdc1", "/mnt/sdb1/out"), TTargetPlacement::OtherDisk);
    EXPECT_EQ(Placement("/dev/sdb1", "/tmp/out"), TTargetPlacement::OtherDisk) << "no block device under /tmp";
}

TEST(TargetPlacement, ImageFilesAreOnlyEndangeredFromInside)
{
    // Other files beside the image take other clusters than the image's.
    EXPECT_EQ(Placement("/images/disk.img", "/images/out"), TTargetPlacement::OtherDisk);
    // Its own file system, mounted through a loop device, is the image itself.
    EXPECT_EQ(Placement("/images/disk.img", "/mnt/image/out"), TTargetPlacement::InsideImage);
    EXPECT_EQ(Placement("/mnt/sdc1/other.img", "/mnt/image/out"), TTargetPlacement::OtherDisk);
    // Writing into the loop's file system writes the image file, on sdc1.
    EXPECT_EQ(Placement("/dev/sdc1", "/mnt/image/out"), TTargetPlacement::SameVolume);
    // Reading the loop device does not make the image's own disk dangerous.
    EXPECT_EQ(Placement("/dev/loop0", "/images/out"), TTargetPlacement::OtherDisk);
}
