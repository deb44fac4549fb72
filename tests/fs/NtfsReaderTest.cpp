// The NTFS reader on real volumes: the reference image and volumes made by
// mkntfs and ntfsgen.

#include "salvage/fs/NTFS.h"
#include "tests/fs/NtfsTestVolume.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <thread>

using namespace salvage;
using testntfs::Opened;
using testntfs::RecordOf;

TEST(NtfsReader, RecordSizeFromTheBootSector)
{
    EXPECT_EQ(NtfsRecordSize(0xF6, 4096), 1024u);   // 2^(256 - 246)
    EXPECT_EQ(NtfsRecordSize(0xF6, 512), 1024u);
    EXPECT_EQ(NtfsRecordSize(2, 2048), 4096u);      // clusters
    EXPECT_EQ(NtfsRecordSize(1, 4096), 4096u);
    EXPECT_EQ(NtfsRecordSize(0xF8, 4096), 256u);
    EXPECT_EQ(NtfsRecordSize(0xF0, 4096), 65536u);
    // Outside 256 bytes .. 64 KiB, not a power of two, or garbage in the
    // upper bytes of the field.
    for (const auto& [value, cluster] : {std::pair{0u, 4096u}, {0xF9u, 4096u}, {0xEFu, 4096u}, {0x80u, 4096u},
                                        {3u, 4096u}, {32u, 4096u}, {0x1F6u, 4096u}, {0xFFFFFFF6u, 4096u}})
        EXPECT_FALSE(NtfsRecordSize(value, cluster)) << value;
}

TEST(NtfsReader, ReferenceImageGeometryAndRecords)
{
    Opened v(testdata::ReferenceNtfsImage());
    TNTFS& ntfs = v.ntfs;
    EXPECT_EQ(ntfs.BytesPerSector(), 512u);
    EXPECT_EQ(ntfs.SectorsPerCluster(), 2u);
    EXPECT_EQ(ntfs.MftCluster(), 2005u);
    EXPECT_EQ(ntfs.RecordSize(), 1024u);
    EXPECT_EQ(v.records, 39u);

    EXPECT_TRUE(ntfs.IsRecordInUse(0));
    EXPECT_TRUE(ntfs.IsRecordInUse(5));
    EXPECT_FALSE(ntfs.IsRecordInUse(38));
    EXPECT_FALSE(ntfs.IsRecordInUse(1u << 30));

    TNTFSRecordInfo info;
    ASSERT_TRUE(ntfs.GetDeletedRecordInfo(38, info));
    EXPECT_EQ(info.Name, u"sing2.dat");
    EXPECT_EQ(ntfs::RecordOfReference(info.ParentRef), 37u);
    EXPECT_EQ(info.Size, 1005u);
    EXPECT_FALSE(info.InUse());
    EXPECT_NE(info.LastWriteTime(), 0u);
    EXPECT_FALSE(ntfs.GetLiveRecordInfo(38, info));

    ASSERT_TRUE(ntfs.GetDeletedRecordInfo(33, info));
    EXPECT_EQ(info.Name, u"dir1");
    EXPECT_TRUE(info.Directory());

    EXPECT_FALSE(ntfs.GetDeletedRecordInfo(5, info)) << "live records are not deleted ones";
    ASSERT_TRUE(ntfs.GetLiveRecordInfo(5, info));
    EXPECT_EQ(info.Name, u".");
    EXPECT_EQ(ntfs::RecordOfReference(info.ParentRef), 5u);
    EXPECT_TRUE(info.Directory());

    // Every deleted file of the answer key still has free clusters.
    for (const std::uint64_t n : {29u, 30u, 31u, 32u, 35u, 36u, 37u, 38u})
        EXPECT_EQ(ntfs.EstimateNTFSCondition(n), ntfs::kConditionGood) << n;
    // A folder has no data attribute.
    EXPECT_EQ(ntfs.EstimateNTFSCondition(33), ntfs::kConditionPoor);

    // The volume's own structures are in use; $Boot holds cluster 0.
    EXPECT_TRUE(ntfs.IsClusterInUse(0));
    EXPECT_TRUE(ntfs.IsClusterInUse(ntfs.MftCluster()));
    EXPECT_FALSE(ntfs.IsClusterInUse(ntfs.ClusterCount() + 100000));
}

