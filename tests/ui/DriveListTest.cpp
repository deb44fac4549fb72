// The drive box's entries: the Linux drive list read from a fake sysfs, udev
// and mountinfo tree, the texts and selection made from it, and the entries
// an opened image gives.
#include "platform/Drives.h"
#include "salvage/ui/DriveList.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace salvage;

void Write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// A sysfs tree laid out like the real one: /sys/class/block holds links into
// the device tree, where partitions are folders inside their disk's folder.
class FakeMachine {
public:
    FakeMachine() : root_(testdata::MakeTempDir("kestrel-drives"))
    {
        sources_.SysBlock = (root_ / "sys/class/block").string();
        sources_.UdevData = (root_ / "run/udev/data").string();
        sources_.MountInfo = (root_ / "proc/mountinfo").string();
        sources_.DevFolder = "/dev";
        fs::create_directories(sources_.SysBlock);
        fs::create_directories(sources_.UdevData);
        Write(sources_.MountInfo, "");
    }
    ~FakeMachine() { fs::remove_all(root_); }

    // A whole disk; `removable` is its sysfs flag.
    void Disk(const std::string& name, const std::string& dev, bool removable, std::uint64_t sectors = 1000)
    {
        const fs::path folder = root_ / "sys/devices/pci/block" / name;
        Write(folder / "size", std::to_string(sectors) + "\n");
        Write(folder / "removable", removable ? "1\n" : "0\n");
        Write(folder / "dev", dev + "\n");
        fs::create_directory_symlink(folder, fs::path(sources_.SysBlock) / name);
    }
    void Partition(const std::string& disk, const std::string& name, const std::string& dev,
                   std::uint64_t sectors = 500)
    {
        const fs::path folder = root_ / "sys/devices/pci/block" / disk / name;
        Write(folder / "size", std::to_string(sectors) + "\n");
        Write(folder / "partition", "1\n");
        Write(folder / "dev", dev + "\n");
        fs::create_directory_symlink(folder, fs::path(sources_.SysBlock) / name);
    }
    void Udev(const std::string& dev, const std::string& properties)
    {
        Write(fs::path(sources_.UdevData) / ("b" + dev), properties);
    }
    void Mounts(const std::string& text) { Write(sources_.MountInfo, text); }

    [[nodiscard]] const platform::DriveSources& Sources() const { return sources_; }

private:
    fs::path root_;
    platform::DriveSources sources_;
};

TEST(DriveListTest, ListsPartitionsAndUnpartitionedDisksWithWhatUdevAndMountinfoSay)
{
    FakeMachine machine;
    machine.Disk("sda", "8:0", false);
    machine.Partition("sda", "sda1", "8:1");
    machine.Partition("sda", "sda2", "8:2");
    machine.Partition("sda", "sda10", "8:10");
    machine.Disk("sdb", "8:16", true);
    machine.Partition("sdb", "sdb1", "8:17");
    machine.Disk("mmcblk0", "179:0", false);  // a card without a partition table
    machine.Disk("loop0", "7:0", false, 0);   // unused
    machine.Disk("sr0", "11:0", true);        // optical
    machine.Disk("zram0", "252:0", false);
    machine.Udev("8:1", "E:ID_FS_TYPE=ntfs\nE:ID_FS_LABEL=Windows\nE:ID_FS_LABEL_ENC=My\\x20Windows\n"
                        "E:ID_FS_UUID=0123456789ABCDEF\nE:ID_FS_USAGE=filesystem\n");
    machine.Udev("8:2", "E:ID_FS_TYPE=vfat\nE:ID_FS_VERSION=FAT32\nE:ID_FS_UUID=ABCD-1234\n");
    machine.Udev("8:10", "E:ID_FS_TYPE=swap\nE:ID_FS_USAGE=other\n");
    machine.Udev("8:17", "E:ID_FS_TYPE=ntfs\nE:ID_FS_LABEL=STICK\n");
    machine.Udev("179:0", "E:ID_FS_TYPE=vfat\nE:ID_FS_VERSION=FAT16\n");
    machine.Mounts("36 25 8:1 / /media/my\\040disk rw - ntfs3 /dev/sda1 rw\n"
                   "40 25 8:2 /sub /elsewhere rw - vfat /dev/sda2 rw\n"
                   "41 25 8:2 / /boot/efi rw - vfat /dev/sda2 rw\n");

    const std::vector<platform::DriveInfo> drives = platform::ListDrives(machine.Sources());
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[0].Name, "mmcblk0");
    EXPECT_EQ(drives[1].Name, "sda1");
    EXPECT_EQ(drives[2].Name, "sda2");
    EXPECT_EQ(drives[3].Name, "sdb1");

    const platform::DriveInfo& windows = drives[1];
    EXPECT_EQ(windows.DevicePath, "/dev/sda1");
    EXPECT_FALSE(windows.Removable);
    EXPECT_EQ(windows.Label, "My Windows");
    EXPECT_EQ(windows.FileSystem, "NTFS");
    EXPECT_EQ(windows.SerialNumber, 0x89ABCDEFu);
    EXPECT_EQ(windows.Root, "/media/my disk");

    EXPECT_EQ(drives[2].FileSystem, "FAT32");
    EXPECT_EQ(drives[2].SerialNumber, 0xABCD1234u);
    EXPECT_EQ(drives[2].Root, "/boot/efi") << "a bind mount of a sub-folder is not the volume's mount point";
    EXPECT_EQ(drives[0].FileSystem, "FAT");

    // A removable drive is not queried: no label, no file system.
    EXPECT_TRUE(drives[3].Removable) << "a partition takes its disk's removable flag";
    EXPECT_TRUE(drives[3].Label.empty());
    EXPECT_TRUE(drives[3].FileSystem.empty());
}

