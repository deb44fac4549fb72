// Damaged and hostile FAT volumes: each gives a clear message or a bounded
// result, never a crash, an overread or a hang.

#include "salvage/fs/FAT.h"
#include "tests/support/FatImage.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

using namespace salvage;
using namespace salvage::fat;

TEST(FatBadInput, AnImageOfZerosIsUnusable)
{
    TFAT32 fat(platform::MakeMemoryVolume(std::vector<std::uint8_t>(64 * 1024, 0)));
    EXPECT_FALSE(fat.Usable());
    EXPECT_NE(fat.Problem().find("no sector or cluster size"), std::string::npos) << fat.Problem();
    bool failed = false;
    EXPECT_EQ(fat.ReadCluster(2, failed).Size(), 0u);
    EXPECT_TRUE(failed);
    EXPECT_EQ(fat.ReadChain(2).Size(), 0u);
    EXPECT_EQ(fat.GetFATEntry(2), 0u);
}

TEST(FatBadInput, ZeroBytesPerSectorOrSectorsPerCluster)
{
    testdata::FatGeometry g = testdata::SmallFat16();
    g.sectorsPerCluster = 0;
    EXPECT_FALSE(TFAT32(testdata::FatImageBuilder(g).Volume()).Usable());
    g = testdata::SmallFat16();
    testdata::FatImageBuilder b(g);
    b.Bytes()[kBytesPerSector] = 0;
    b.Bytes()[kBytesPerSector + 1] = 0;
    TFAT32 fat(b.Volume());
    EXPECT_FALSE(fat.Usable());
    EXPECT_EQ(fat.DataStart, 0u) << "no parameters are computed from a zero sector size";
}

TEST(FatBadInput, SectorSizesOtherThan512AreRefusedWithAMessage)
{
    testdata::FatGeometry g = testdata::SmallFat16();
    g.bytesPerSector = 4096;
    g.totalSectors = 512;
    TFAT32 fat(testdata::FatImageBuilder(g).Volume());
    EXPECT_FALSE(fat.Usable());
    EXPECT_EQ(fat.Problem(), "Volumes with 4096-byte sectors are not supported: only 512-byte sectors can be read.");
}

TEST(FatBadInput, TruncatedImage)
{
    // The reference image cut after its FAT: the boot sector reads, clusters do not.
    auto bytes = testdata::ReadFileBytes(testdata::ReferenceFatImage());
    bytes.resize(60 * 512);
    TFAT32 fat(platform::MakeMemoryVolume(bytes));
    ASSERT_TRUE(fat.Usable());
    bool failed = false;
    (void)fat.ReadCluster(2, failed);
    EXPECT_TRUE(failed);
    EXPECT_EQ(fat.ReadChain(2).Size(), 0u);

    bytes.resize(100);
    EXPECT_FALSE(TFAT32(platform::MakeMemoryVolume(bytes)).Usable()) << "not even a whole boot sector";
}

TEST(FatBadInput, LoopingChainIsBounded)
{
    testdata::FatImageBuilder b(testdata::SmallFat16());
    b.SetFatEntry(2, 3);
    b.SetFatEntry(3, 4);
    b.SetFatEntry(4, 2); // back to the start
    TFAT32 fat(b.Volume());
    TMemoryStream chain = fat.ReadChain(2);
    EXPECT_GT(chain.Size(), 0u);
    EXPECT_LE(chain.Size(), kMaxDirectoryBytes);
    b.SetFatEntry(5, 5); // a cluster pointing at itself
    TFAT32 fat2(b.Volume());
    EXPECT_LE(fat2.ReadChain(5).Size(), kMaxDirectoryBytes);
}

TEST(FatBadInput, ChainIntoClustersBeyondTheVolumeStops)
{
    testdata::FatImageBuilder b(testdata::SmallFat16());
    b.SetFatEntry(2, 0xFF00); // a cluster number far past the data area
    TFAT32 fat(b.Volume());
    EXPECT_EQ(fat.ReadChain(2).Size(), 512u);
    bool failed = false;
    (void)fat.ReadCluster(0xFF00, failed);
    EXPECT_TRUE(failed);
    (void)fat.ReadCluster(0, failed);
    EXPECT_TRUE(failed) << "clusters 0 and 1 have no data";
    (void)fat.ReadCluster(1, failed);
    EXPECT_TRUE(failed);
}

TEST(FatBadInput, HugeFatSizeCannotOverflowTheDataStart)
{
    testdata::FatGeometry g = testdata::SmallFat16();
    g.typeText = "FAT32";
    g.fatCount = 255;
    g.sectorsPerFat = 0xFFFFFFFF;
    TFAT32 fat(testdata::FatImageBuilder(g).Volume());
    EXPECT_FALSE(fat.Usable());
}

TEST(FatBadInput, LookupsOutsideTheFatAreZero)
{
    testdata::FatImageBuilder b(testdata::SmallFat16());
    TFAT32 fat(b.Volume());
    EXPECT_EQ(fat.GetFATEntry(16 * 256), 0u) << "first entry past a 16-sector FAT16";
    EXPECT_EQ(fat.GetFATEntry(0xFFFFFFFF), 0u);
}
