// The FAT read once into a bitmap of clusters in use, against the FAT
// entries looked up one at a time: on the generated volumes, on FATs with
// sectors that cannot be read, and on a volume of crafted deleted entries
// that claim the whole disk, whose conditions are checked cluster by cluster.

#include "salvage/disk/Bytes.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/FATEntryCheck.h"
#include "salvage/fs/FATPlacement.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"
#include "tests/support/FatImage.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace salvage;

namespace {

// A volume whose reads of [badFrom, badTo) fail.
class HoleyVolume final : public platform::Volume {
public:
    HoleyVolume(platform::VolumePtr base, std::uint64_t badFrom, std::uint64_t badTo)
        : base_(std::move(base)), from_(badFrom), to_(badTo)
    {
    }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (offset < to_ && offset + out.size() > from_)
            return false;
        return base_->ReadAt(offset, out);
    }
    std::uint64_t Size() const override { return base_->Size(); }

private:
    platform::VolumePtr base_;
    std::uint64_t from_, to_;
};

platform::VolumePtr Open(const std::string& image)
{
    platform::OpenError error;
    auto volume = platform::OpenVolumeReadOnly(image, error);
    EXPECT_TRUE(volume) << image << ": " << error.message;
    return volume;
}

// Every cluster, and ranges and free counts at random, of a map-answering
// reader against a reader that looks up each entry.
void CompareWithLookUps(const platform::VolumePtr& volume, const std::string& what)
{
    TFAT32 mapped(volume);
    TFAT32 looked(volume);
    ASSERT_TRUE(mapped.Usable()) << what;
    const std::uint32_t limit = mapped.ClusterLimit();
    std::vector<bool> used(limit + 40);
    std::size_t inUse = 0;
    for (std::uint32_t c = 0; c < used.size(); ++c) {
        used[c] = looked.GetFATEntry(c) != 0;
        ASSERT_EQ(mapped.ClusterInUse(c), used[c]) << what << " cluster " << c;
        inUse += used[c];
    }
    EXPECT_GE(inUse, 2u) << what;  // at least the two entries before cluster 2
    std::mt19937 random(3);
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t first = random() % (limit + 20);
        const std::uint32_t count = i % 4 == 0 ? random() % (limit + 1) : random() % 300;
        const std::uint32_t end = std::min<std::uint64_t>(std::uint64_t{first} + count, used.size());
        bool any = false;
        std::uint64_t free = 0;
        const std::uint64_t enough = random() % 2 == 0 ? ~std::uint64_t{0} : random() % 200;
        for (std::uint32_t c = first; c < end; ++c) {
            any = any || used[c];
            free += !used[c] && free < enough;
        }
        ASSERT_EQ(mapped.AnyClusterInUse(first, end - first), any) << what << " " << first << "+" << count;
        ASSERT_EQ(mapped.FreeClustersIn(first, end, enough), free) << what << " " << first << ".." << end;
    }
}

} // namespace

TEST(FatClusterMap, AnswersAsTheEntriesLookedUp)
{
    for (const std::string& image :
         {testdata::FatVolume("fat12").image, testdata::FatVolume("fat16").image, testdata::FatVolume("fat32").image,
          testdata::Path("fat/scenarios.img"), testdata::Path("fat/collisions.img"), testdata::ReferenceFatImage()})
        CompareWithLookUps(Open(image), image);
}

// FAT sectors that cannot be read give entries of 0 either way, also for
// the FAT12 entries that straddle into them from the sector before.
TEST(FatClusterMap, UnreadableFatSectorsAsTheLookUpsSeeThem)
{
    for (const std::string& image : {testdata::FatVolume("fat12").image, testdata::FatVolume("fat16").image,
                                     testdata::FatVolume("fat32").image}) {
        const auto volume = Open(image);
        const TFAT32 fat(volume);
        const std::uint64_t fatStart = std::uint64_t{fat.FATStart} * 512;
        // One sector, then a run of them, inside the first FAT.
        for (const auto& [from, to] : {std::pair{fatStart + 512, fatStart + 1024},
                                       std::pair{fatStart + 2 * 512, fatStart + 5 * 512 + 1}})
            CompareWithLookUps(std::make_shared<HoleyVolume>(volume, from, to),
                               image + " with FAT bytes " + std::to_string(from - fatStart) + " to " +
                                   std::to_string(to - fatStart) + " unreadable");
    }
}

