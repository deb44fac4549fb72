// Reports handed over in batches and replayed on another thread give the
// tree that applying each report at once gives.

#include "salvage/search/BatchingSink.h"
#include "salvage/search/FAT32Search.h"
#include "salvage/search/ModelSink.h"
#include "tests/search/TreeDump.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using namespace salvage;

namespace {

// What the desktop does: the consumer posts batches to a queue, and the
// "main thread" (here the test's thread) takes them off and replays them.
class BatchQueue {
public:
    void Post(TReportBatch&& batch)
    {
        {
            std::lock_guard lock(mutex_);
            batches_.push_back(std::move(batch));
        }
        posted_.notify_one();
    }
    // The next batch, or an empty one when none arrives within a minute.
    TReportBatch Take()
    {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, std::chrono::minutes(1), [&] { return !batches_.empty(); }))
            return {};
        TReportBatch b = std::move(batches_.front());
        batches_.pop_front();
        return b;
    }
    std::size_t Waiting()
    {
        std::lock_guard lock(mutex_);
        return batches_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<TReportBatch> batches_;
};

} // namespace

TEST(BatchingSink, BatchedTreeEqualsDirectTree)
{
    const std::vector<std::string> images = {testdata::ReferenceFatImage(), testdata::FatVolume("fat12").image,
                                             testdata::FatVolume("fat32").image,
                                             testdata::FatVolume("scenarios").image};
    for (const std::string& image : images) {
        SCOPED_TRACE(image);
        TFoundFileModel direct;
        searchtest::RunFatSearch(image, direct);
        direct.BuildFilterTree();

        platform::OpenError error;
        TFAT32 fat(platform::OpenVolumeReadOnly(image, error));
        BatchQueue queue;
        TFoundFileModel batched;
        TModelSink apply(batched);
        std::size_t batches = 0;
        {
            TBatchingSink sink([&](TReportBatch&& b) { queue.Post(std::move(b)); }, {}, 7,
                               std::chrono::milliseconds(1));
            TFAT32Search search(fat, sink, true);
            search.Start();
            while (!apply.Completed()) {
                const TReportBatch batch = queue.Take();
                ASSERT_FALSE(batch.Reports.empty()) << "the search never completed";
                ASSERT_LE(batch.Reports.size(), 7u);
                // Done comes last, after every report.
                for (std::size_t i = 0; i + 1 < batch.Reports.size(); ++i)
                    ASSERT_NE(batch.Reports[i].kind, TSearchReport::Kind::Done);
                ReplayReports(batch, apply);
                ++batches;
            }
            search.Wait();
        }
        EXPECT_EQ(queue.Waiting(), 0u);
        EXPECT_GT(batches, 1u);
        batched.BuildFilterTree();
        const searchtest::DumpOptions all{.files = true, .records = true};
        EXPECT_EQ(searchtest::DumpTree(batched.Tree(), all), searchtest::DumpTree(direct.Tree(), all));
        EXPECT_EQ(searchtest::DumpTree(batched.FilterTree(), all), searchtest::DumpTree(direct.FilterTree(), all));
    }
}

// A lone report is handed over by the timer, without waiting for more.
TEST(BatchingSink, TimerHandsOverAPartialBatch)
{
    BatchQueue queue;
    int lastProgress = -1;
    TBatchingSink sink([&](TReportBatch&& b) { queue.Post(std::move(b)); }, [&](int p) { lastProgress = p; });
    TFileInfo dir;
    dir.Name = ".";
    sink.FatDirFound(dir, kNoDir, 1);
    sink.Progress(42);
    EXPECT_EQ(lastProgress, 42) << "progress is not batched";
    const TReportBatch batch = queue.Take();
    ASSERT_EQ(batch.Reports.size(), 1u);
    EXPECT_EQ(batch.Reports[0].kind, TSearchReport::Kind::FatDir);
    EXPECT_EQ(batch.Reports[0].self, 1u);

    // Flush hands over what is pending (after a stop, for instance).
    TFileInfo file;
    file.Name = "a";
    TBatchingSink slow([&](TReportBatch&& b) { queue.Post(std::move(b)); }, {}, 100, std::chrono::hours(1));
    slow.FatFileFound(file, 1);
    slow.FatFileFound(file, 1);
    slow.Flush();
    EXPECT_EQ(queue.Take().Reports.size(), 2u);
}

