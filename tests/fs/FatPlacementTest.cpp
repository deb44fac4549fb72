// Where deleted files' clusters are placed, on a hand-built FAT16 volume of
// 512-byte clusters whose FAT and entries are set one by one.

#include "salvage/fs/FAT.h"
#include "salvage/fs/FATPlacement.h"
#include "tests/support/FatImage.h"

#include <gtest/gtest.h>

using namespace salvage;
using namespace salvage::fat;
using testdata::FatImageBuilder;
using testdata::ShortEntry;

namespace {

constexpr std::uint32_t kCluster = 512;

// A deleted file of `clusters` clusters, created and last written at these
// minutes past noon (0: no date at all).
TDirEntry Deleted(std::uint32_t first, std::uint32_t clusters, int createdMinute = 0, int writtenMinute = 0)
{
    TDirEntry e = ShortEntry("\xE5" "ILE    DAT", 0x20, first, clusters * kCluster - 100);
    auto put16 = [&](std::size_t off, std::uint32_t v) {
        e[off] = static_cast<std::uint8_t>(v);
        e[off + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    const std::uint32_t date = ((2004 - 1980) << 9) | (2 << 5) | 14;
    auto time = [](int minute) { return static_cast<std::uint32_t>((12 + minute / 60) << 11 | (minute % 60) << 5); };
    if (createdMinute != 0) {
        put16(kEntryCreateDate, date);
        put16(kEntryCreateTime, time(createdMinute));
    }
    if (writtenMinute != 0) {
        put16(kEntryWriteDate, date);
        put16(kEntryWriteTime, time(writtenMinute));
    }
    return e;
}

std::vector<std::uint32_t> Clusters(const TFatPlacement& p)
{
    std::vector<std::uint32_t> all;
    for (const TFatRun& r : p.Runs)
        for (std::uint32_t i = 0; i < r.Count; ++i)
            all.push_back(r.First + i);
    return all;
}

using V = std::vector<std::uint32_t>;

class FatPlacement : public ::testing::Test {
protected:
    FatPlacement() : builder_(testdata::SmallFat16()) {}
    TFAT32& Reader()
    {
        if (!fat_)
            fat_ = std::make_unique<TFAT32>(builder_.Volume());
        return *fat_;
    }
    TFatPlacement Gaps(std::uint32_t i) { return map_.Placement(i, TFatClusterRule::FreeGaps, Reader()); }

    FatImageBuilder builder_;
    std::unique_ptr<TFAT32> fat_;
    TFatDeletedMap map_;
};

} // namespace

TEST_F(FatPlacement, LiveClustersAreSkippedWithoutDoubt)
{
    builder_.SetFatEntry(11, 0xFFFF);
    const auto f = map_.AddEntry(Deleted(10, 3), kFAT16, false);
    map_.Build(Reader());
    EXPECT_EQ(Clusters(Gaps(f)), (V{10, 12, 13}));
    EXPECT_FALSE(Gaps(f).Ambiguous);
    EXPECT_EQ(Gaps(f).Rule, TFatClusterRule::FreeGaps);
    EXPECT_EQ(map_.Condition(f, TFatClusterRule::FreeGaps, Reader()), kConditionGood);
    // The consecutive rule runs into the live cluster: poor, and said to be doubtful.
    const TFatPlacement c = map_.Placement(f, TFatClusterRule::Consecutive, Reader());
    EXPECT_EQ(Clusters(c), (V{10, 11, 12}));
    EXPECT_TRUE(c.Ambiguous);
    EXPECT_EQ(map_.Condition(f, TFatClusterRule::Consecutive, Reader()), kConditionPoor);
}

// The layout of files written by turns: A and B appended to in turn, then C
// and D copied in whole, then B appended to once more.
TEST_F(FatPlacement, InterleavedFilesByTheirDates)
{
    const auto a = map_.AddEntry(Deleted(2, 2, 1, 2), kFAT16, false);
    const auto b = map_.AddEntry(Deleted(3, 4, 2, 30), kFAT16, false);
    const auto c = map_.AddEntry(Deleted(7, 1, 10, 10), kFAT16, false);
    const auto d = map_.AddEntry(Deleted(8, 4, 20, 20), kFAT16, false);
    map_.AddFolderCluster(map_.AddEntry(ShortEntry("\xE5" "IR       ", 0x10, 13, 0), kFAT16, true), 13);
    map_.Build(Reader());
    EXPECT_EQ(Clusters(Gaps(a)), (V{2, 4})) << "A ended before C was made: its part lies before 7";
    EXPECT_EQ(Clusters(Gaps(b)), (V{3, 5, 6, 12}));
    EXPECT_EQ(Clusters(Gaps(c)), (V{7}));
    EXPECT_EQ(Clusters(Gaps(d)), (V{8, 9, 10, 11})) << "copied whole: in one piece";
    EXPECT_TRUE(Gaps(a).Ambiguous);
    EXPECT_TRUE(Gaps(b).Ambiguous);
    EXPECT_FALSE(Gaps(c).Ambiguous);
}

TEST_F(FatPlacement, ANewerFileInTheWayIsSkipped)
{
    const auto f = map_.AddEntry(Deleted(20, 3, 1, 5), kFAT16, false);
    const auto g = map_.AddEntry(Deleted(21, 1, 3, 3), kFAT16, false);
    map_.Build(Reader());
    EXPECT_EQ(Clusters(Gaps(f)), (V{20, 22, 23}));
    EXPECT_EQ(Clusters(Gaps(g)), (V{21}));
}

// An entry that ended before this file began may have been deleted by then,
// and its cluster reused: skipped all the same, but said to be doubtful.
TEST_F(FatPlacement, AnOlderFileInTheWayMakesItAmbiguous)
{
    const auto older = map_.AddEntry(Deleted(21, 1, 1, 1), kFAT16, false);
    const auto f = map_.AddEntry(Deleted(20, 3, 30, 31), kFAT16, false);
    map_.Build(Reader());
    EXPECT_EQ(Clusters(Gaps(f)), (V{20, 22, 23}));
    EXPECT_TRUE(Gaps(f).Ambiguous);
    EXPECT_FALSE(Gaps(older).Ambiguous);
}

TEST_F(FatPlacement, TheNewestOfTwoEntriesOwnsTheirFirstCluster)
{
    const auto old = map_.AddEntry(Deleted(30, 2, 1, 1), kFAT16, false);
    const auto now = map_.AddEntry(Deleted(30, 3, 40, 40), kFAT16, false);
    map_.Build(Reader());
    EXPECT_EQ(Clusters(Gaps(now)), (V{30, 31, 32}));
    EXPECT_EQ(map_.Condition(now, TFatClusterRule::FreeGaps, Reader()), kConditionGood);
    const TFatPlacement lost = Gaps(old);
    EXPECT_TRUE(lost.Overwritten);
    EXPECT_TRUE(lost.Ambiguous);
    EXPECT_EQ(map_.Condition(old, TFatClusterRule::FreeGaps, Reader()), kConditionPoor);
}

TEST_F(FatPlacement, ClustersOfDeletedFoldersAreNotFileData)
{
    const auto dir = map_.AddEntry(ShortEntry("\xE5" "IR       ", 0x10, 40, 0), kFAT16, true);
    map_.AddFolderCluster(dir, 40);
    map_.AddFolderCluster(dir, 41);
    const auto f = map_.AddEntry(Deleted(39, 3), kFAT16, false);
    map_.Build(Reader());
    EXPECT_EQ(Clusters(Gaps(f)), (V{39, 42, 43}));
}

TEST_F(FatPlacement, AFirstClusterInUseIsOverwritten)
{
    builder_.SetFatEntry(50, 0xFFFF);
    const auto f = map_.AddEntry(Deleted(50, 2), kFAT16, false);
    map_.Build(Reader());
    EXPECT_TRUE(Gaps(f).Overwritten);
    EXPECT_EQ(map_.Condition(f, TFatClusterRule::FreeGaps, Reader()), kConditionPoor);
}

TEST_F(FatPlacement, TheVolumeEndsBeforeTheFile)
{
    const std::uint32_t last = Reader().ClusterLimit() - 1;
    const auto f = map_.AddEntry(Deleted(last - 1, 4), kFAT16, false);
    map_.Build(Reader());
    const TFatPlacement p = Gaps(f);
    EXPECT_EQ(Clusters(p), (V{last - 1, last}));
    EXPECT_FALSE(p.Complete);
    EXPECT_EQ(map_.Condition(f, TFatClusterRule::FreeGaps, Reader()), kConditionPoor);
    EXPECT_FALSE(map_.Placement(f, TFatClusterRule::Consecutive, Reader()).Complete);
}

TEST_F(FatPlacement, BeforeBuildOnlyTheConsecutiveRuleIsKnown)
{
    const auto f = map_.AddEntry(Deleted(60, 2), kFAT16, false);
    const TFatPlacement p = map_.Placement(f, TFatClusterRule::FreeGaps, Reader());
    EXPECT_EQ(p.Rule, TFatClusterRule::Consecutive);
    EXPECT_EQ(Clusters(p), (V{60, 61}));
}

TEST(FatClusterRule, NamesBothWays)
{
    for (const TFatClusterRule r : {TFatClusterRule::FreeGaps, TFatClusterRule::Consecutive})
        EXPECT_EQ(ParseFatClusterRule(FatClusterRuleName(r)), r);
    EXPECT_EQ(ParseFatClusterRule("Gaps"), std::nullopt);
}

// Hole reuse: an old file deleted, a newer one written over its first
// clusters, then a newer still where the old file's run went on. The old
// file is overwritten, and its clusters go to the newer file.
TEST_F(FatPlacement, AnOldFileWithNewerEntriesInItsRunIsOverwritten)
{
    const auto old = map_.AddEntry(Deleted(30, 4, 1, 1), kFAT16, false);
    const auto over = map_.AddEntry(Deleted(28, 4, 20, 20), kFAT16, false);
    const auto newest = map_.AddEntry(Deleted(32, 2, 30, 30), kFAT16, false);
    map_.Build(Reader());
    EXPECT_EQ(Clusters(Gaps(over)), (V{28, 29, 30, 31}));
    EXPECT_EQ(Clusters(Gaps(newest)), (V{32, 33}));
    EXPECT_TRUE(Gaps(old).Overwritten);
    EXPECT_EQ(map_.Condition(old, TFatClusterRule::FreeGaps, Reader()), kConditionPoor);
}

// Copied in whole after another file had ended: the newer file's clusters
// come after all of the other one's, even where the gap cannot hold both.
TEST_F(FatPlacement, AFileBegunAfterAnotherEndedComesAfterIt)
{
    for (const std::uint32_t live : {72u, 76u, 77u})
        builder_.SetFatEntry(live, 0xFFFF);
    const auto appended = map_.AddEntry(Deleted(70, 5, 30, 30), kFAT16, false);  // rewritten last
    const auto second = map_.AddEntry(Deleted(73, 3, 20, 20), kFAT16, false);
    TDirEntry dir = Deleted(80, 1, 40, 40);  // made after both
    dir[kEntryAttributes] = kAttrDirectory;
    map_.AddFolderCluster(map_.AddEntry(dir, kFAT16, true), 80);
    map_.Build(Reader());
    EXPECT_EQ(Clusters(Gaps(second)), (V{73, 74, 75}));
    EXPECT_EQ(Clusters(Gaps(appended)), (V{70, 71, 78, 79, 81}));
}
