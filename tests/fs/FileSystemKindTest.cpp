#include "salvage/fs/FileSystemKind.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace salvage;

namespace {

BootSectorBytes WithText(std::size_t offset, const char* text)
{
    BootSectorBytes b{};
    std::memcpy(&b[offset], text, std::strlen(text));
    return b;
}

} // namespace

TEST(FileSystemKind, DecidedByTheBootSectorTexts)
{
    EXPECT_EQ(DetermineFileSystemKind(WithText(3, "NTFS    "), false), TFileSystemKind::NTFS);
    EXPECT_EQ(DetermineFileSystemKind(WithText(82, "FAT32   "), false), TFileSystemKind::FAT32);
    EXPECT_EQ(DetermineFileSystemKind(WithText(54, "FAT16   "), false), TFileSystemKind::FAT16);
    EXPECT_EQ(DetermineFileSystemKind(WithText(54, "FAT12   "), false), TFileSystemKind::FAT12);
    EXPECT_EQ(DetermineFileSystemKind(WithText(54, "FAT     "), false), std::nullopt);
}

TEST(FileSystemKind, FloppyFallsBackToFat12)
{
    EXPECT_EQ(DetermineFileSystemKind(BootSectorBytes{}, true), TFileSystemKind::FAT12);
    EXPECT_EQ(DetermineFileSystemKind(BootSectorBytes{}, false), std::nullopt);
}

TEST(FileSystemKind, LabelFillingElevenCharactersStillGivesFat16)
{
    // The label lies at 43..53, right before the type text.
    BootSectorBytes b = WithText(43, "ABCDEFGHIJK");
    std::memcpy(&b[54], "FAT16   ", 8);
    EXPECT_EQ(DetermineFileSystemKind(b, false), TFileSystemKind::FAT16);
}
