// The search driver: reports reach the model on the owner's thread, in order,
// giving the tree that applying them at once gives; Stop keeps what was found;
// the analysis's reader serves one worker at a time and is read once.

#include "salvage/fs/VolumeProbe.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/ModelSink.h"
#include "salvage/search/SearchDriver.h"
#include "salvage/search/TaskQueue.h"
#include "tests/search/TreeDump.h"
#include "tests/support/FatImage.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <thread>

using namespace salvage;
using salvage::fat::TDirEntry;
using testdata::FatImageBuilder;
using testdata::ShortEntry;

namespace {

std::shared_ptr<TAnalysis> OpenImage(const std::string& image)
{
    TLogicalDisk disk;
    disk.DevicePath = image;
    std::string error;
    auto analysis = TAnalysis::Open(disk, error);
    EXPECT_TRUE(analysis) << error;
    return analysis;
}

// The tree the worker's reports give when applied as they come.
std::string DirectTree(const std::string& image)
{
    auto analysis = OpenImage(image);
    TFoundFileModel model;
    TModelSink sink(model);
    std::string error;
    auto search = analysis->CreateSearch(sink, {}, error);
    EXPECT_TRUE(search) << error;
    search->Start();
    search->Wait();
    model.BuildFilterTree();
    const searchtest::DumpOptions all{.files = true, .records = true};
    return searchtest::DumpTree(model.Tree(), all) + "--\n" + searchtest::DumpTree(model.FilterTree(), all);
}

// Fails the test when the tree changes on any other thread than the owner's.
struct ThreadCheck : TTreeObserver {
    std::thread::id owner = std::this_thread::get_id();
    std::atomic<int> foreign{0};
    int changes = 0;
    void Seen()
    {
        ++changes;
        if (std::this_thread::get_id() != owner)
            ++foreign;
    }
    void NodeAdded(TTreeNode&) override { Seen(); }
    void NodeMoved(TTreeNode&) override { Seen(); }
    void ImageChanged(TTreeNode&) override { Seen(); }
    void DataChanged(TTreeNode&) override { Seen(); }
    void FileAppended(TTreeNode&, std::size_t) override { Seen(); }
};

// The paths of a tree dump (a folder's state may still change later).
std::set<std::string> PathsOf(const std::string& dump)
{
    std::set<std::string> paths;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);)
        paths.insert(line.substr(0, line.find(" [")).substr(0, line.find(" (")));
    return paths;
}

bool PathsIn(const std::string& part, const std::string& whole)
{
    const std::set<std::string> all = PathsOf(whole);
    for (const std::string& path : PathsOf(part))
        if (!all.count(path))
            return false;
    return true;
}

} // namespace

TEST(SearchDriver, ReportsReachTheModelOnTheOwnersThreadAndGiveTheDirectTree)
{
    for (const std::string& image : {testdata::ReferenceFatImage(), testdata::ReferenceNtfsImage(),
                                     testdata::FatVolume("fat32").image, testdata::NtfsVolume("ntfs4k").image}) {
        SCOPED_TRACE(image);
        TFoundFileModel model;
        ThreadCheck check;
        model.Tree().AddObserver(&check);
        TTaskQueue queue;
        int done = 0;
        int batches = 0;
        std::atomic<int> lastProgress{-1};
        TSearchDriver::TEvents events;
        events.Progress = [&](int p) { lastProgress = p; };
        events.Done = [&] { ++done; };
        events.BatchApplied = [&] { ++batches; };
        // Small batches, so that there are many of them.
        TSearchDriver driver(model, queue.Poster(), std::move(events), 7, std::chrono::milliseconds(1));
        std::string error;
        ASSERT_TRUE(driver.Start(OpenImage(image), {}, error)) << error;
        EXPECT_TRUE(driver.Running());
        queue.RunUntil([&] { return done > 0; });
        EXPECT_FALSE(driver.Running());
        EXPECT_EQ(done, 1);
        EXPECT_GT(batches, 1);
        EXPECT_GT(lastProgress, 0);
        EXPECT_EQ(check.foreign, 0);
        EXPECT_GT(check.changes, 0);
        model.Tree().RemoveObserver(&check);

        model.BuildFilterTree();
        const searchtest::DumpOptions all{.files = true, .records = true};
        EXPECT_EQ(searchtest::DumpTree(model.Tree(), all) + "--\n" + searchtest::DumpTree(model.FilterTree(), all),
                  DirectTree(image));
    }
}