TEST(NtfsReader, RecordsAreTakenFromTheirPlaceInTheCluster)
{
    // 4 KiB clusters of four 1 KiB records: record 4k + 3 is the last
    // quarter of its cluster. 512-byte clusters: each record spans two.
    for (const char* name : {"ntfs4k", "ntfs512", "ntfs4kn"}) {
        SCOPED_TRACE(name);
        const auto volume = testdata::NtfsVolume(name);
        Opened v(volume.image);
        const auto image = testdata::ReadFileBytes(volume.image);
        std::vector<std::uint8_t> record(v.ntfs.RecordSize());
        int checked = 0;
        for (std::uint64_t n = 0; n < v.records; ++n) {
            if (!v.ntfs.IsRecordInUse(n) || !v.ntfs.ReadMFTRecord(n, record))
                continue;
            // Records name themselves at offset 44.
            EXPECT_EQ(LoadLE32(record, 44), n);
            ++checked;
        }
        EXPECT_GT(checked, 100);

        // mkntfs gives the MFT's first records one run from the MFT cluster:
        // compare them with the image's own bytes there.
        for (const std::uint64_t n : {3u, 7u, 11u}) {
            std::vector<std::uint8_t> raw(v.ntfs.RecordSize());
            ASSERT_TRUE(v.ntfs.ReadRawMFTRecords(n, 1, raw));
            const std::size_t at = v.ntfs.MftCluster() * v.ntfs.ClusterBytes() + n * v.ntfs.RecordSize();
            EXPECT_TRUE(std::equal(raw.begin(), raw.end(), image.begin() + static_cast<long>(at))) << n;
        }
    }
}

TEST(NtfsReader, GeneratedVolumesGiveNamesSizesAndConditions)
{
    const auto volume = testdata::NtfsVolume("ntfs4k");
    Opened v(volume.image);
    TNTFS& ntfs = v.ntfs;
    TNTFSRecordInfo info;

    // A long name with a DOS name beside it is read by its long name.
    ASSERT_TRUE(ntfs.GetLiveRecordInfo(RecordOf(volume, "/A long file name.txt"), info));
    EXPECT_EQ(info.Name, u"A long file name.txt");
    EXPECT_EQ(info.Size, 3000u);

    // A resident deleted file is in good condition: it needs no clusters.
    const auto small = RecordOf(volume, "/Deleted small.txt");
    ASSERT_TRUE(ntfs.GetDeletedRecordInfo(small, info));
    EXPECT_EQ(info.Size, 150u);
    EXPECT_EQ(ntfs.EstimateNTFSCondition(small), ntfs::kConditionGood);

    // A sparse run counts as free clusters.
    const auto sparse = RecordOf(volume, "/sparse.bin");
    std::vector<std::uint8_t> record(ntfs.RecordSize());
    ASSERT_TRUE(ntfs.ReadMFTRecord(sparse, record));
    const auto data = ntfs.FindAttribute(record, ntfs::kData, std::nullopt, true, 0);
    ASSERT_TRUE(data);
    const auto hole = ntfs.MapVCN(*data, 0);
    ASSERT_TRUE(hole);
    EXPECT_TRUE(hole->Sparse);
    EXPECT_EQ(hole->Lcn, 0u);
    EXPECT_FALSE(ntfs.MapVCN(*data, data->HighestVcn() + 1));
    EXPECT_EQ(ntfs.EstimateNTFSCondition(sparse), ntfs::kConditionGood);

    // The clusters of a live file are in use.
    const auto photo = RecordOf(volume, "/Pictures/holiday photo.jpg");
    ASSERT_TRUE(ntfs.ReadMFTRecord(photo, record));
    const auto photoData = ntfs.FindAttribute(record, ntfs::kData, std::nullopt, true, 0);
    ASSERT_TRUE(photoData);
    const auto at = ntfs.MapVCN(*photoData, 0);
    ASSERT_TRUE(at);
    EXPECT_TRUE(ntfs.IsClusterInUse(at->Lcn));
    EXPECT_EQ(TNTFS::AttributeDataSize(*photoData), 200u * 1024);

    // Its clusters, read through the runs, are the bytes that were written.
    std::vector<std::uint8_t> clusters((photoData->HighestVcn() + 1) * ntfs.ClusterBytes());
    ASSERT_TRUE(ntfs.ReadAttributeData(*photoData, clusters, clusters.size()));
    const auto original = testdata::ReadFileBytes(volume.source + "/Pictures/holiday photo.jpg");
    ASSERT_GE(clusters.size(), original.size());
    EXPECT_TRUE(std::equal(original.begin(), original.end(), clusters.begin()));
    EXPECT_FALSE(ntfs.ReadAttributeData(*photoData, clusters, 4096)) << "more than the limit";
}

TEST(NtfsReader, TwoReadersInTwoThreads)
{
    // Readers share nothing: two volumes scanned at once give what each gives alone.
    auto names = [](const std::string& path) {
        Opened v(path);
        std::vector<std::u16string> out;
        TNTFSRecordInfo info;
        for (std::uint64_t n = 0; n < v.records; ++n)
            if (v.ntfs.GetDeletedRecordInfo(n, info) || v.ntfs.GetLiveRecordInfo(n, info))
                out.push_back(info.Name);
        return out;
    };
    const std::string a = testdata::NtfsVolume("ntfs4k").image, b = testdata::ReferenceNtfsImage();
    const auto aloneA = names(a), aloneB = names(b);
    std::vector<std::u16string> togetherA, togetherB;
    std::thread ta([&] { togetherA = names(a); });
    std::thread tb([&] { togetherB = names(b); });
    ta.join();
    tb.join();
    EXPECT_EQ(togetherA, aloneA);
    EXPECT_EQ(togetherB, aloneB);
    EXPECT_GT(aloneA.size(), 100u);
}
