#include "salvage/disk/LogicalDisk.h"
#include "salvage/disk/Messages.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

using namespace salvage;

namespace {

std::vector<std::uint8_t> Numbered(std::size_t sectors)
{
    std::vector<std::uint8_t> bytes(sectors * 512);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i / 512 + i % 7);
    return bytes;
}

// Captures what the program would show in message boxes.
class MessageCapture {
public:
    MessageCapture()
    {
        previous_ = SetMessageHook([this](const std::string& text, MessageIcon) { messages.push_back(text); });
    }
    ~MessageCapture() { SetMessageHook(previous_); }
    std::vector<std::string> messages;

private:
    MessageHook previous_;
};

} // namespace

TEST(VolumeSectorRead, ReadsWholeSectorsAtVolumeRelativeOffsets)
{
    const auto bytes = Numbered(8);
    const auto volume = platform::MakeMemoryVolume(bytes);
    std::vector<std::uint8_t> buffer(1024);
    EXPECT_FALSE(ReadVolumeSectors(*volume, 1, 512, 2, buffer, 2)) << "false means success";
    EXPECT_EQ(0, std::memcmp(buffer.data(), bytes.data() + 3 * 512, 1024)) << "start sector is added";
}

TEST(VolumeSectorRead, ShortReadsAndOversizedRequestsFail)
{
    const auto volume = platform::MakeMemoryVolume(Numbered(4));
    std::vector<std::uint8_t> buffer(2048);
    EXPECT_TRUE(ReadVolumeSectors(*volume, 0, 512, 2, buffer, 3)) << "runs past the end";
    EXPECT_TRUE(ReadVolumeSectors(*volume, 0, 512, 5, buffer, 0)) << "larger than the buffer";
    EXPECT_TRUE(ReadVolumeSectors(*volume, 0, 0, 1, buffer, 0)) << "zero sector size";
    EXPECT_TRUE(ReadVolumeSectors(*volume, 0xFFFFFFFF, 512, 1, buffer, UINT64_MAX)) << "offset overflow";
}

TEST(VolumeSectorRead, WindowVolumeSeesOnlyItsPartition)
{
    const auto bytes = Numbered(16);
    const auto whole = platform::MakeMemoryVolume(bytes);
    const auto part = platform::MakeWindowVolume(whole, 4 * 512, 8 * 512);
    EXPECT_EQ(part->Size(), 8u * 512);
    std::vector<std::uint8_t> buffer(512);
    EXPECT_FALSE(ReadVolumeSectors(*part, 0, 512, 1, buffer, 7));
    EXPECT_EQ(0, std::memcmp(buffer.data(), bytes.data() + 11 * 512, 512));
    EXPECT_TRUE(ReadVolumeSectors(*part, 0, 512, 1, buffer, 8)) << "past the window";
    EXPECT_EQ(platform::MakeWindowVolume(whole, 100 * 512, 512)->Size(), 0u) << "window past the end is empty";
}

TEST(ReadBootSector, ImageFileAtSectorBeyondFourGiB)
{
    // A sparse file: sector 8388609 lies past 4 GiB, so the offset must be 64-bit.
    const std::string dir = testdata::MakeTempDir("kestrel-boot");
    const std::string path = dir + "/sparse.img";
    {
        std::vector<std::uint8_t> sector(512, 0xAB);
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(0, fseeko(f, static_cast<off_t>(8388609) * 512, SEEK_SET));
        ASSERT_EQ(std::fwrite(sector.data(), 1, sector.size(), f), sector.size());
        std::fclose(f);
    }
    BootSectorBytes boot{};
    ASSERT_TRUE(ReadBootSector(path, boot, 8388609));
    EXPECT_EQ(boot[0], 0xAB);
    EXPECT_EQ(boot[511], 0xAB);
    ASSERT_TRUE(ReadBootSector(path, boot, 8388608));
    EXPECT_EQ(boot[0], 0x00);
    std::filesystem::remove_all(dir);
}

TEST(ReadBootSector, OpenFailureShowsTheSystemText)
{
    MessageCapture capture;
    BootSectorBytes boot{};
    EXPECT_FALSE(ReadBootSector(std::string("/nonexistent/volume.img"), boot));
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0], std::strerror(ENOENT));
}

TEST(ReadBootSector, PermissionDeniedIsReportedInTheSystemWords)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string dir = testdata::MakeTempDir("kestrel-perm");
    const std::string path = dir + "/locked.img";
    testdata::WriteFileBytes(path, std::vector<std::uint8_t>(512, 1));
    ASSERT_EQ(0, chmod(path.c_str(), 0));
    MessageCapture capture;
    BootSectorBytes boot{};
    EXPECT_FALSE(ReadBootSector(path, boot));
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0], "Permission denied");
    std::filesystem::remove_all(dir);
}

TEST(OpenVolume, AReadOnlyImageFileCanBeRead)
{
    const std::string dir = testdata::MakeTempDir("kestrel-ro");
    const std::string path = dir + "/ro.img";
    testdata::WriteFileBytes(path, Numbered(2));
    ASSERT_EQ(0, chmod(path.c_str(), 0444));
    platform::OpenError error;
    const auto volume = platform::OpenVolumeReadOnly(path, error);
    ASSERT_TRUE(volume) << error.message;
    EXPECT_EQ(volume->Size(), 1024u);
    std::vector<std::uint8_t> buffer(512);
    EXPECT_TRUE(volume->ReadAt(512, buffer));
    EXPECT_FALSE(volume->ReadAt(513, buffer)) << "short read";
    std::filesystem::remove_all(dir);
}

TEST(OpenVolume, ADirectoryIsRefused)
{
    platform::OpenError error;
    EXPECT_FALSE(platform::OpenVolumeReadOnly("/", error));
    EXPECT_EQ(error.code, EISDIR);
    EXPECT_FALSE(error.message.empty());
}

TEST(LogicalDisk, FloppyDevicesAreRecognisedByPath)
{
    TLogicalDisk disk;
    disk.DevicePath = "/dev/fd0";
    EXPECT_TRUE(IsFloppyDrive(disk));
    disk.DevicePath = "/dev/sdb1";
    EXPECT_FALSE(IsFloppyDrive(disk));
    EXPECT_TRUE(IsWinNT());
}
