// The MFT read ahead on threads of its own: chunks in order with the bytes
// one read gives, each prepared once before it is handed out, a reader
// destroyed at any moment, and NTFS searches whose reports do not depend on
// how the MFT is cut into reads or how many threads take it apart, nor on a
// stop, which leaves what came before it. Run under ThreadSanitizer in CI (label
// "threads").

#include "RecordingSink.h"
#include "salvage/fs/NTFS.h"
#include "salvage/search/MftReadAhead.h"
#include "salvage/search/NTFSSearch.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace salvage;

namespace {

struct Opened {
    platform::VolumePtr volume;
    TNTFS ntfs;
    std::uint64_t records = 0;
    explicit Opened(const std::string& path)
    {
        platform::OpenError error;
        volume = platform::OpenVolumeReadOnly(path, error);
        EXPECT_TRUE(volume) << error.message;
        EXPECT_TRUE(ntfs.OpenNTFSVolume(volume, records).Ok());
    }
};

std::vector<std::string> Volumes()
{
    return {testdata::ReferenceNtfsImage(), testdata::NtfsVolume("ntfs4k").image,
            testdata::NtfsVolume("ntfs512").image, testdata::NtfsVolume("ntfsfeat").image};
}

// A report as text, every field the tree and the listings use.
std::string Text(const testsearch::Report& r)
{
    const TFileInfo& f = r.info;
    char dates[128];
    std::snprintf(dates, sizeof dates, "%.17g %.17g %.17g", f.Modified, f.Created, f.Accessed);
    return std::string(r.directory ? "dir " : "file ") + std::to_string(f.FileRef) + " " +
           std::to_string(f.FullRef) + " " + std::to_string(f.ParentRef) + " " + f.Name + " " +
           std::to_string(f.Size) + " " + dates + " c" + std::to_string(f.Condition) + (f.Deleted ? " deleted" : "") +
           " s" + std::to_string(f.StreamAt) + (f.Encrypted ? " encrypted" : "") + (f.Compressed ? " compressed" : "");
}

std::vector<std::string> Search(const std::string& image, std::size_t perRead,
                                const std::function<void(TNTFSSearch&, testsearch::RecordingSink&)>& during = {},
                                unsigned threads = 2)
{
    platform::OpenError error;
    auto volume = platform::OpenVolumeReadOnly(image, error);
    testsearch::RecordingSink sink;
    TNTFSSearch search(volume, sink, true);
    search.SetRecordsPerRead(perRead);
    search.SetDecodeThreads(threads);
    if (during)
        during(search, sink);
    search.Start();
    search.Wait();
    std::vector<std::string> reports;
    for (const auto& r : sink.reports)
        reports.push_back(Text(r));
    return reports;
}

} // namespace

TEST(MftReadAhead, ChunksInOrderWithTheBytesOfOneRead)
{
    for (const std::string& image : Volumes()) {
        Opened v(image);
        for (const std::size_t perChunk : {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{100000}}) {
            TMftReadAhead chunks(v.ntfs, v.records, perChunk);
            std::uint64_t next = 0;
            std::vector<std::uint8_t> want;
            for (TMftReadAhead::Chunk c = chunks.Next(); c.Count != 0; c = chunks.Next()) {
                ASSERT_EQ(c.First, next) << image;
                ASSERT_LE(c.Count, perChunk);
                ASSERT_TRUE(c.Read);
                want.resize(c.Count * v.ntfs.RecordSize());
                ASSERT_TRUE(v.ntfs.ReadRawMFTRecords(c.First, c.Count, want));
                ASSERT_TRUE(std::equal(want.begin(), want.end(), c.Bytes.begin(), c.Bytes.end()))
                    << image << " records " << c.First << "+" << c.Count;
                next += c.Count;
            }
            EXPECT_EQ(next, v.records) << image;
            EXPECT_EQ(chunks.Next().Count, 0u) << "and after the end, nothing";
        }
    }
}