// A file whose name comes apart arrives as one reported whole: the batch
// keeps the names, and a replay gives the model both files with theirs.
TEST(BatchingSink, FilesNamedApartArriveWhole)
{
    std::vector<TReportBatch> batches;
    TBatchingSink sink([&](TReportBatch&& b) { batches.push_back(std::move(b)); }, {}, 3,
                       std::chrono::milliseconds(1000));
    TFileInfo f;
    f.Size = 12345;
    f.Deleted = true;
    TFileInfo whole = f;
    whole.Name = "a long name that does not fit in a short string.txt";
    TFileInfo root;
    root.Name = ".";
    sink.FatDirFound(root, kNoDir, 1);
    std::string buffer = "second.dat";
    sink.FatFileNamed(f, buffer, 1);
    buffer = "overwritten";  // the worker reuses its buffer at once
    sink.FatFileFound(whole, 1);
    ASSERT_EQ(batches.size(), 1u);
    const TReportBatch& batch = batches[0];
    ASSERT_EQ(batch.Reports.size(), 3u);
    ASSERT_EQ(batch.FatFiles.size(), 2u);
    EXPECT_EQ(batch.NameOf(batch.FatFiles[batch.Reports[1].at]), "second.dat");
    EXPECT_EQ(batch.NameOf(batch.FatFiles[batch.Reports[2].at]), whole.Name);
    EXPECT_EQ(batch.Names, "second.dat" + whole.Name) << "each name travels once";

    TFoundFileModel model;
    TModelSink apply(model);
    ReplayReports(batch, apply);
    const TTreeNode* node = model.Tree().First();
    ASSERT_NE(node, nullptr);
    const std::vector<TFileInfo>& files = node->Data().Files;
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].Name, "second.dat");
    EXPECT_EQ(files[1].Name, whole.Name);
    for (const TFileInfo& file : files) {
        EXPECT_EQ(file.Size, 12345u);
        EXPECT_TRUE(file.Deleted);
    }
}

namespace {

// Every field of a record, so that one lost on the way shows.
std::string Fields(const TFileInfo& f)
{
    char text[320];
    std::snprintf(text, sizeof text, "%u %u %s %llu %.17g %.17g %.17g %u %d %llu %u %d %d %u", f.FileRef, f.ParentRef,
                  f.Name.c_str(), static_cast<unsigned long long>(f.Size), f.Modified, f.Created, f.Accessed,
                  f.Condition, f.Deleted, static_cast<unsigned long long>(f.FullRef), f.StreamAt, f.Encrypted,
                  f.Compressed, f.FatEntry);
    return text;
}

// Keeps what a replay gives it, in order.
struct Replayed : TSearchSink {
    std::vector<std::string> seen;
    void FatDirFound(const TFileInfo& d, DirToken parent, DirToken self) override
    {
        seen.push_back("fatdir " + std::to_string(parent) + " " + std::to_string(self) + " " + Fields(d));
    }
    void FatFileFound(const TFileInfo& f, DirToken folder) override
    {
        seen.push_back("fatfile " + std::to_string(folder) + " " + Fields(f));
    }
    void NtfsDirFound(const TFileInfo& d) override { seen.push_back("ntfsdir " + Fields(d)); }
    void NtfsFileFound(const TFileInfo& f) override { seen.push_back("ntfsfile " + Fields(f)); }
    void Progress(int) override {}
    void Failed(const std::string& message) override { seen.push_back("failed " + message); }
    void AllFound() override { seen.push_back("all found"); }
    void Done() override { seen.push_back("done"); }
};

TFileInfo DistinctRecord(std::uint32_t seed, std::string name)
{
    TFileInfo f;
    f.FileRef = seed;
    f.ParentRef = seed + 1;
    f.Name = std::move(name);
    f.Size = 0x100000000ull + seed;
    f.Modified = 40000.25 + seed;
    f.Created = 39000.5 + seed;
    f.Accessed = 38000.0 + seed;
    f.Condition = 2;
    f.Deleted = true;
    f.FullRef = 0x0003000000000000ull | seed;
    f.StreamAt = 3;
    f.Encrypted = true;
    f.Compressed = true;
    f.FatEntry = seed * 7;
    return f;
}

} // namespace

