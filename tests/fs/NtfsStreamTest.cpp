// Data streams as current Windows versions write them, on volumes made by
// mkntfs and ntfsgen: clusters of 128 KiB to 2 MiB, data continued in extent
// records through an attribute list, compressed units, named streams, and
// the record's sequence number.

#include "salvage/fs/DataRuns.h"
#include "salvage/fs/NTFS.h"
#include "tests/fs/NtfsRecordBuilder.h"
#include "tests/fs/NtfsTestVolume.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace salvage;
using testntfs::Opened;
using testntfs::RecordOf;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A stream's bytes as the reader gives them: plain runs, or unit by unit.
Bytes StreamBytes(const TNTFS& ntfs, const TNTFSStream& s)
{
    if (s.Resident)
        return s.Value;
    Bytes out;
    if (s.Compressed()) {
        Bytes unit(s.CompressionUnit * ntfs.ClusterBytes());
        for (std::uint64_t u = 0; out.size() < s.Size; ++u) {
            EXPECT_EQ(ntfs.ReadCompressionUnit(s, u, unit), TUnitResult::Ok) << "unit " << u;
            out.insert(out.end(), unit.begin(), unit.end());
        }
    } else {
        out.resize(static_cast<std::size_t>(s.Size));
        EXPECT_TRUE(ntfs.ReadRunBytes(s.Runs, s.MappedClusters, 0, out));
    }
    out.resize(static_cast<std::size_t>(s.Size));
    return out;
}

Bytes RecordBytes(const TNTFS& ntfs, std::uint64_t n)
{
    Bytes record(ntfs.RecordSize());
    EXPECT_TRUE(ntfs.ReadMFTRecord(n, record)) << n;
    return record;
}

Bytes ReadStreamOf(const TNTFS& ntfs, std::uint64_t n, std::u16string_view name, bool complete = true)
{
    const Bytes record = RecordBytes(ntfs, n);
    const auto s = ntfs.ReadStream(record, n, name);
    if (!s) {
        ADD_FAILURE() << "no stream in record " << n;
        return {};
    }
    EXPECT_EQ(s->ExtentMissing, !complete) << n;
    return StreamBytes(ntfs, *s);
}

} // namespace

TEST(NtfsStream, SectorsPerClusterFromTheBootSector)
{
    EXPECT_EQ(NtfsSectorsPerCluster(8, 512), 8u);
    EXPECT_EQ(NtfsSectorsPerCluster(0x80, 512), 128u);     // 64 KiB, still a count
    EXPECT_EQ(NtfsSectorsPerCluster(0xF8, 512), 256u);     // 2^8: 128 KiB
    EXPECT_EQ(NtfsSectorsPerCluster(0xF4, 512), 4096u);    // 2^12: 2 MiB
    EXPECT_EQ(NtfsSectorsPerCluster(0xF7, 4096), 512u);    // 2 MiB of 4 KiB sectors
    // Zero, not a power of two, or clusters past 2 MiB.
    for (const auto& [value, sector] : {std::pair{0, 512}, {3, 512}, {0xF3, 512}, {0xF6, 4096}, {0x81, 512}})
        EXPECT_FALSE(NtfsSectorsPerCluster(static_cast<std::uint8_t>(value), static_cast<std::uint32_t>(sector)))
            << value << " " << sector;
}