// Several workers: every chunk is prepared once, on its own bytes, before
// it is handed out, and what was made of it stays with its slot until the
// next chunk is asked for.
TEST(MftReadAhead, EveryChunkPreparedOnceBeforeItIsHandedOut)
{
    Opened v(testdata::NtfsVolume("ntfsfeat").image);
    for (const unsigned workers : {1u, 2u, 3u}) {
        std::vector<std::uint64_t> madeOf(workers + 1, ~0ull);  // by slot: the first record prepared
        std::vector<std::uint32_t> sums(workers + 1);
        std::vector<int> times(v.records, 0);
        TMftReadAhead chunks(v.ntfs, v.records, 3, workers, [&](const TMftReadAhead::Chunk& c, unsigned worker) {
            ASSERT_LT(worker, workers);
            ASSERT_LT(c.Slot, workers + 1);
            madeOf[c.Slot] = c.First;
            std::uint32_t sum = 0;
            for (const std::uint8_t b : c.Bytes)
                sum = sum * 31 + b;
            sums[c.Slot] = sum;
            ++times[c.First];  // one writer per chunk: chunks do not share a first record
        });
        ASSERT_LE(chunks.SlotCount(), workers + 1);
        std::uint64_t next = 0;
        for (TMftReadAhead::Chunk c = chunks.Next(); c.Count != 0; c = chunks.Next()) {
            ASSERT_EQ(c.First, next);
            EXPECT_EQ(madeOf[c.Slot], c.First) << workers << " workers";
            std::uint32_t sum = 0;
            for (const std::uint8_t b : c.Bytes)
                sum = sum * 31 + b;
            EXPECT_EQ(sums[c.Slot], sum) << "prepared on the bytes handed out, chunk " << c.First;
            next += c.Count;
        }
        EXPECT_EQ(next, v.records);
        for (std::uint64_t r = 0; r < v.records; ++r)
            EXPECT_EQ(times[r], r % 3 == 0 ? 1 : 0) << "record " << r;
    }
}

// What a preparation throws arrives at its own chunk, after the chunks
// before it, whichever worker met it.
TEST(MftReadAhead, AFailedPreparationReachesTheCallerAtItsChunk)
{
    Opened v(testdata::NtfsVolume("ntfs4k").image);
    for (const unsigned workers : {1u, 3u}) {
        TMftReadAhead chunks(v.ntfs, v.records, 2, workers, [](const TMftReadAhead::Chunk& c, unsigned) {
            if (c.First == 6)
                throw std::runtime_error("record 6 is unreadable");
        });
        for (std::uint64_t first = 0; first < 6; first += 2)
            ASSERT_EQ(chunks.Next().First, first);
        try {
            (void)chunks.Next();
            ADD_FAILURE() << "chunk 6 was handed out";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "record 6 is unreadable");
        }
        EXPECT_EQ(chunks.Next().First, 8u) << "the chunks after it still come";
    }
}

TEST(MftReadAhead, GivenUpAtAnyMoment)
{
    Opened v(testdata::NtfsVolume("ntfs4k").image);
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        TMftReadAhead chunks(v.ntfs, v.records, 1 + random() % 5, 1 + round % 3,
                             [](const TMftReadAhead::Chunk&, unsigned) {});
        const unsigned take = random() % 8;
        for (unsigned i = 0; i < take; ++i)
            (void)chunks.Next();
        if (round % 2 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
    }
}

// However the MFT is cut into reads, and however many threads take it
// apart, the search reports the same records in the same order, with the
// same fields (conditions included: each thread asks the bitmap itself).
TEST(NtfsReadAhead, ReportsDoNotDependOnTheReads)
{
    for (const std::string& image : Volumes()) {
        const auto whole = Search(image, 0, {}, 1);
        ASSERT_GT(whole.size(), 20u) << image;
        for (const unsigned threads : {1u, 2u, 3u})
            for (const std::size_t perRead : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{64}})
                EXPECT_EQ(Search(image, perRead, {}, threads), whole)
                    << image << ", " << perRead << " records per read, " << threads << " threads";
    }
}

// A stop at any moment of the search, while reads run ahead: the reports
// made are the first ones of a full run.
TEST(NtfsReadAhead, StopLeavesTheReportsBeforeIt)
{
    const std::string image = testdata::NtfsVolume("ntfsfeat").image;
    const auto whole = Search(image, 4);
    std::mt19937 random(5);
    for (int round = 0; round < 20; ++round) {
        const std::size_t stopAfter = random() % whole.size();
        const auto part = Search(
            image, 1 + random() % 6,
            [&](TNTFSSearch& search, testsearch::RecordingSink& sink) {
                sink.afterReport = [&search, &sink, stopAfter] {
                    if (sink.reports.size() == stopAfter + 1)
                        search.RequestStop();
                };
            },
            1 + round % 3);
        ASSERT_LE(part.size(), whole.size());
        EXPECT_GE(part.size(), stopAfter + 1);
        EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin())) << "round " << round;
    }
}