// Hundreds of deleted entries claiming gigabytes from clusters all over a
// FAT12 volume, some FAT entries reserved (1) or bad: the analysis ends, and
// every condition is the one a look-up of each cluster gives.
TEST(FatClusterMap, CraftedHugeEntriesHaveTheConditionsOfTheirClusters)
{
    testdata::FatImageBuilder b(testdata::FatGeometry{});
    const std::uint32_t clusters = 2847;  // FAT12, 1.44 MB
    std::mt19937 random(9);
    for (std::uint32_t c = 2; c < clusters; ++c) {
        // Stretches of free clusters between stretches of mixed ones.
        const std::uint32_t r = (c / 150) % 2 == 0 ? 0 : random() % 10;
        b.SetFatEntry(c, r < 6 ? 0 : r == 6 ? 1 : r == 7 ? 0xFF7 : 0xFFF);
    }
    std::vector<fat::TDirEntry> entries;
    for (std::uint32_t i = 0; i < 220; ++i) {
        char name[12];
        std::snprintf(name, sizeof name, "\xE5IG%05uDAT", i);
        const std::uint32_t first = i % 11 == 0 ? random() % (clusters + 10) : 2 + random() % (clusters - 2);
        // Most of the volume, more than it holds (which the search passes
        // over as no entry a driver writes), or a few hundred clusters.
        const std::uint32_t size = i % 3 == 0   ? (clusters - 2) * 512 - random() % 5000
                                   : i % 7 == 0 ? 0xFFFFFFFFu
                                                : random() % (60 * 512);
        auto e = testdata::ShortEntry(name, 0x20, first, size);
        b.Put(b.RootOffset() + 32 * i, e);
        entries.push_back(e);
    }
    const platform::VolumePtr volume = b.Volume();
    TFAT32 looked(volume);
    auto entryOf = [&](std::uint64_t c) { return c < looked.ClusterLimit() ? looked.GetFATEntry(static_cast<std::uint32_t>(c)) : 0u; };

    // The reader's own estimate: consecutive clusters inside the volume,
    // none with an entry of 2 or more.
    TFAT32 mapped(volume);
    ASSERT_TRUE(mapped.Usable());
    for (const auto& e : entries) {
        const std::uint64_t first = EntryFirstCluster(e, mapped.FATType);
        const std::uint64_t size = LoadLE32(e, fat::kEntryFileSize);
        std::uint8_t want = kConditionGood;
        for (std::uint64_t pos = 0, c = first; pos < size && want == kConditionGood; pos += 512, ++c)
            if (c >= looked.ClusterLimit() || entryOf(c) >= 2)
                want = kConditionPoor;
        ASSERT_EQ(mapped.EstimateCondition(e), want) << "first " << first << " size " << size;
    }

    // The analysis, and the consecutive rule's conditions afterwards.
    TLogicalDisk disk;
    disk.DevicePath = "crafted";
    std::string error;
    const auto analysis = TAnalysis::Open(disk, volume, error);
    ASSERT_TRUE(analysis) << error;
    TFoundFileModel model;
    ASSERT_TRUE(analysis->Run(model, {}, {}, error)) << error;
    const TFatDeletedMap* map = analysis->FatReader()->DeletedMap();
    ASSERT_NE(map, nullptr);
    std::size_t good = 0, poor = 0, huge = 0;
    for (const TFileInfo& f : model.Tree().First()->Data().Files) {
        ASSERT_EQ(f.Name.size(), 12u) << f.Name;
        const std::uint32_t i = static_cast<std::uint32_t>(std::stoul(f.Name.substr(3, 5)));
        ASSERT_LT(i, entries.size());
        ASSERT_LT(f.FatEntry, map->Count());
        const std::uint64_t first = EntryFirstCluster(entries[i], mapped.FATType);
        const std::uint64_t size = LoadLE32(entries[i], fat::kEntryFileSize);
        const std::uint64_t need = (size + 511) / 512;
        std::uint8_t want = kConditionGood;
        if (size != 0) {
            if (first < 2 || first >= looked.ClusterLimit() || first + need > looked.ClusterLimit())
                want = kConditionPoor;
            for (std::uint64_t c = first; want == kConditionGood && c < first + need; ++c)
                want = entryOf(c) != 0 ? kConditionPoor : kConditionGood;
        }
        ASSERT_EQ(map->Condition(f.FatEntry, TFatClusterRule::Consecutive, *analysis->FatReader()), want)
            << "entry " << i;
        huge += need > clusters / 2;
        good += want == kConditionGood;
        poor += want == kConditionPoor;
        // The gaps rule places what it can, inside the volume.
        const TFatPlacement p = map->Placement(f.FatEntry, TFatClusterRule::FreeGaps, *analysis->FatReader());
        for (const TFatRun& r : p.Runs)
            ASSERT_LE(std::uint64_t{r.First} + r.Count, looked.ClusterLimit());
    }
    EXPECT_GT(good, 10u);
    EXPECT_GT(poor, 50u);
    EXPECT_GT(huge, 50u);
}