TEST(NtfsStream, LargeClustersReadExactly)
{
    for (const auto& [name, cluster] : {std::pair{"ntfs128k", 131072u}, {"ntfs1m", 1048576u}, {"ntfs2m", 2097152u}}) {
        SCOPED_TRACE(name);
        const auto v = testdata::NtfsVolume(name);
        Opened o(v.image);
        ASSERT_EQ(o.ntfs.ClusterBytes(), cluster);
        EXPECT_EQ(o.ntfs.RecordSize(), 1024u);
        int checked = 0;
        for (const auto& m : testdata::ReadNtfsManifest(v.manifest)) {
            if (m.entry.directory || m.entry.deleted)
                continue;
            SCOPED_TRACE(m.entry.path);
            EXPECT_EQ(ReadStreamOf(o.ntfs, m.record, u""), testdata::ReadFileBytes(v.source + m.entry.path));
            ++checked;
        }
        EXPECT_EQ(checked, 3);
        const auto ads = ReadStreamOf(o.ntfs, RecordOf(v, "/small.bin"), u"ADS");
        EXPECT_EQ(ads, testdata::ReadFileBytes(v.source + "/small.bin:ADS"));
        // The MFT and the bitmap are read by their bytes: the MFT's clusters
        // are in use, the clusters past the data are not.
        EXPECT_TRUE(o.ntfs.IsClusterInUse(o.ntfs.MftCluster()));
        EXPECT_FALSE(o.ntfs.IsClusterInUse(o.ntfs.ClusterCount() - 2));
    }
}

// Deletes a file the way Windows does: its records (base and extents) keep
// their attributes, lose the in-use flag and are freed in the MFT bitmap.
void DeleteInPlace(Bytes& image, const TNTFS& ntfs, const std::vector<std::uint64_t>& records)
{
    const auto bitmap = ntfs.FindAttribute(ntfs.MFTRecord(), ntfs::kBitmap, std::nullopt, false, 0);
    ASSERT_TRUE(bitmap);
    const std::uint64_t mftAt = ntfs.MftCluster() * ntfs.ClusterBytes();  // a fresh volume: one MFT run
    for (const std::uint64_t n : records) {
        image[mftAt + n * ntfs.RecordSize() + ntfs::kRecFlags] &= 0xFE;
        std::uint64_t bitmapAt = 0;
        if (bitmap->NonResident()) {
            const auto runs = ntfs::DecodeDataRuns(bitmap->RunList(), 0, 0);
            ASSERT_FALSE(runs.Runs.empty());
            bitmapAt = runs.Runs[0].Lcn * ntfs.ClusterBytes();
        } else {
            bitmapAt = mftAt + static_cast<std::uint64_t>(bitmap->Value().data() - ntfs.MFTRecord().data());
        }
        image[bitmapAt + n / 8] &= static_cast<std::uint8_t>(~(1u << (n % 8)));
    }
}

TEST(NtfsStream, DataInExtentRecordsComesInVcnOrder)
{
    const auto v = testdata::NtfsVolume("ntfsfeat");
    const std::uint32_t n = RecordOf(v, "/frag/listed.bin");
    const Bytes source = testdata::ReadFileBytes(v.source + "/frag/listed.bin");
    Bytes image = testdata::ReadFileBytes(v.image);
    std::vector<std::uint64_t> records = {n};
    {
        Opened o(v.image);
        const Bytes record = RecordBytes(o.ntfs, n);
        const auto s = o.ntfs.ReadStream(record, n, u"");
        ASSERT_TRUE(s);
        EXPECT_FALSE(s->ExtentMissing);
        EXPECT_GT(s->Runs.size(), 300u) << "more runs than one record holds";
        EXPECT_EQ(StreamBytes(o.ntfs, *s), source);
        // The record's own summary takes its name from an extent record.
        TNTFSRecordInfo info;
        EXPECT_TRUE(o.ntfs.GetRecordInfo(record, info));
        EXPECT_EQ(info.Name, u"listed.bin");
        EXPECT_EQ(info.Size, s->Size);
        for (std::uint64_t r = n + 1; r < n + 8; ++r)
            if (ntfs::RecordNumberOf(LoadLE64(RecordBytes(o.ntfs, r), ntfs::kRecBaseRecord)) == n)
                records.push_back(r);
        EXPECT_GE(records.size(), 3u);
        DeleteInPlace(image, o.ntfs, records);
    }
    // Deleted as Windows deletes: every extent is still there.
    Opened o("", platform::MakeMemoryVolume(image));
    TNTFSRecordInfo info;
    ASSERT_TRUE(o.ntfs.GetDeletedRecordInfo(n, info));
    EXPECT_EQ(info.Name, u"listed.bin");
    EXPECT_EQ(ReadStreamOf(o.ntfs, n, u""), source);
    EXPECT_EQ(o.ntfs.EstimateNTFSCondition(n), ntfs::kConditionPoor) << "its clusters are still in use";
}

