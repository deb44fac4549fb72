// The condition estimate on a record as the search read it, against the
// estimate that reads the record again; ranges of clusters against the
// clusters one by one.

#include "tests/fs/NtfsTestVolume.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace salvage;

namespace {

std::vector<std::string> AllNtfsImages()
{
    return {testdata::ReferenceNtfsImage(),          testdata::NtfsVolume("ntfs4k").image,
            testdata::NtfsVolume("ntfs512").image,   testdata::NtfsVolume("ntfs4kn").image,
            testdata::NtfsVolume("ntfsfeat").image,  testdata::NtfsVolume("ntfs2m").image,
            testdata::NtfsVolume("ntfs128k").image,  testdata::NtfsVolume("ntfs1m").image,
            testdata::Path("ntfs/ntfshuge.img")};
}

} // namespace

// Every record with a name, deleted or live, each stream of it: the
// estimate made on the bytes already read is the one made on the record
// read again. The volumes hold fragmented, sparse, compressed and listed
// files, and files whose clusters were taken again.
TEST(NtfsRecordCondition, SameAsTheEstimateOfTheRecordReadAgain)
{
    std::size_t compared = 0, poor = 0, listed = 0, resident = 0;
    for (const std::string& image : AllNtfsImages()) {
        testntfs::Opened v(image);
        std::vector<std::uint8_t> raw(v.ntfs.RecordSize());
        TNTFSRecordInfo info;
        for (std::uint64_t n = 0; n < v.records; ++n) {
            ASSERT_TRUE(v.ntfs.ReadRawMFTRecords(n, 1, raw)) << image << " record " << n;
            const bool found = v.ntfs.IsRecordInUse(n) ? v.ntfs.GetLiveRecordInfo(n, raw, info)
                                                       : v.ntfs.GetDeletedRecordInfo(n, raw, info);
            if (!found)
                continue;
            const std::uint8_t condition = v.ntfs.EstimateRecordCondition(raw, n, info);
            EXPECT_EQ(condition, v.ntfs.EstimateNTFSCondition(n)) << image << " record " << n;
            for (const TNTFSNamedStream& s : info.Streams)
                EXPECT_EQ(v.ntfs.EstimateRecordCondition(raw, n, s.Name), v.ntfs.EstimateNTFSCondition(n, s.Name))
                    << image << " record " << n;
            ++compared;
            poor += condition == ntfs::kConditionPoor;
            listed += info.Listed;
            resident += info.DataAt != 0 && !TNTFSAttribute::At(raw, info.DataAt)->NonResident();
        }
    }
    EXPECT_GT(compared, 500u);
    EXPECT_GT(poor, 10u);
    EXPECT_GT(listed, 0u);
    EXPECT_GT(resident, 10u);
}

// Ranges crossing the bitmap's 4 KiB blocks (32,768 clusters each), at the
// volume's end and past it, on volumes of small and of 2 MiB clusters.
TEST(NtfsRecordCondition, RangesOfClustersAnswerAsTheirClusters)
{
    for (const std::string& image : {testdata::NtfsVolume("ntfs512").image, testdata::NtfsVolume("ntfs2m").image,
                                     testdata::ReferenceNtfsImage()}) {
        testntfs::Opened v(image);
        const std::uint64_t clusters = v.ntfs.ClusterCount();
        std::vector<bool> used(clusters + 70000);
        for (std::uint64_t c = 0; c < used.size(); ++c)
            used[c] = v.ntfs.IsClusterInUse(c);
        auto anyUsed = [&](std::uint64_t first, std::uint64_t count) {
            for (std::uint64_t c = first; c < first + count; ++c)
                if (used[c])
                    return true;
            return false;
        };
        std::mt19937_64 random(7);
        std::size_t inUse = 0;
        for (int i = 0; i < 3000; ++i) {
            const std::uint64_t first = random() % (clusters + 1000);
            const std::uint64_t count = i % 3 == 0 ? random() % 70000 : random() % 200;
            const bool want = anyUsed(first, std::min<std::uint64_t>(count, used.size() - first));
            ASSERT_EQ(v.ntfs.AnyClusterInUse(first, count), want) << image << " " << first << "+" << count;
            inUse += want;
        }
        // Both answers come up; past the volume's end the bitmap's bits
        // still answer (NTFS sets those of its last bytes).
        EXPECT_GT(inUse, 10u) << image;
        EXPECT_EQ(v.ntfs.AnyClusterInUse(clusters, 60000), anyUsed(clusters, 60000));
        EXPECT_EQ(v.ntfs.AnyClusterInUse(clusters + 10, 50000), anyUsed(clusters + 10, 50000));
        EXPECT_FALSE(v.ntfs.AnyClusterInUse(std::numeric_limits<std::uint64_t>::max() - 5, 100));
        EXPECT_FALSE(v.ntfs.AnyClusterInUse(0, 0));
        EXPECT_TRUE(v.ntfs.AnyClusterInUse(0, clusters));  // the boot sector's cluster
    }
}
