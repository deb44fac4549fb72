// A chain read a run of consecutive clusters at a time: the bytes in chain
// order, one read per run, and a cluster that cannot be read ends the chain
// after those before it, as a read of one cluster at a time would.

#include "salvage/fs/FAT.h"
#include "tests/support/FatImage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using namespace salvage;

namespace {

// Counts the reads that reach it; reads of [badFrom, badTo) fail.
class WatchedVolume final : public platform::Volume {
public:
    WatchedVolume(platform::VolumePtr base, std::uint64_t badFrom = 0, std::uint64_t badTo = 0)
        : base_(std::move(base)), from_(badFrom), to_(badTo)
    {
    }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        ++reads;
        if (offset < to_ && offset + out.size() > from_)
            return false;
        return base_->ReadAt(offset, out);
    }
    std::uint64_t Size() const override { return base_->Size(); }
    mutable std::atomic<int> reads{0};

private:
    platform::VolumePtr base_;
    std::uint64_t from_, to_;
};

// Clusters 5-6-7, then 20-21, then 9: three runs; every cluster's bytes
// start with its number.
struct ChainImage {
    ChainImage() : builder(testdata::SmallFat16())
    {
        const std::vector<std::uint32_t> chain{5, 6, 7, 20, 21, 9};
        for (std::size_t i = 0; i < chain.size(); ++i) {
            builder.SetFatEntry(chain[i], i + 1 < chain.size() ? chain[i + 1] : 0xFFFF);
            builder.Bytes()[builder.ClusterOffset(chain[i])] = static_cast<std::uint8_t>(chain[i]);
        }
    }
    std::shared_ptr<WatchedVolume> Volume(std::uint32_t badCluster = 0)
    {
        const std::uint64_t bad = badCluster == 0 ? 0 : builder.ClusterOffset(badCluster);
        return std::make_shared<WatchedVolume>(builder.Volume(), bad, badCluster == 0 ? 0 : bad + 512);
    }
    std::vector<std::uint8_t> Firsts(const TMemoryStream& data) const
    {
        std::vector<std::uint8_t> firsts;
        for (std::size_t at = 0; at < data.Size(); at += 512)
            firsts.push_back(data.Bytes()[at]);
        return firsts;
    }
    testdata::FatImageBuilder builder;
};

} // namespace

TEST(FatChainRead, RunsAreReadWholeInChainOrder)
{
    ChainImage image;
    auto volume = image.Volume();
    TFAT32 fat(volume);
    ASSERT_TRUE(fat.Usable());
    EXPECT_EQ(fat.ChainClusters(5, 100), (std::vector<std::uint32_t>{5, 6, 7, 20, 21, 9}));
    const std::vector<std::uint32_t> clusters = fat.ChainClusters(5, 100);
    const int before = volume->reads;
    TMemoryStream data;
    EXPECT_EQ(fat.ReadClusters(clusters, data), 6u);
    EXPECT_EQ(volume->reads - before, 3) << "one read per run of consecutive clusters";
    EXPECT_EQ(image.Firsts(data), (std::vector<std::uint8_t>{5, 6, 7, 20, 21, 9}));
    EXPECT_EQ(image.Firsts(fat.ReadChain(5)), image.Firsts(data));
}

TEST(FatChainRead, AClusterThatCannotBeReadEndsTheChainAfterThoseBefore)
{
    ChainImage image;
    for (const auto& [bad, kept] : {std::pair{7u, std::vector<std::uint8_t>{5, 6}},
                                    std::pair{21u, std::vector<std::uint8_t>{5, 6, 7, 20}},
                                    std::pair{5u, std::vector<std::uint8_t>{}}}) {
        TFAT32 fat(image.Volume(bad));
        EXPECT_EQ(image.Firsts(fat.ReadChain(5)), kept) << "cluster " << bad << " cannot be read";
    }
    // Clusters outside the data area are not read at all.
    TFAT32 fat(image.Volume());
    TMemoryStream data;
    const std::vector<std::uint32_t> outside{5, fat.ClusterLimit(), 6};
    EXPECT_EQ(fat.ReadClusters(outside, data), 1u);
    EXPECT_EQ(data.Size(), 512u);
}

TEST(FatChainRead, ChainClustersEndsWhereAskedAndAtItsBound)
{
    ChainImage image;
    TFAT32 fat(image.Volume());
    std::vector<std::uint32_t> asked;
    const auto upTo20 = fat.ChainClusters(5, 100, [&](std::uint32_t c) {
        asked.push_back(c);
        return c != 20;
    });
    EXPECT_EQ(upTo20, (std::vector<std::uint32_t>{5, 6, 7}));
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{5, 6, 7, 20})) << "each cluster asked once, in order";
    EXPECT_EQ(fat.ChainClusters(5, 2).size(), 2u);
    EXPECT_TRUE(fat.ChainClusters(1, 100).empty());
    EXPECT_TRUE(fat.ChainClusters(fat.ClusterLimit(), 100).empty());

    // A loop (9 back to 6) ends at the bound.
    image.builder.SetFatEntry(9, 6);
    TFAT32 looping(image.Volume());
    EXPECT_EQ(looping.ChainClusters(5, 50).size(), 50u);
    EXPECT_LE(looping.ReadChain(5).Size(), fat::kMaxDirectoryBytes);
}