TEST(NtfsStream, ExtentsThatTheDeletionTookAreNotMadeUp)
{
    // libntfs-3g cuts a file's data back to its base record when it deletes
    // it: what is left is what sleuthkit's icat reads too, and no more.
    const auto v = testdata::NtfsVolume("ntfsfeat");
    const std::uint32_t n = RecordOf(v, "/frag/listgone.bin");
    Opened o(v.image);
    const auto s = o.ntfs.ReadStream(RecordBytes(o.ntfs, n), n, u"");
    ASSERT_TRUE(s);
    const Bytes source = testdata::ReadFileBytes(v.source + "/frag/listgone.bin");
    EXPECT_EQ(s->Size, source.size());
    const std::uint64_t mapped = s->MappedClusters * o.ntfs.ClusterBytes();
    ASSERT_LT(mapped, source.size());
    Bytes got(static_cast<std::size_t>(mapped));
    EXPECT_TRUE(o.ntfs.ReadRunBytes(s->Runs, s->MappedClusters, 0, got));
    EXPECT_EQ(got, Bytes(source.begin(), source.begin() + static_cast<long>(mapped)));
    EXPECT_FALSE(o.ntfs.ReadRunBytes(s->Runs, s->MappedClusters, mapped, std::span(got).first(1)));
}

TEST(NtfsStream, AnExtentRecordThatNamesAnotherBaseEndsTheStream)
{
    const auto v = testdata::NtfsVolume("ntfsfeat");
    const std::uint32_t n = RecordOf(v, "/frag/listed.bin");
    Bytes image = testdata::ReadFileBytes(v.image);
    std::uint64_t full = 0;
    std::uint64_t extent = 0;
    {
        Opened o(v.image);
        const auto s = o.ntfs.ReadStream(RecordBytes(o.ntfs, n), n, u"");
        ASSERT_TRUE(s);
        full = s->MappedClusters;
        // The record of the last extent: libntfs-3g takes the next free
        // records after the base for them.
        for (std::uint64_t r = n + 1; r < n + 8; ++r) {
            const Bytes rec = RecordBytes(o.ntfs, r);
            if (ntfs::RecordNumberOf(LoadLE64(rec, ntfs::kRecBaseRecord)) == n && o.ntfs.FindAttribute(rec, ntfs::kData, u"", false, 0))
                extent = r;
        }
        ASSERT_NE(extent, 0u);
        // Point that extent record's base reference at another file.
        const std::uint64_t at = o.ntfs.MftCluster() * o.ntfs.ClusterBytes() + extent * o.ntfs.RecordSize() +
                                 ntfs::kRecBaseRecord;
        image[at] ^= 0x40;
    }
    auto memory = platform::MakeMemoryVolume(image);
    Opened o("", memory);
    const auto s = o.ntfs.ReadStream(RecordBytes(o.ntfs, n), n, u"");
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->ExtentMissing);
    EXPECT_LT(s->MappedClusters, full);
    EXPECT_EQ(o.ntfs.EstimateStreamCondition(*s), ntfs::kConditionPoor);
}

