#include "salvage/fs/FAT.h"
#include "tests/support/FatImage.h"
#include "tests/support/Md5.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <map>

using namespace salvage;
using namespace salvage::fat;

namespace {

// Counts the reads that reach the volume.
class CountingVolume final : public platform::Volume {
public:
    explicit CountingVolume(platform::VolumePtr inner) : inner_(std::move(inner)) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        ++reads;
        return inner_->ReadAt(offset, out);
    }
    std::uint64_t Size() const override { return inner_->Size(); }
    mutable std::atomic<int> reads{0};

private:
    platform::VolumePtr inner_;
};

// Lowercase 8.3 names are stored upper-case (with a case flag the reader
// does not use), so paths are compared without regard to case.
std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

struct FoundEntry {
    std::uint32_t cluster = 0;
    std::uint32_t size = 0;
    bool directory = false;
    bool deleted = false;
};

// A small directory walk over the reader's operations: path -> entry.
void Walk(TFAT32& fat, TMemoryStream data, const std::string& path, std::map<std::string, FoundEntry>& out,
          int depth = 0)
{
    ASSERT_LT(depth, 16);
    TDirEntry e{};
    while (data.Position() + kDirEntrySize <= data.Size()) {
        data.ReadBuffer(e.data(), e.size());
        if (e[0] == kEntryNeverUsed)
            continue;
        std::string name = e[kEntryAttributes] == kAttrLongName ? ReadLongName(e, data) : ShortEntryName(e);
        const bool deleted = e[0] == kEntryDeleted;
        if (name.empty() || name[0] == '.' || (e[kEntryAttributes] & kAttrVolumeLabel) != 0)
            continue;
        FoundEntry found{EntryFirstCluster(e), LoadLE32(e, kEntryFileSize),
                         (e[kEntryAttributes] & kAttrDirectory) != 0, deleted};
        const std::string full = path + "/" + Upper(name);
        if (!deleted)
            out[full] = found;
        if (found.directory && !deleted)
            Walk(fat, fat.ReadChain(found.cluster), full, out, depth + 1);
    }
}

TMemoryStream RootData(TFAT32& fat)
{
    if (fat.FATType == kFAT32)
        return fat.ReadChain(fat.RootKey());
    TMemoryStream root(fat.RootEntries() * kDirEntrySize);
    EXPECT_FALSE(fat.ReadSectors(fat.RootEntries() * kDirEntrySize / fat.BytesPerSector(), root.Buffer(), fat.RootKey()));
    return root;
}

} // namespace

TEST(FatReader, ReferenceImageGeometry)
{
    TLogicalDisk disk;
    disk.DevicePath = testdata::ReferenceFatImage();
    TFAT32 fat(disk);
    ASSERT_TRUE(fat.Usable()) << fat.Problem();
    EXPECT_EQ(fat.FATType, kFAT16);
    EXPECT_EQ(fat.BytesPerSector(), 512u);
    EXPECT_EQ(fat.SectorsPerCluster(), 2u);
    EXPECT_EQ(fat.ReservedSectors(), 8u);
    EXPECT_EQ(fat.NumberOfFATs(), 2u);
    EXPECT_EQ(fat.SectorsPerFAT(), 24u);
    EXPECT_EQ(fat.RootEntries(), 512u);
    EXPECT_EQ(fat.FATStart, 8u);
    EXPECT_EQ(fat.DataStart, 88u);
    EXPECT_EQ(fat.RootKey(), 56u);
}

TEST(FatReader, ReferenceImageDeletedFileConditions)
{
    TLogicalDisk disk;
    disk.DevicePath = testdata::ReferenceFatImage();
    TFAT32 fat(disk);
    ASSERT_TRUE(fat.Usable());
    TMemoryStream root = RootData(fat);
    std::map<std::string, std::uint8_t> conditions;
    TDirEntry e{};
    while (root.Position() < root.Size()) {
        root.ReadBuffer(e.data(), e.size());
        if (e[0] == kEntryDeleted && e[kEntryAttributes] != kAttrLongName &&
            (e[kEntryAttributes] & kAttrDirectory) == 0)
            conditions[ShortEntryName(e)] = fat.EstimateCondition(e);
    }
    // Nothing has been written since the deletions: every deleted file's
    // contiguous clusters are free.
    ASSERT_EQ(conditions.count("xING.DAT"), 1u);
    for (const auto& [name, condition] : conditions)
        EXPECT_EQ(condition, kConditionGood) << name;
}

class GeneratedFat : public ::testing::TestWithParam<const char*> {};

TEST_P(GeneratedFat, LiveFilesReadByteExactThroughTheirChains)
{
    const auto vol = testdata::FatVolume(GetParam());
    TLogicalDisk disk;
    disk.DevicePath = vol.image;
    TFAT32 fat(disk);
    ASSERT_TRUE(fat.Usable()) << fat.Problem();
    std::map<std::string, FoundEntry> found;
    Walk(fat, RootData(fat), "", found);

    int checked = 0;
    for (const auto& m : testdata::ReadManifest(vol.manifest)) {
        if (m.deleted)
            continue;
        ASSERT_EQ(found.count(Upper(m.path)), 1u) << m.path << " not found on " << GetParam();
        const FoundEntry& f = found[Upper(m.path)];
        EXPECT_EQ(f.directory, m.directory) << m.path;
        if (m.directory)
            continue;
        ASSERT_EQ(f.size, m.size) << m.path;
        const auto expected = testdata::ReadFileBytes(vol.source + m.path);
        if (m.size == 0) {
            EXPECT_EQ(f.cluster, 0u);
            continue;
        }
        TMemoryStream chain = fat.ReadChain(f.cluster);
        ASSERT_GE(chain.Size(), m.size) << m.path;
        EXPECT_EQ(chain.Size() / fat.ClusterBytes(), (m.size + fat.ClusterBytes() - 1) / fat.ClusterBytes())
            << m.path << ": the chain ends at its end marker";
        EXPECT_EQ(0, std::memcmp(chain.Bytes().data(), expected.data(), expected.size())) << m.path;
        ++checked;
    }
    EXPECT_GE(checked, 7);
}

