// The system lookups of the same-disk test over a made-up sysfs tree and
// mount table: disk sdb (8:16) with partition sdb1 (8:17), a device-mapper
// volume dm-0 (253:0) on sdb1, and a loop device loop0 (7:0).

#include "platform/StorageDevices.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;
using platform::DeviceNumber;

namespace {

void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = testdata::MakeTempDir("kestrel-sysfs");
        const fs::path devices = fs::path(root_) / "devices";
        WriteText(devices / "sdb/dev", "8:16\n");
        WriteText(devices / "sdb/uevent", "MAJOR=8\nMINOR=16\nDEVNAME=sdb\nDEVTYPE=disk\n");
        WriteText(devices / "sdb/sdb1/dev", "8:17\n");
        WriteText(devices / "sdb/sdb1/partition", "1\n");
        WriteText(devices / "dm-0/dev", "253:0\n");
        fs::create_directories(devices / "dm-0/slaves");
        fs::create_directory_symlink("../../sdb/sdb1", devices / "dm-0/slaves/sdb1");
        WriteText(devices / "loop0/dev", "7:0\n");
        WriteText(devices / "loop0/loop/backing_file", "/images/with blank.img\n");
        const fs::path block = fs::path(root_) / "dev/block";
        fs::create_directories(block);
        fs::create_directory_symlink("../../devices/sdb", block / "8:16");
        fs::create_directory_symlink("../../devices/sdb/sdb1", block / "8:17");
        fs::create_directory_symlink("../../devices/dm-0", block / "253:0");
        fs::create_directory_symlink("../../devices/loop0", block / "7:0");
    }
    void TearDown() override { fs::remove_all(root_); }

    std::unique_ptr<platform::StorageQueries> Queries(const std::string& mountInfo = "/nonexistent")
    {
        return platform::SystemStorageQueries(root_, mountInfo);
    }

    std::string root_;
};

} // namespace

TEST_F(FakeSysfs, PartitionsSlavesAndLoopFiles)
{
    auto q = Queries();
    EXPECT_EQ(q->WholeDisk({8, 17}), (DeviceNumber{8, 16}));
    EXPECT_EQ(q->WholeDisk({8, 16}), (DeviceNumber{8, 16})) << "a whole disk is its own";
    EXPECT_EQ(q->WholeDisk({9, 9}), (DeviceNumber{9, 9})) << "unknown to sysfs";
    EXPECT_EQ(q->Underlying({253, 0}), (std::vector<DeviceNumber>{{8, 17}}));
    EXPECT_TRUE(q->Underlying({8, 17}).empty());
    EXPECT_EQ(q->LoopBackingFile({7, 0}), "/images/with blank.img");
    EXPECT_EQ(q->LoopBackingFile({8, 17}), std::nullopt);
    EXPECT_EQ(q->DeviceName({8, 16}), "/dev/sdb");
    EXPECT_EQ(q->DeviceName({8, 17}), "device 8:17");
}

TEST_F(FakeSysfs, DevicesAndFilesFromStat)
{
    auto q = Queries();
    const std::string node = root_ + "/sdb1-node";
    if (::mknod(node.c_str(), S_IFBLK | 0600, makedev(8, 17)) != 0)
        GTEST_SKIP() << "no device nodes can be made here";
    EXPECT_EQ(q->BlockDevice(node), (DeviceNumber{8, 17}));
    EXPECT_EQ(q->BlockDevice(root_ + "/devices/sdb/dev"), std::nullopt) << "a plain file is no device";
    EXPECT_EQ(q->File(root_ + "/devices/sdb/dev"), q->File(root_ + "/dev/block/8:16/dev")) << "one file, two paths";

    // A folder that does not exist yet counts as its nearest existing one.
    struct stat st {};
    ASSERT_EQ(0, ::stat(root_.c_str(), &st));
    if (major(st.st_dev) != 0) {
        EXPECT_EQ(q->FileSystemDevice(root_ + "/not/made/yet"), (DeviceNumber{major(st.st_dev), minor(st.st_dev)}));
    }

    // A file system with an anonymous device number (btrfs, FUSE, memory)
    // is looked up in the mount table, by number or by mount point.
    if (!fs::is_directory("/dev/shm") || ::stat("/dev/shm", &st) != 0 || major(st.st_dev) != 0)
        GTEST_SKIP() << "no memory file system at /dev/shm";
    const std::string number = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    WriteText(root_ + "/byNumber", "25 1 " + number + " / /somewhere\\040else rw - btrfs " + node + " rw\n");
    EXPECT_EQ(Queries(root_ + "/byNumber")->FileSystemDevice("/dev/shm/x"), (DeviceNumber{8, 17}));
    WriteText(root_ + "/byPrefix", "1 0 254:0 / / rw - ext4 /dev/nothing rw\n"
                                   "25 1 0:999 / /dev/shm rw - fuseblk " + node + " rw\n");
    EXPECT_EQ(Queries(root_ + "/byPrefix")->FileSystemDevice("/dev/shm/x"), (DeviceNumber{8, 17}));
    WriteText(root_ + "/tmpfs", "25 1 " + number + " / /dev/shm rw - tmpfs tmpfs rw\n");
    EXPECT_EQ(Queries(root_ + "/tmpfs")->FileSystemDevice("/dev/shm/x"), std::nullopt) << "on no block device";
}
