// Reports handed over in batches and replayed on another thread give the
// tree that applying each report at once gives.

#include "salvage/search/BatchingSink.h"
#include "salvage/search/FAT32Search.h"
#include "salvage/search/ModelSink.h"
#include "tests/search/TreeDump.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>

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
                ASSERT_FALSE(batch.empty()) << "the search never completed";
                ASSERT_LE(batch.size(), 7u);
                // Done comes last, after every report.
                for (std::size_t i = 0; i + 1 < batch.size(); ++i)
                    ASSERT_NE(batch[i].kind, TSearchReport::Kind::Done);
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
    ASSERT_EQ(batch.size(), 1u);
    EXPECT_EQ(batch[0].kind, TSearchReport::Kind::FatDir);
    EXPECT_EQ(batch[0].self, 1u);

    // Flush hands over what is pending (after a stop, for instance).
    TFileInfo file;
    file.Name = "a";
    TBatchingSink slow([&](TReportBatch&& b) { queue.Post(std::move(b)); }, {}, 100, std::chrono::hours(1));
    slow.FatFileFound(file, 1);
    slow.FatFileFound(file, 1);
    slow.Flush();
    EXPECT_EQ(queue.Take().size(), 2u);
}

// A file handed over arrives as one reported by copy.
TEST(BatchingSink, FilesHandedOverArriveWhole)
{
    std::vector<TReportBatch> batches;
    TBatchingSink sink([&](TReportBatch&& b) { batches.push_back(std::move(b)); }, {}, 2,
                       std::chrono::milliseconds(1000));
    TFileInfo f;
    f.Name = "a long name that does not fit in a short string.txt";
    f.Size = 12345;
    f.Deleted = true;
    const TFileInfo copy = f;
    sink.TakeFatFile(std::move(f), 7);
    sink.FatFileFound(copy, 8);
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].size(), 2u);
    for (const TSearchReport& r : batches[0]) {
        EXPECT_EQ(r.kind, TSearchReport::Kind::FatFile);
        EXPECT_EQ(r.info.Name, copy.Name);
        EXPECT_EQ(r.info.Size, copy.Size);
        EXPECT_TRUE(r.info.Deleted);
    }
    EXPECT_EQ(batches[0][0].parent, 7u);
    EXPECT_EQ(batches[0][1].parent, 8u);
}
