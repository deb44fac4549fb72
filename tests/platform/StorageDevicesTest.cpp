// The system lookups of the same-disk test over a made-up sysfs tree and
// mount table: disk sdb (8:16) with partition sdb1 (8:17), a device-mapper
// volume dm-0 (253:0) on sdb1, and a loop device loop0 (7:0).

#include "platform/StorageDevices.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

    std::unique_ptr<platform::StorageQueries> Queries() { return platform::SystemStorageQueries(root_, "/none"); }

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