TEST(NtfsStream, CompressedUnitsDecompressExactly)
{
    const auto v = testdata::NtfsVolume("ntfsfeat");
    Opened o(v.image);
    for (const char* path : {"/comp1.txt", "/comp16.txt", "/comp17.txt", "/compmany.txt", "/compgone.txt"}) {
        SCOPED_TRACE(path);
        const std::uint32_t n = RecordOf(v, path);
        const Bytes record = RecordBytes(o.ntfs, n);
        const auto s = o.ntfs.ReadStream(record, n, u"");
        ASSERT_TRUE(s);
        EXPECT_EQ(s->CompressionUnit, 16u);
        EXPECT_EQ(StreamBytes(o.ntfs, *s), testdata::ReadFileBytes(v.source + path));
        TNTFSRecordInfo info;
        EXPECT_TRUE(o.ntfs.GetRecordInfo(record, info));
        EXPECT_TRUE(ntfs::HasFlag(info.DataFlags, ntfs::AttrFlag::Compressed));
    }
}

TEST(NtfsStream, NamedStreamsEncryptionAndSequenceNumbers)
{
    const auto v = testdata::NtfsVolume("ntfsfeat");
    Opened o(v.image);
    TNTFSRecordInfo info;
    const std::uint32_t live = RecordOf(v, "/withads.txt");
    ASSERT_TRUE(o.ntfs.GetLiveRecordInfo(live, info));
    ASSERT_EQ(info.Streams.size(), 2u);
    EXPECT_EQ(info.Streams[0].Name, u"big");  // in the record's order: sorted by name
    EXPECT_EQ(info.Streams[0].Size, 20000u);
    EXPECT_EQ(info.Streams[1].Name, u"small");
    EXPECT_EQ(info.Sequence, 1u);
    for (const char* stream : {"big", "small"})
        EXPECT_EQ(ReadStreamOf(o.ntfs, live, std::u16string(stream, stream + std::strlen(stream))),
                  testdata::ReadFileBytes(v.source + "/withads.txt:" + stream));

    const std::uint32_t gone = RecordOf(v, "/adsgone.txt");
    ASSERT_TRUE(o.ntfs.GetDeletedRecordInfo(gone, info));
    ASSERT_EQ(info.Streams.size(), 1u);
    EXPECT_EQ(info.Streams[0].Name, u"hidden");
    EXPECT_EQ(info.Sequence, 2u) << "freeing a record bumps its sequence number";
    EXPECT_EQ(ReadStreamOf(o.ntfs, gone, u"hidden"), testdata::ReadFileBytes(v.source + "/adsgone.txt:hidden"));
    EXPECT_EQ(o.ntfs.EstimateNTFSCondition(gone, u"hidden"), ntfs::kConditionGood);
    EXPECT_EQ(o.ntfs.EstimateNTFSCondition(gone, u"none"), ntfs::kConditionPoor);

    ASSERT_TRUE(o.ntfs.GetLiveRecordInfo(RecordOf(v, "/secret.bin"), info));
    EXPECT_TRUE(ntfs::HasFlag(info.DataFlags, ntfs::AttrFlag::Encrypted));
    EXPECT_EQ(ReadStreamOf(o.ntfs, RecordOf(v, "/secret.bin"), u""), testdata::ReadFileBytes(v.source + "/secret.bin"));
}

namespace {

// One data run: length and LCN offset, each in as few bytes as it takes.
Bytes RunBytes(std::uint64_t length, std::int64_t delta)
{
    auto width = [](std::uint64_t v, bool isSigned) {
        int n = 1;
        while (n < 8 && (isSigned ? (static_cast<std::int64_t>(v) >= (std::int64_t{1} << (8 * n - 1)) ||
                                     static_cast<std::int64_t>(v) < -(std::int64_t{1} << (8 * n - 1)))
                                  : (v >> (8 * n)) != 0))
            ++n;
        return n;
    };
    const int lw = width(length, false), ow = width(static_cast<std::uint64_t>(delta), true);
    Bytes b{static_cast<std::uint8_t>(lw | (ow << 4))};
    testntfs::PutLE(b, 1, length, lw);
    testntfs::PutLE(b, 1 + static_cast<std::size_t>(lw), static_cast<std::uint64_t>(delta), ow);
    b.push_back(0);
    return b;
}

} // namespace

