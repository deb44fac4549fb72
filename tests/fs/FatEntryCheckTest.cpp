// The plausibility of a directory slot, one rule at a time, on hand-built
// entries: what a FAT driver writes passes, each kind of stray bytes does not.

#include "salvage/fs/FATEntryCheck.h"
#include "tests/support/FatImage.h"

#include <gtest/gtest.h>

using namespace salvage;
using namespace salvage::fat;
using testdata::LongEntry;
using testdata::ShortEntry;

namespace {

// A FAT16 volume of 4000 clusters of 2 KiB.
TFatEntryLimits Fat16Limits()
{
    return {kFAT16, 4002, 4000ull * 2048};
}

TFatEntryLimits Fat32Limits()
{
    return {kFAT32, 0x30002, 0x30000ull * 4096};
}

TFatSlot Classify(const TDirEntry& e, const TFatEntryLimits& limits = Fat16Limits())
{
    return ClassifyDirEntry(e, limits);
}

} // namespace

TEST(FatEntryCheck, WhatDriversWritePasses)
{
    EXPECT_EQ(Classify(ShortEntry("README  TXT", 0x20, 5, 700)), TFatSlot::File);
    EXPECT_EQ(Classify(ShortEntry("EMPTY   DAT", 0x00, 0, 0)), TFatSlot::File) << "attribute 0, no cluster";
    EXPECT_EQ(Classify(ShortEntry("RO      TXT", 0x21 | 0x02 | 0x04, 9, 1)), TFatSlot::File);
    EXPECT_EQ(Classify(ShortEntry("DOCS       ", 0x10, 6, 0)), TFatSlot::Directory);
    EXPECT_EQ(Classify(ShortEntry(".          ", 0x10, 6, 0)), TFatSlot::Directory);
    EXPECT_EQ(Classify(ShortEntry("..         ", 0x10, 0, 0)), TFatSlot::Directory) << "the root as parent";
    EXPECT_EQ(Classify(ShortEntry("\xE5" "ONE    TXT", 0x20, 7, 10)), TFatSlot::File) << "deleted";
    EXPECT_EQ(Classify(ShortEntry("\x05" "ONE    TXT", 0x20, 7, 10)), TFatSlot::File) << "0x05 stands for 0xE5";
    EXPECT_EQ(Classify(ShortEntry("caf\x82    TXT", 0x20, 7, 10)), TFatSlot::File) << "OEM bytes, lower case";
    EXPECT_EQ(Classify(TDirEntry{}), TFatSlot::NeverUsed);
    EXPECT_EQ(Classify(LongEntry(0x41, "long name")), TFatSlot::LongName);
}

TEST(FatEntryCheck, TheLabelIsNoFile)
{
    EXPECT_EQ(Classify(ShortEntry("FAT_REC_1  ", kAttrVolumeLabel, 0, 0)), TFatSlot::VolumeLabel);
    EXPECT_EQ(Classify(ShortEntry("FAT_REC_1  ", kAttrVolumeLabel | 0x20, 0, 0)), TFatSlot::VolumeLabel);
    EXPECT_EQ(Classify(ShortEntry("ODD        ", kAttrVolumeLabel | kAttrDirectory, 5, 0)), TFatSlot::Implausible)
        << "a label that is a folder";
}

TEST(FatEntryCheck, AttributeBitsNoDriverWrites)
{
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x40, 5, 1)), TFatSlot::Implausible);
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0xA0, 5, 1)), TFatSlot::Implausible);
}

TEST(FatEntryCheck, NameBytesAShortNameCannotHold)
{
    EXPECT_EQ(Classify(ShortEntry("A/B     TXT", 0x20, 5, 1)), TFatSlot::Implausible);
    EXPECT_EQ(Classify(ShortEntry("A*B     TXT", 0x20, 5, 1)), TFatSlot::Implausible);
    EXPECT_EQ(Classify(ShortEntry(" AB     TXT", 0x20, 5, 1)), TFatSlot::Implausible) << "a leading blank";
    EXPECT_EQ(Classify(ShortEntry(".PROFILE   ", 0x20, 5, 1)), TFatSlot::Implausible) << "a dot is no name byte";
    TDirEntry nul = ShortEntry("F       TXT", 0x20, 5, 1);
    nul[1] = 0x00;  // the UTF-16 of a long-name part read as a short name
    EXPECT_EQ(Classify(nul), TFatSlot::Implausible);
    TDirEntry control = ShortEntry("F       TXT", 0x20, 5, 1);
    control[9] = 0x07;
    EXPECT_EQ(Classify(control), TFatSlot::Implausible);
}