// The driver builds the filtered tree once, as soon as everything is found
// (before Done is told), and revises the FAT conditions in it as in the
// tree: what it leaves is what a later pass over the revised tree makes.
TEST(SearchDriver, TheFilteredTreeIsCompleteWhenDoneIsTold)
{
    for (const std::string& image : {testdata::ReferenceFatImage(), testdata::FatVolume("fat32").image,
                                     testdata::FatVolume("scenarios").image, testdata::FatVolume("collisions").image,
                                     testdata::ReferenceNtfsImage()}) {
        SCOPED_TRACE(image);
        struct Rebuilds : TTreeObserver {
            int count = 0;
            void Rebuilt() override { ++count; }
        } rebuilds;
        TFoundFileModel model;
        model.FilterTree().AddObserver(&rebuilds);
        TTaskQueue queue;
        int done = 0;
        int rebuiltAtDone = -1;
        TSearchDriver::TEvents events;
        events.Done = [&] {
            ++done;
            rebuiltAtDone = rebuilds.count;
        };
        TSearchDriver driver(model, queue.Poster(), std::move(events), 7, std::chrono::milliseconds(1));
        std::string error;
        ASSERT_TRUE(driver.Start(OpenImage(image), {}, error)) << error;
        queue.RunUntil([&] { return done > 0; });
        EXPECT_EQ(rebuiltAtDone, 1);
        model.FilterTree().RemoveObserver(&rebuilds);

        const searchtest::DumpOptions all{.files = true, .records = true};
        const std::string leftByDriver = searchtest::DumpTree(model.FilterTree(), all);
        EXPECT_FALSE(model.FilterTree().Empty());
        model.BuildFilterTree();
        EXPECT_EQ(leftByDriver, searchtest::DumpTree(model.FilterTree(), all));

        // Without the filtered tree: the same whole tree (conditions
        // revised), and nothing built beside it.
        TFoundFileModel whole;
        bool ended = false;
        TSearchDriver::TEvents plain;
        plain.Done = [&] { ended = true; };
        TSearchDriver alone(whole, queue.Poster(), std::move(plain), 7, std::chrono::milliseconds(1));
        TAnalysisOptions options;
        options.FilteredTree = false;
        ASSERT_TRUE(alone.Start(OpenImage(image), options, error)) << error;
        queue.RunUntil([&] { return ended; });
        EXPECT_EQ(searchtest::DumpTree(whole.Tree(), all), searchtest::DumpTree(model.Tree(), all));
        EXPECT_TRUE(whole.FilterTree().Empty());
    }
}