TEST_P(GeneratedFat, ConsecutiveLookupsInOneFatSectorCostOneRead)
{
    const auto vol = testdata::FatVolume(GetParam());
    platform::OpenError error;
    auto file = platform::OpenVolumeReadOnly(vol.image, error);
    ASSERT_TRUE(file) << error.message;
    const auto counting = std::make_shared<CountingVolume>(std::move(file));
    TFAT32 fat(counting);
    ASSERT_TRUE(fat.Usable());
    const int before = counting->reads;
    for (std::uint32_t c = 2; c < 100; ++c)
        (void)fat.GetFATEntry(c);
    // 98 entries span at most 2 FAT sectors (FAT32: 128 entries per sector).
    EXPECT_LE(counting->reads - before, 2 + (fat.FATType == kFAT12 ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(Volumes, GeneratedFat, ::testing::Values("fat12", "fat16", "fat32"));

TEST(FatReader, Fat12EntriesStraddlingASectorBoundary)
{
    testdata::FatImageBuilder b({});
    // Cluster 341 lies at byte offset 511 (odd: high 12 bits of bytes 511-512),
    // cluster 340 at offset 510 (even: bytes 510-511, read through the two-sector path).
    b.SetFatEntry(340, 0xABC);
    b.SetFatEntry(341, 0x123);
    b.SetFatEntry(339, 0x456);
    b.SetFatEntry(342, 0x789);
    TFAT32 fat(b.Volume());
    ASSERT_TRUE(fat.Usable());
    EXPECT_EQ(fat.GetFATEntry(339), 0x456u);
    EXPECT_EQ(fat.GetFATEntry(340), 0xABCu);
    EXPECT_EQ(fat.GetFATEntry(341), 0x123u);
    EXPECT_EQ(fat.CachedFATSector, 0) << "the next sector is read without replacing the cache";
    EXPECT_EQ(fat.GetFATEntry(342), 0x789u);
    EXPECT_EQ(fat.CachedFATSector, 1);
}

TEST(FatReader, Fat32ReservedTopBitsAreKeptAndEndTheChain)
{
    testdata::FatGeometry g;
    g.typeText = "FAT32";
    g.reservedSectors = 32;
    g.sectorsPerFat = 16;
    g.totalSectors = 4096;
    testdata::FatImageBuilder b(g);
    b.SetFatEntry(2, 3);
    b.SetFatEntry(3, 0x10000004); // a next cluster with a reserved bit set
    b.SetFatEntry(4, 0x0FFFFFFF);
    TFAT32 fat(b.Volume());
    ASSERT_TRUE(fat.Usable());
    EXPECT_EQ(fat.FATType, kFAT32);
    EXPECT_EQ(fat.GetFATEntry(3), 0x10000004u);
    EXPECT_EQ(fat.ReadChain(2).Size(), 2u * 512) << "cluster 3's entry is above the end threshold";
}

TEST(FatReader, ChainStopsAfterAFreeOrReservedEntry)
{
    testdata::FatImageBuilder b(testdata::SmallFat16());
    b.SetFatEntry(2, 3);
    b.SetFatEntry(3, 0);  // free
    b.SetFatEntry(10, 11);
    b.SetFatEntry(11, 1); // reserved
    for (std::uint32_t c : {2u, 3u, 10u, 11u})
        b.Bytes()[b.ClusterOffset(c)] = static_cast<std::uint8_t>(c);
    TFAT32 fat(b.Volume());
    TMemoryStream chain = fat.ReadChain(2);
    ASSERT_EQ(chain.Size(), 1024u);
    EXPECT_EQ(chain.Bytes()[0], 2);
    EXPECT_EQ(chain.Bytes()[512], 3);
    EXPECT_EQ(fat.ReadChain(10).Size(), 1024u);
    EXPECT_EQ(fat.ReadChain(12).Size(), 512u) << "a deleted directory yields its first cluster";
}

TEST(FatReader, ConditionEstimates)
{
    testdata::FatImageBuilder b(testdata::SmallFat16());
    b.SetFatEntry(7, 0xFFFF); // cluster 7 in use again
    TFAT32 fat(b.Volume());
    EXPECT_EQ(fat.EstimateCondition(testdata::ShortEntry("A", 0, 4, 3 * 512)), kConditionGood) << "clusters 4-6";
    EXPECT_EQ(fat.EstimateCondition(testdata::ShortEntry("A", 0, 4, 3 * 512 + 1)), kConditionPoor) << "4-7";
    EXPECT_EQ(fat.EstimateCondition(testdata::ShortEntry("A", 0, 4, 0)), kConditionGood) << "empty file";
    EXPECT_EQ(fat.FirstClusterCondition(testdata::ShortEntry("A", 0, 7, 0)), kConditionPoor);
    EXPECT_EQ(fat.FirstClusterCondition(testdata::ShortEntry("A", 0, 8, 0)), kConditionGood);
    EXPECT_EQ(fat.EstimateCondition(testdata::ShortEntry("A", 0, 4090, 20 * 512)), kConditionPoor)
        << "runs past the last cluster";
}