TEST(FatEntryCheck, FirstClusterInsideTheVolume)
{
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x20, 1, 10)), TFatSlot::Implausible) << "cluster 1 holds no data";
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x20, 0, 10)), TFatSlot::Implausible) << "data without a cluster";
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x20, 4001, 10)), TFatSlot::File) << "the last cluster";
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x20, 4002, 10)), TFatSlot::Implausible) << "past it";
    EXPECT_EQ(Classify(ShortEntry("SUB        ", 0x10, 0, 0)), TFatSlot::Implausible) << "only .. names the root";
}

TEST(FatEntryCheck, ASizeTheVolumeCanHold)
{
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x20, 5, 4000u * 2048)), TFatSlot::File);
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x20, 5, 4000u * 2048 + 1)), TFatSlot::Implausible);
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x20, 5, 0xFFFFFFFF)), TFatSlot::Implausible);
}

TEST(FatEntryCheck, BytesTwentyAndTwentyOneOnFat32Only)
{
    // A cluster above 65535 is a FAT32 entry's; on FAT16 those bytes are not
    // part of the cluster number (drivers keep other data there).
    const TDirEntry high = ShortEntry("A       TXT", 0x20, 0x00020005, 100);
    EXPECT_EQ(EntryFirstCluster(high, kFAT16), 5u);
    EXPECT_EQ(EntryFirstCluster(high, kFAT12), 5u);
    EXPECT_EQ(EntryFirstCluster(high, kFAT32), 0x00020005u);
    EXPECT_EQ(Classify(high, Fat16Limits()), TFatSlot::File);
    EXPECT_EQ(Classify(high, Fat32Limits()), TFatSlot::File);
    EXPECT_EQ(Classify(ShortEntry("A       TXT", 0x20, 0x00040005, 100), Fat32Limits()), TFatSlot::Implausible);
}

// The leftover slot seen on a real FAT16 volume: a deleted long-name part
// whose attribute byte reads 0, once listed as "?f" of 4294967295 bytes.
TEST(FatEntryCheck, TheGhostOfALongNameSlot)
{
    TDirEntry ghost = LongEntry(0x01, "file name.txt");
    ghost[0] = kEntryDeleted;
    ghost[kEntryAttributes] = 0;
    EXPECT_EQ(Classify(ghost), TFatSlot::Implausible);
}

TEST(FatEntryCheck, WholeClustersOfADeletedFolder)
{
    const TFatEntryLimits limits = Fat16Limits();
    std::vector<std::uint8_t> cluster(2048, 0);  // 64 slots
    auto put = [&](std::size_t slot, const TDirEntry& e) { std::copy(e.begin(), e.end(), cluster.begin() + 32 * slot); };
    bool goesOn = false;
    EXPECT_FALSE(IsDirectoryCluster(cluster, limits, goesOn)) << "all zero: no entries";

    for (std::size_t i = 0; i < 64; i += 2) {
        put(i, LongEntry(0x41, "some file"));
        put(i + 1, ShortEntry("SOMEFI~1TXT", 0x20, 10 + static_cast<std::uint32_t>(i), 100));
    }
    EXPECT_TRUE(IsDirectoryCluster(cluster, limits, goesOn));
    EXPECT_TRUE(goesOn) << "full";

    for (std::size_t i = 50; i < 64; ++i)
        put(i, TDirEntry{});
    EXPECT_TRUE(IsDirectoryCluster(cluster, limits, goesOn));
    EXPECT_TRUE(goesOn) << "14 slots left: a long name may not have fitted";

    for (std::size_t i = 40; i < 64; ++i)
        put(i, TDirEntry{});
    EXPECT_TRUE(IsDirectoryCluster(cluster, limits, goesOn));
    EXPECT_FALSE(goesOn) << "24 slots left: the folder ended here";

    put(60, ShortEntry("LATE    TXT", 0x20, 5, 10));
    EXPECT_FALSE(IsDirectoryCluster(cluster, limits, goesOn)) << "nothing follows the end of a directory";
    put(60, TDirEntry{});

    cluster[45 * 32 + 5] = 'x';  // an "unused" slot that is not blank is file data
    EXPECT_FALSE(IsDirectoryCluster(cluster, limits, goesOn));
    cluster[45 * 32 + 5] = 0;

    put(7, ShortEntry("A       TXT", 0x20, 5, 0xFFFFFFF0));
    EXPECT_FALSE(IsDirectoryCluster(cluster, limits, goesOn)) << "one implausible slot spoils the cluster";

    std::fill(cluster.begin(), cluster.end(), 'a');  // text
    EXPECT_FALSE(IsDirectoryCluster(cluster, limits, goesOn));
}