TEST(DriveListTest, MissingSourcesGiveAnEmptyList)
{
    platform::DriveSources nowhere;
    nowhere.SysBlock = "/nonexistent/sys";
    nowhere.UdevData = "/nonexistent/udev";
    nowhere.MountInfo = "/nonexistent/mountinfo";
    EXPECT_TRUE(platform::ListDrives(nowhere).empty());

    FakeMachine bare;  // no udev records, nothing mounted
    bare.Disk("sdc", "8:32", false);
    const auto drives = platform::ListDrives(bare.Sources());
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_TRUE(drives[0].FileSystem.empty());
    EXPECT_TRUE(drives[0].Root.empty());
}

TEST(DriveListTest, TextsAndTheFirstFixedDriveSelected)
{
    std::vector<platform::DriveInfo> drives(3);
    drives[0] = {"sdb1", "/dev/sdb1", "/media/stick", true, "", "", 0};
    drives[1] = {"sda1", "/dev/sda1", "/", false, "", "NTFS", 77};
    drives[2] = {"sda2", "/dev/sda2", "", false, "DATA", "FAT32", 0};
    const TDriveList list = LoadDrives(drives);
    ASSERT_EQ(list.Entries.size(), 3u);
    EXPECT_EQ(list.Selected, 1) << "the first fixed drive, though a removable one comes before it";
    EXPECT_EQ(list.Entries[0].Text, "Local Disk (sdb1) : REMOVABLE");
    EXPECT_EQ(list.Entries[0].Image, kDriveImageRemovable);
    EXPECT_TRUE(list.Entries[0].Disk.VolumeName.empty());
    EXPECT_EQ(list.Entries[0].Disk.StartSector, 0u);
    EXPECT_EQ(list.Entries[0].Disk.Root, "/media/stick");
    EXPECT_EQ(list.Entries[1].Text, "Local Disk (sda1) : NTFS");
    EXPECT_EQ(list.Entries[1].Disk.VolumeName, "Local Disk");
    EXPECT_EQ(list.Entries[1].Disk.StartSector, 77u);
    EXPECT_EQ(list.Entries[1].Image, kDriveImageFixed);
    EXPECT_EQ(list.Entries[2].Text, "DATA (sda2) : FAT32");

    // Only removable drives: entry 0 is selected; none at all: nothing.
    EXPECT_EQ(LoadDrives({drives[0]}).Selected, 0);
    EXPECT_EQ(LoadDrives({}).Selected, -1);
}

TEST(DriveListTest, AnImageGivesItsVolumeOrEachSupportedPartition)
{
    DiskProbe single;
    single.Kind = TFileSystemKind::FAT16;
    auto entries = ImageEntries("/data/images/card.img", single);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Text, "card.img : FAT");
    EXPECT_EQ(entries[0].Disk.DevicePath, "/data/images/card.img");
    EXPECT_EQ(entries[0].Disk.FileSystem, "FAT");
    EXPECT_EQ(entries[0].Image, kDriveImageFile);

    DiskProbe disk;
    TLogicalDisk whole;
    whole.DevicePath = "/data/disk.img";
    for (int n = 1; n <= 3; ++n) {
        ProbedPartition part;
        part.Partition.Number = n;
        part.Disk = whole;
        part.Disk.ByteOffset = 1048576u * static_cast<unsigned>(n);
        part.Disk.ByteLength = 1048576;
        if (n != 2)
            part.Kind = n == 1 ? TFileSystemKind::NTFS : TFileSystemKind::FAT32;
        disk.Partitions.push_back(part);
    }
    entries = ImageEntries("/data/disk.img", disk);
    ASSERT_EQ(entries.size(), 2u) << "partition 2 holds no FAT or NTFS volume";
    EXPECT_EQ(entries[0].Text, "disk.img (partition 1) : NTFS");
    EXPECT_EQ(entries[1].Text, "disk.img (partition 3) : FAT32");
    EXPECT_EQ(entries[1].Disk.ByteOffset, 3u * 1048576u);
    EXPECT_EQ(FindEntry(entries, entries[1].Disk), 1);
    TLogicalDisk other = entries[1].Disk;
    other.ByteOffset = 0;
    EXPECT_EQ(FindEntry(entries, other), -1);

    EXPECT_TRUE(ImageEntries("/data/blank.img", DiskProbe{}).empty());
}

TEST(DriveListTest, HelpersForNamesSerialsAndMountPoints)
{
    EXPECT_TRUE(platform::NaturalLess("sda2", "sda10"));
    EXPECT_FALSE(platform::NaturalLess("sda10", "sda2"));
    EXPECT_TRUE(platform::NaturalLess("sda", "sda1"));
    EXPECT_TRUE(platform::NaturalLess("nvme0n1p2", "nvme0n1p10"));
    EXPECT_FALSE(platform::NaturalLess("sdb", "sdb"));

    EXPECT_EQ(platform::SerialFromUuid("1234-ABCD"), 0x1234ABCDu);
    EXPECT_EQ(platform::SerialFromUuid("0123456789abcdef"), 0x89ABCDEFu);
    EXPECT_EQ(platform::SerialFromUuid("c1b2a3d4-0000-1111-2222-333344445555"), 0u);
    EXPECT_EQ(platform::SerialFromUuid("12G4-ABCD"), 0u);

    EXPECT_EQ(platform::UnescapeMountField("/media/a\\040b\\134c"), "/media/a b\\c");
    EXPECT_EQ(platform::UnescapeMountField("/plain\\9"), "/plain\\9");
}

} // namespace
