// Image files opened as volumes through the Windows file API: the bytes are
// the file's, at 64-bit offsets, under names outside the code page too.
#include "platform/Volume.h"
#include "tests/support/TestData.h"
#include "tests/windows/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <random>

namespace fs = std::filesystem;
using platform::OpenVolumeReadOnly;

namespace {

// Reads the volume at a few offsets and compares with the file's bytes.
void ExpectSameBytes(const platform::Volume& volume, const std::vector<std::uint8_t>& file)
{
    ASSERT_EQ(volume.Size(), file.size());
    std::mt19937 random(7);
    for (int i = 0; i < 64; ++i) {
        const std::size_t length = 1 + random() % 8192;
        const std::size_t offset = random() % (file.size() - length);
        std::vector<std::uint8_t> out(length);
        ASSERT_TRUE(volume.ReadAt(offset, out)) << offset;
        ASSERT_TRUE(std::equal(out.begin(), out.end(), file.begin() + static_cast<std::ptrdiff_t>(offset))) << offset;
    }
    std::vector<std::uint8_t> last(512);
    EXPECT_TRUE(volume.ReadAt(file.size() - 512, last));
    EXPECT_FALSE(volume.ReadAt(file.size() - 511, last)) << "a read past the end fails";
}

} // namespace

TEST(WinVolume, ImageFilesReadAsTheyAre)
{
    for (const std::string& image : {testdata::ReferenceFatImage(), testdata::ReferenceNtfsImage()}) {
        platform::OpenError error;
        const auto volume = OpenVolumeReadOnly(image, error);
        ASSERT_TRUE(volume) << image << ": " << error.message;
        ExpectSameBytes(*volume, testdata::ReadFileBytes(image));
    }
}

TEST(WinVolume, ImageFileNamedOutsideTheCodePage)
{
    const std::string dir = testdata::MakeTempDir("kestrel-winvolume");
    const std::string path = dir + "\\Größe ★ 日本.img";
    const auto bytes = testdata::ReadFileBytes(testdata::ReferenceFatImage());
    fs::copy_file(testdata::ReferenceFatImage(), fs::path(wintest::Wide(path)));
    {
        platform::OpenError error;
        const auto volume = OpenVolumeReadOnly(path, error);
        ASSERT_TRUE(volume) << error.message;
        ExpectSameBytes(*volume, bytes);
    }
    fs::remove_all(fs::path(wintest::Wide(dir)));
}

TEST(WinVolume, SectorsPastFourGiB)
{
    const std::string dir = testdata::MakeTempDir("kestrel-winvolume");
    const std::wstring path = wintest::Wide(dir + "\\sparse.img");
    {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);  // where it can
        LARGE_INTEGER at;
        at.QuadPart = 8388609ll * 512;  // past 4 GiB
        ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        const std::vector<std::uint8_t> sector(512, 0xAB);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(h, sector.data(), 512, &written, nullptr));
        CloseHandle(h);
    }
    {
        platform::OpenError error;
        const auto volume = OpenVolumeReadOnly(dir + "\\sparse.img", error);
        ASSERT_TRUE(volume) << error.message;
        EXPECT_EQ(volume->Size(), 8388610ull * 512);
        std::vector<std::uint8_t> out(512);
        ASSERT_TRUE(volume->ReadAt(8388609ull * 512, out));
        EXPECT_EQ(out, std::vector<std::uint8_t>(512, 0xAB));
        ASSERT_TRUE(volume->ReadAt(8388608ull * 512, out));
        EXPECT_EQ(out, std::vector<std::uint8_t>(512, 0x00));
    }
    fs::remove_all(fs::path(wintest::Wide(dir)));
}

TEST(WinVolume, OpenFailuresCarryTheSystemText)
{
    platform::OpenError error;
    EXPECT_EQ(OpenVolumeReadOnly("C:\\no such folder\\volume.img", error), nullptr);
    EXPECT_EQ(error.code, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(error.message, platform::SystemErrorText(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(error.message.empty());
    EXPECT_EQ(error.message.find('\n'), std::string::npos) << "no line end";
    EXPECT_EQ(OpenVolumeReadOnly("C:\\Größe\\fehlt.img", error), nullptr);
    EXPECT_EQ(error.code, ERROR_PATH_NOT_FOUND);
}

TEST(WinVolume, TheSourceIsOpenedForReadingOnly)
{
    // A read-only image opens, and while it is open no one is kept from it
    // but the image stays as it was: the volume has no way to write.
    const std::string dir = testdata::MakeTempDir("kestrel-winvolume");
    const std::string path = dir + "\\ro.img";
    testdata::WriteFileBytes(path, std::vector<std::uint8_t>(4096, 0x5A));
    ASSERT_TRUE(SetFileAttributesW(wintest::Wide(path).c_str(), FILE_ATTRIBUTE_READONLY));
    platform::OpenError error;
    auto volume = OpenVolumeReadOnly(path, error);
    ASSERT_TRUE(volume) << error.message;
    // Another program may still open it for reading (share mode).
    HANDLE other = CreateFileW(wintest::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    CloseHandle(other);
    std::vector<std::uint8_t> out(4096);
    EXPECT_TRUE(volume->ReadAt(0, out));
    EXPECT_EQ(out, std::vector<std::uint8_t>(4096, 0x5A));
    volume.reset();
    SetFileAttributesW(wintest::Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(fs::path(wintest::Wide(dir)));
}