TEST(NtfsStream, TheMftsOwnRunsContinueInAnExtentRecord)
{
    // The MFT of a fresh volume split in two extents, the way a long-used
    // volume has it: the first in record 0 covers records 0 to 15, the rest
    // lies in extent record 15, named by record 0's attribute list.
    const auto v = testdata::NtfsVolume("ntfs4k");
    Bytes image = testdata::ReadFileBytes(v.image);
    Opened original(v.image);
    const TNTFS& o = original.ntfs;
    ASSERT_EQ(o.ClusterBytes(), 4096u);
    const auto data = o.ReadStream(o.MFTRecord(), 0, u"");
    ASSERT_TRUE(data && data->Runs.size() == 1);
    const std::uint64_t mftLcn = data->Runs[0].Lcn, clusters = data->Runs[0].Length, split = 4;
    ASSERT_GT(clusters, split + 2);
    Bytes si, fn, bitmap;
    TNTFS::ForEachAttribute(o.MFTRecord(), [&](const TNTFSAttribute& a) {
        Bytes bytes(a.Bytes().begin(), a.Bytes().end());
        if (a.Type() == ntfs::kStandardInformation)
            si = bytes;
        else if (a.Type() == ntfs::kFileName)
            fn = bytes;
        else if (a.Type() == ntfs::kBitmap)
            bitmap = bytes;
        return true;
    });
    auto write = [&](std::uint64_t n, const Bytes& record) {
        std::copy(record.begin(), record.end(), image.begin() + static_cast<long>(mftLcn * 4096 + n * 1024));
    };
    auto build = [&](std::uint64_t extentBase) {
        Bytes list = testntfs::ListEntry(ntfs::kData, 0, 0);
        Bytes second = testntfs::ListEntry(ntfs::kData, ntfs::MakeReference(15, 1), 1);
        testntfs::PutLE(second, ntfs::kAlLowestVcn, split, 8);
        list.insert(list.end(), second.begin(), second.end());
        write(0, testntfs::RecordBuilder(1024, 1, 0)
                     .Raw(si)
                     .Resident(ntfs::kAttributeList, list)
                     .Raw(fn)
                     .NonResident(ntfs::kData, 0, split - 1, data->Size, RunBytes(split, static_cast<std::int64_t>(mftLcn)))
                     .Raw(bitmap)
                     .Build());
        Bytes extent = testntfs::RecordBuilder(1024, 1, 15)
                           .NonResident(ntfs::kData, split, clusters - 1, data->Size,
                                        RunBytes(clusters - split, static_cast<std::int64_t>(mftLcn + split)))
                           .Build();
        testntfs::PutLE(extent, ntfs::kRecBaseRecord, extentBase, 8);
        write(15, extent);
    };

    build(ntfs::MakeReference(0, 1));
    {
        Opened patched("", platform::MakeMemoryVolume(image));
        EXPECT_EQ(patched.records, original.records);
        int compared = 0;
        for (std::uint64_t n = 16; n < original.records; ++n) {
            Bytes a(1024), b(1024);
            const bool readable = o.ReadMFTRecord(n, a);
            ASSERT_EQ(patched.ntfs.ReadMFTRecord(n, b), readable) << n;
            EXPECT_EQ(a, b) << n;
            compared += readable;
        }
        EXPECT_GT(compared, 100);
    }

    // An extent record that does not name the MFT as its base is not taken:
    // the records past the first extent cannot be read.
    build(ntfs::MakeReference(3, 3));
    Opened damaged("", platform::MakeMemoryVolume(image));
    Bytes record(1024);
    EXPECT_TRUE(damaged.ntfs.ReadMFTRecord(5, record));
    EXPECT_FALSE(damaged.ntfs.ReadMFTRecord(split * 4 + 1, record));
}
