#include "salvage/fs/FAT.h"
#include "tests/support/FatImage.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace salvage;
using namespace salvage::fat;
using testdata::LongEntry;
using testdata::ShortEntry;

namespace {

TMemoryStream StreamOf(std::initializer_list<TDirEntry> entries)
{
    TMemoryStream s;
    for (const TDirEntry& e : entries)
        s.Append(e);
    return s;
}

} // namespace

TEST(ShortEntryName, NameAndExtension)
{
    EXPECT_EQ(ShortEntryName(ShortEntry("README  TXT", 0, 0, 0)), "README.TXT");
    EXPECT_EQ(ShortEntryName(ShortEntry("README     ", 0, 0, 0)), "README") << "no dot without extension";
    EXPECT_EQ(ShortEntryName(ShortEntry("A       B  ", 0, 0, 0)), "A.B");
}

TEST(ShortEntryName, DeletedFirstByteBecomesX)
{
    EXPECT_EQ(ShortEntryName(ShortEntry("\xE5" "AB     TXT", 0, 0, 0)), "xAB.TXT");
    // A one-character name keeps its byte (shown in the OEM character set).
    EXPECT_EQ(ShortEntryName(ShortEntry("\xE5", 0, 0, 0)), "\xCF\x83");
}

TEST(ShortEntryName, StopsAtNul)
{
    TDirEntry e = ShortEntry("AB", 0, 0, 0);
    e[2] = 0;
    e[3] = 'Z';
    EXPECT_EQ(ShortEntryName(e), "AB");
}

TEST(EntryFirstCluster, CombinesHighAndLowWords)
{
    EXPECT_EQ(EntryFirstCluster(ShortEntry("X", 0, 0x0012ABCD, 0)), 0x0012ABCDu);
}

TEST(ReadLongName, AssemblesPartsInOrderAndHandsBackTheShortEntry)
{
    // "A long file name.txt" (20 characters): part 2 is stored first.
    TDirEntry first = LongEntry(0x42, "ame.txt");
    const TDirEntry shortEntry = ShortEntry("ALONGF~1TXT", 0x20, 7, 99);
    TMemoryStream s = StreamOf({LongEntry(0x01, "A long file n"), shortEntry, ShortEntry("NEXT    TXT", 0, 0, 0)});
    EXPECT_EQ(ReadLongName(first, s), "A long file name.txt");
    EXPECT_EQ(first, shortEntry);
    EXPECT_EQ(s.Position(), 64u) << "the stream stands after the short entry";
}

TEST(ReadLongName, DeletedRunIsReadTheSameWay)
{
    TDirEntry first = LongEntry(0xE5, "deleted.doc");
    TMemoryStream s = StreamOf({ShortEntry("\xE5" "ELETEDDOC", 0x20, 3, 10)});
    EXPECT_EQ(ReadLongName(first, s), "deleted.doc");
    EXPECT_EQ(first[0], kEntryDeleted);
}

TEST(ReadLongName, ExactlyThirteenCharactersHaveNoPadding)
{
    TDirEntry first = LongEntry(0x41, "thirteen.char");
    TMemoryStream s = StreamOf({ShortEntry("THIRTE~1CHA", 0x20, 3, 10)});
    EXPECT_EQ(ReadLongName(first, s), "thirteen.char");
}

TEST(ReadLongName, RunThatEndsTheDataThrows)
{
    TDirEntry first = LongEntry(0x42, "tail");
    TMemoryStream s = StreamOf({LongEntry(0x01, "head")});
    EXPECT_THROW((void)ReadLongName(first, s), EReadError);
    TMemoryStream empty;
    EXPECT_THROW((void)ReadLongName(first, empty), EReadError);
}

TEST(ReadLongName, NonAsciiNamesAreUtf8)
{
    TDirEntry first = LongEntry(0x41, "x.txt");
    // Put U+00FC (u with diaeresis) in place of the x.
    first[1] = 0xFC;
    first[2] = 0x00;
    TMemoryStream s = StreamOf({ShortEntry("_       TXT", 0x20, 3, 1)});
    EXPECT_EQ(ReadLongName(first, s), "\xC3\xBC.txt");
}
