// Search and recovery workers stopped, suspended and resumed at random
// moments (seeded, so a failure repeats), on FAT and NTFS volumes. The
// search runs the way the windows run it, through the search driver: reports
// go in batches to a task queue that this thread runs while the worker is
// still going. Whatever the moment, the stop returns with the thread
// ended, the model is whole and holds only what a full run finds, and a
// stopped recovery leaves only files the full run writes, each one complete
// or cut short but never different. Run under ThreadSanitizer in CI
// (label "threads").

#include "RecoveryTestSupport.h"
#include "salvage/disk/Messages.h"
#include "salvage/search/SearchDriver.h"
#include "salvage/search/TaskQueue.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <thread>

using namespace salvage;
using namespace recovertest;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

namespace {

constexpr int kRounds = 30;

// What a search found, as text that does not depend on where the tree put
// it: an NTFS record whose parent was not reached yet waits under a
// placeholder, which a full run would have replaced.
std::set<std::string> Found(const TResultsTree& tree)
{
    std::set<std::string> found;
    std::size_t nodes = 0;
    for (const TTreeNode* node = tree.First(); node != nullptr; node = tree.NextDepthFirst(*node)) {
        ++nodes;
        if (node->Text().rfind(kPlaceholderPrefix, 0) != 0)
            found.insert("dir " + std::to_string(node->Data().DirRef) + " " + node->Text() +
                         (node->Data().Deleted ? " deleted" : ""));
        for (const TFileInfo& f : node->Data().Files)
            found.insert("file " + std::to_string(f.ParentRef) + "/" + std::to_string(f.FileRef) + " " + f.Name + " " +
                         std::to_string(f.Size) + (f.Deleted ? " deleted" : ""));
    }
    EXPECT_EQ(nodes, tree.Count()) << "every node is reachable";
    return found;
}

struct SearchOutcome {
    std::set<std::string> found;
    bool completed = false;
    Clock::duration took{};  // until the worker had ended
};

// One search. With a stop time the worker is stopped then (if it is still
// running); with a random source it is also suspended and resumed now and
// then while it runs.
SearchOutcome Search(const std::shared_ptr<TAnalysis>& analysis, std::optional<microseconds> stopAfter,
                     std::mt19937* random)
{
    SearchOutcome outcome;
    TTaskQueue queue;
    TFoundFileModel model;
    bool done = false;
    const Clock::time_point start = Clock::now();
    {
        TSearchDriver::TEvents events;
        events.Done = [&] { done = true; };
        TSearchDriver driver(model, queue.Poster(), std::move(events), 16, std::chrono::milliseconds(1));
        std::string error;
        EXPECT_TRUE(driver.Start(analysis, TAnalysisOptions{}, error)) << error;
        if (!driver.Running())
            return outcome;
        std::bernoulli_distribution pause(0.2);
        std::uniform_int_distribution<int> pauseFor(0, 200);
        while (!done) {
            if (stopAfter && Clock::now() - start >= *stopAfter)
                break;
            queue.RunPending(microseconds(10));
            if (random != nullptr && pause(*random)) {
                driver.Suspend();
                std::this_thread::sleep_for(microseconds(pauseFor(*random)));
                driver.Resume();
            }
        }
        outcome.took = Clock::now() - start;
        // Stop returns once the thread has ended and what it found is applied.
        driver.Stop();
        EXPECT_FALSE(driver.Running());
        EXPECT_FALSE(analysis->ReaderLeased()) << "the stopped search gave the reader back";
    }
    queue.RunPending(microseconds(0));
    model.BuildFilterTree();
    outcome.completed = done;
    outcome.found = Found(model.Tree());
    Found(model.FilterTree());
    return outcome;
}

std::shared_ptr<TAnalysis> Open(const std::string& image)
{
    TLogicalDisk disk;
    disk.DevicePath = image;
    std::string error;
    auto analysis = TAnalysis::Open(disk, error);
    EXPECT_TRUE(analysis) << error;
    return analysis;
}

class StopRace : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        // A recovery that could not write everything says so in a message.
        previousHook_ = SetMessageHook([](const std::string&, MessageIcon) {});
    }
    void TearDown() override { SetMessageHook(previousHook_); }

    // A delay somewhere in a full run (and a little past it, so that some
    // stops come after the end).
    static microseconds RandomDelay(std::mt19937& random, Clock::duration full)
    {
        const auto us = std::chrono::duration_cast<microseconds>(full).count();
        return microseconds(std::uniform_int_distribution<long long>(0, us + us / 10 + 1)(random));
    }

    MessageHook previousHook_;
};