// Two deleted files that start in one free cluster: the walk calls both
// good, and only once every entry is known is the older one found to be
// overwritten by the newer. Both trees must say so when Done is told.
TEST(SearchDriver, ConditionsRevisedAtTheEndReachBothTrees)
{
    FatImageBuilder image(testdata::SmallFat16());
    auto entry = [](const char* name11, int minute) {
        TDirEntry e = ShortEntry(name11, 0x20, 30, 1500);
        const std::uint16_t date = ((2004 - 1980) << 9) | (2 << 5) | 14;
        const auto time = static_cast<std::uint16_t>(12 << 11 | minute << 5);
        for (std::size_t at : {fat::kEntryCreateDate, fat::kEntryWriteDate}) {
            e[at] = static_cast<std::uint8_t>(date);
            e[at + 1] = static_cast<std::uint8_t>(date >> 8);
        }
        for (std::size_t at : {fat::kEntryCreateTime, fat::kEntryWriteTime}) {
            e[at] = static_cast<std::uint8_t>(time);
            e[at + 1] = static_cast<std::uint8_t>(time >> 8);
        }
        return e;
    };
    image.Put(image.RootOffset(), entry("\xE5" "LDER   DAT", 1));
    image.Put(image.RootOffset() + fat::kDirEntrySize, entry("\xE5" "EWER   DAT", 40));
    TLogicalDisk disk;
    disk.DevicePath = "hand-built";
    std::string error;
    auto analysis = TAnalysis::Open(disk, image.Volume(), error);
    ASSERT_TRUE(analysis) << error;

    TFoundFileModel model;
    TTaskQueue queue;
    bool done = false;
    TSearchDriver::TEvents events;
    events.Done = [&] { done = true; };
    TSearchDriver driver(model, queue.Poster(), std::move(events));
    ASSERT_TRUE(driver.Start(analysis, {}, error)) << error;
    queue.RunUntil([&] { return done; });
    for (const TResultsTree* tree : {&model.Tree(), &model.FilterTree()}) {
        SCOPED_TRACE(tree == &model.Tree() ? "tree" : "filtered tree");
        const TTreeNode* root = tree->First();
        ASSERT_NE(root, nullptr);
        const std::vector<TFileInfo>& files = root->Data().Files;
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(files[0].Name, "?LDER.DAT");
        EXPECT_EQ(files[0].Condition, kConditionPoor);
        EXPECT_EQ(files[1].Name, "?EWER.DAT");
        EXPECT_EQ(files[1].Condition, kConditionGood);
    }
}

TEST(SearchDriver, StopAppliesEverythingFoundWithoutDoneAndFreesTheReader)
{
    const std::string image = testdata::FatVolume("fat32").image;
    const std::string full = DirectTree(image);
    auto analysis = OpenImage(image);

    TFoundFileModel model;
    TTaskQueue queue;
    int done = 0;
    int batches = 0;
    std::atomic<bool> held{false};
    bool heldSeen = false;
    TSearchDriver* running = nullptr;
    TSearchDriver::TEvents events;
    // Half way the worker is held where it is, so the stop surely comes in
    // the middle of the search (with deleted files found before it). The
    // task posted then comes after every batch handed over before it.
    events.Progress = [&](int percent) {
        if (percent >= 50 && !held.exchange(true)) {
            running->Suspend();
            queue.Post([&] { heldSeen = true; });
        }
    };
    events.Done = [&] { ++done; };
    events.BatchApplied = [&] { ++batches; };
    TSearchDriver driver(model, queue.Poster(), std::move(events), 1, std::chrono::milliseconds(1));
    running = &driver;
    std::string error;
    ASSERT_TRUE(driver.Start(analysis, {}, error)) << error;
    queue.RunUntil([&] { return heldSeen; });
    EXPECT_GE(batches, 1);
    driver.Stop();
    EXPECT_FALSE(driver.Running());
    EXPECT_EQ(done, 0) << "a stopped search does not complete";

    // The tasks still queued for the stopped search find nothing to do.
    bool sentinel = false;
    queue.Post([&] { sentinel = true; });
    queue.RunUntil([&] { return sentinel; });
    EXPECT_EQ(done, 0);

    // What was found stays and is part of what a full run finds; the
    // filtered tree was built from it by the stop.
    ASSERT_GE(model.Tree().Count(), 1u);
    const searchtest::DumpOptions all{.files = true, .records = true};
    const std::string filteredByStop = searchtest::DumpTree(model.FilterTree(), all);
    EXPECT_FALSE(model.FilterTree().Empty());
    model.BuildFilterTree();
    EXPECT_EQ(filteredByStop, searchtest::DumpTree(model.FilterTree(), all));
    TFoundFileModel complete;
    searchtest::RunFatSearch(image, complete);
    const std::string fullPaths = searchtest::DumpTree(complete.Tree());
    EXPECT_TRUE(PathsIn(searchtest::DumpTree(model.Tree()), fullPaths));
    EXPECT_LT(PathsOf(searchtest::DumpTree(model.Tree())).size(), PathsOf(fullPaths).size());

    // The reader is free again: a recovery (or a new search) may lease it.
    EXPECT_FALSE(analysis->ReaderLeased());
    TReaderLease lease = analysis->LeaseReader(error);
    EXPECT_TRUE(lease);

    // And a second search of the same analysis runs to its end.
    lease.reset();
    ASSERT_TRUE(driver.Start(analysis, {}, error)) << error;
    queue.RunUntil([&] { return done > 0; });
    model.BuildFilterTree();
    EXPECT_EQ(searchtest::DumpTree(model.Tree(), all) + "--\n" + searchtest::DumpTree(model.FilterTree(), all), full);
}