// Every kind of report crosses in its place with every field of its record;
// a failure and the end of the walk are handed over at once.
TEST(BatchingSink, EveryReportArrivesWholeAndInOrder)
{
    std::vector<TReportBatch> batches;
    TBatchingSink sink([&](TReportBatch&& b) { batches.push_back(std::move(b)); }, {}, 100, std::chrono::hours(1));
    Replayed direct;
    const TFileInfo dir = DistinctRecord(10, "Folder");
    const TFileInfo file = DistinctRecord(20, "a name longer than a short string holds.bin");
    const TFileInfo ntfsDir = DistinctRecord(30, "NtfsFolder");
    const TFileInfo ntfsFile = DistinctRecord(40, "notes.txt:ADS");
    // The same reports to both; `handedOver` tells how many batches the
    // batching sink should have handed over by then.
    auto report = [&](TSearchSink& s, const std::function<void(std::size_t)>& handedOver) {
        s.FatDirFound(dir, 3, 4);
        s.FatFileNamed(file, "apart.dat", 4);
        s.FatFileFound(file, 4);
        s.NtfsDirFound(ntfsDir);
        s.NtfsFileFound(ntfsFile);
        handedOver(0);  // reports wait for a full batch
        s.Failed("The scan ended early.");
        handedOver(1);  // a failure goes at once
        s.FatFileFound(file, 4);
        s.AllFound();
        handedOver(2);  // the end of the walk goes at once
        s.Done();
    };
    report(sink, [&](std::size_t expected) { EXPECT_EQ(batches.size(), expected); });
    report(direct, [](std::size_t) {});
    ASSERT_EQ(batches.size(), 3u);
    Replayed replayed;
    for (const TReportBatch& batch : batches)
        ReplayReports(batch, replayed);
    EXPECT_EQ(replayed.seen, direct.seen);
    ASSERT_GE(replayed.seen.size(), 2u);
    EXPECT_NE(replayed.seen[1].find(" apart.dat "), std::string::npos);
}

// Records handed over many at once (a chunk of the MFT) arrive as the same
// reports one at a time would, among single ones, across batch boundaries
// (more than a batch holds at once) and with the timer's deadline kept for
// what is left.
TEST(BatchingSink, RecordsHandedOverAtOnceArriveLikeSingleOnes)
{
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<TReportBatch> batches;
    TBatchingSink sink(
        [&](TReportBatch&& b) {
            std::lock_guard lock(mutex);
            batches.push_back(std::move(b));
            arrived.notify_all();
        },
        {}, 7, std::chrono::milliseconds(5));
    Replayed direct;
    std::vector<TNtfsFound> chunk;
    for (std::uint32_t i = 0; i < 23; ++i)
        chunk.push_back({i % 5 == 0, DistinctRecord(100 + i, "record " + std::to_string(i) + ".txt")});
    auto report = [&](TSearchSink& s) {
        s.NtfsFileFound(DistinctRecord(1, "before.txt"));
        s.NtfsFound(chunk);
        s.NtfsFound({});
        s.NtfsDirFound(DistinctRecord(2, "after"));
        s.NtfsFound(std::span(chunk).first(3));
    };
    report(sink);
    report(direct);
    {
        // 1 + 23 + 1 + 3 = 28 reports: four full batches, and none left, so
        // nothing waits for the timer; then one more that only the timer sends.
        std::unique_lock lock(mutex);
        EXPECT_EQ(batches.size(), 4u);
    }
    sink.NtfsFound(std::span(chunk).first(2));
    direct.NtfsFound(std::span(chunk).first(2));
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(arrived.wait_for(lock, std::chrono::seconds(10), [&] { return batches.size() == 5; }))
            << "the timer hands over what a run of records left";
    }
    Replayed replayed;
    for (const TReportBatch& batch : batches)
        ReplayReports(batch, replayed);
    EXPECT_EQ(replayed.seen, direct.seen);
    EXPECT_EQ(replayed.seen.size(), 30u);
}