// Every regular file below `root`, by relative path, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> FilesBelow(const std::string& root)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = testdata::ReadFileBytes(entry.path().string());
    return files;
}

// A job for every top-level folder, everything included.
TRecoveryJob EverythingInto(AnalysedVolume& v, const std::string& target)
{
    TRecoveryJob job;
    job.TargetPath = target;
    job.RecoverAll = true;
    for (std::size_t i = 0; i < v.model.Tree().TopLevelCount(); ++i)
        job.SelectedFolders.push_back(v.model.Tree().TopLevel(i));
    job.Analysis = v.analysis;
    return job;
}

} // namespace

TEST_P(StopRace, SearchStoppedAtRandomMomentsKeepsAConsistentPartialTree)
{
    auto analysis = Open(GetParam());
    ASSERT_TRUE(analysis);
    const SearchOutcome full = Search(analysis, std::nullopt, nullptr);
    ASSERT_TRUE(full.completed);
    ASSERT_FALSE(full.found.empty());
    // The first run reads a cold file: the delays are taken from warm runs.
    Clock::duration took = full.took;
    for (int i = 0; i < 3; ++i)
        took = std::min(took, Search(analysis, std::nullopt, nullptr).took);

    std::mt19937 random(20240611);
    int stoppedEarly = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const SearchOutcome stopped = Search(analysis, RandomDelay(random, took), &random);
        for (const std::string& item : stopped.found)
            EXPECT_TRUE(full.found.count(item)) << "not found by a full run: " << item;
        if (stopped.completed) {
            EXPECT_EQ(stopped.found, full.found);
        } else {
            ++stoppedEarly;
        }
    }
    // Not an assertion on timing: only a note of how many stops hit a running search.
    RecordProperty("stopped_early", stoppedEarly);
}

TEST_P(StopRace, RecoveryStoppedAtRandomMomentsLeavesOnlyWholeOrCutFiles)
{
    auto v = Analyse(GetParam());
    ASSERT_TRUE(v);
    const std::string dir = testdata::MakeTempDir("kestrel-stoprace");
    TFixedBrokenNameAnswer answer(TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore);

    RecordingSink fullSink;
    const Clock::time_point start = Clock::now();
    const TRecoverySummary fullSummary = RunJob(*v, EverythingInto(*v, dir + "/full"), fullSink, answer);
    const Clock::duration took = Clock::now() - start;
    ASSERT_GT(fullSummary.FilesWritten, 0u);
    const auto full = FilesBelow(dir + "/full");

    std::mt19937 random(20240612);
    std::bernoulli_distribution suspend(0.5);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string target = dir + "/round" + std::to_string(round);
        RecordingSink sink;
        TThreadRecover thread(EverythingInto(*v, target), sink, answer);
        const microseconds delay = RandomDelay(random, took);
        const bool withSuspend = suspend(random);
        thread.Start();
        if (withSuspend) {
            std::this_thread::sleep_for(delay / 2);
            thread.Suspend();
            std::this_thread::sleep_for(microseconds(100));
            thread.Resume();
            std::this_thread::sleep_for(delay / 2);
        } else {
            std::this_thread::sleep_for(delay);
        }
        thread.Stop();
        EXPECT_TRUE(thread.Finished());
        EXPECT_LE(sink.done.load(), 1);

        const auto written = FilesBelow(target);
        for (const auto& [path, bytes] : written) {
            const auto it = full.find(path);
            ASSERT_NE(it, full.end()) << "not written by a full run: " << path;
            ASSERT_LE(bytes.size(), it->second.size()) << path;
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), it->second.begin())) << path << " differs";
        }
        if (sink.done.load() == 1) {
            EXPECT_EQ(written.size(), full.size());
        }
        fs::remove_all(target);
    }
    fs::remove_all(dir);
}

namespace {

std::string VolumeName(const ::testing::TestParamInfo<std::string>& param)
{
    static const char* const kNames[] = {"ReferenceFat", "Fat32", "ReferenceNtfs", "Ntfs4k"};
    return kNames[param.index];
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Volumes, StopRace,
                         ::testing::Values(testdata::ReferenceFatImage(), testdata::FatVolume("fat32").image,
                                           testdata::ReferenceNtfsImage(), testdata::NtfsVolume("ntfs4k").image),
                         VolumeName);