TEST(SearchDriver, TasksThatArriveAfterTheDriverIsGoneDoNothing)
{
    TTaskQueue queue;
    TFoundFileModel model;
    {
        TSearchDriver driver(model, queue.Poster(), {}, 1, std::chrono::milliseconds(1));
        std::string error;
        ASSERT_TRUE(driver.Start(OpenImage(testdata::ReferenceNtfsImage()), {}, error)) << error;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // let some wake-ups be posted
    }  // destroyed while running: it stops first
    bool sentinel = false;
    queue.Post([&] { sentinel = true; });
    queue.RunUntil([&] { return sentinel; });  // runs the stale tasks; ASan sees any use after free
    SUCCEED();
}

TEST(AnalysisReader, ServesOneWorkerAtATimeAndLivesAsLongAsItIsLeased)
{
    auto analysis = OpenImage(testdata::ReferenceNtfsImage());
    ASSERT_TRUE(analysis);
    TFoundFileModel model;
    TModelSink sink(model);
    std::string error;
    auto first = analysis->CreateSearch(sink, {}, error);
    ASSERT_TRUE(first) << error;
    EXPECT_FALSE(analysis->CreateSearch(sink, {}, error));
    EXPECT_EQ(error, kReaderBusy);
    EXPECT_FALSE(analysis->LeaseReader(error)) << "a recovery cannot run on it while a search holds it";

    TTaskQueue queue;
    TSearchDriver driver(model, queue.Poster(), {});
    EXPECT_FALSE(driver.Start(analysis, {}, error));
    EXPECT_EQ(error, kReaderBusy);

    first.reset();
    TReaderLease lease = analysis->LeaseReader(error);
    ASSERT_TRUE(lease) << error;
    // Whoever dropped the analysis, the holder of the lease can still read it.
    std::weak_ptr<TAnalysis> weak = analysis;
    analysis.reset();
    EXPECT_FALSE(weak.expired());
    lease.reset();
    EXPECT_TRUE(weak.expired());
}

namespace {

// Counts reads of a volume's first sector.
class CountingVolume final : public platform::Volume {
public:
    explicit CountingVolume(platform::VolumePtr base) : base_(std::move(base)) {}
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (offset == 0)
            ++firstSectorReads;
        return base_->ReadAt(offset, out);
    }
    std::uint64_t Size() const override { return base_->Size(); }
    mutable std::atomic<int> firstSectorReads{0};

private:
    platform::VolumePtr base_;
};

} // namespace

// Choosing the volume reads its boot sector; the analysis takes that one and
// opens the reader once, whatever it then runs.
TEST(AnalysisReader, TheBootSectorIsReadOnceForAFatAnalysisAndTheNtfsReaderOpenedOnce)
{
    for (const std::string& image : {testdata::ReferenceFatImage(), testdata::ReferenceNtfsImage()}) {
        SCOPED_TRACE(image);
        platform::OpenError openError;
        auto counting = std::make_shared<CountingVolume>(platform::OpenVolumeReadOnly(image, openError));
        TLogicalDisk disk;
        disk.DevicePath = image;
        const DiskProbe probe = ProbeDisk(disk, counting);
        ASSERT_TRUE(probe.Kind);
        EXPECT_EQ(counting->firstSectorReads, 1);
        std::string error;
        auto analysis = TAnalysis::Open(disk, counting, error, &probe.Boot);
        ASSERT_TRUE(analysis) << error;
        TFoundFileModel model;
        ASSERT_TRUE(analysis->Run(model, {}, {}, error)) << error;
        ASSERT_TRUE(analysis->Run(model, {}, {}, error)) << error;
        // The probe's read only: either reader takes the boot sector it read.
        EXPECT_EQ(counting->firstSectorReads, 1);
    }
}
