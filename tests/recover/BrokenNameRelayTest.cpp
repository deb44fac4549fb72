// The broken-name question carried from a recovery's thread to its owner's
// thread: answered there, and never able to keep a stop waiting.
#include "salvage/recover/BrokenNameRelay.h"
#include "salvage/search/TaskQueue.h"
#include "tests/recover/RecoveryTestSupport.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

using namespace salvage;
using namespace std::chrono_literals;

namespace {

TBrokenNameAnswer Renamed(std::string name)
{
    TBrokenNameAnswer a;
    a.ModalResult = static_cast<int>(TBrokenNameResult::Rename);
    a.NewName = std::move(name);
    return a;
}

// The owner's thread runs posted tasks until `until` holds.
void Serve(TTaskQueue& queue, const std::function<bool()>& until)
{
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!until() && std::chrono::steady_clock::now() < deadline)
        queue.RunPending(5ms);
}

// Posts to `queue` and counts the questions posted.
TBrokenNameRelay::Post CountingPoster(TTaskQueue& queue, std::atomic<int>& posted)
{
    return [post = queue.Poster(), &posted](TBrokenNameRelay::Task task) {
        post(std::move(task));
        ++posted;
    };
}

void WaitFor(const std::atomic<int>& value, int wanted)
{
    while (value.load() < wanted)
        std::this_thread::yield();
}

} // namespace

TEST(BrokenNameRelay, TheOwnersThreadAnswersWhileTheWorkerWaits)
{
    TTaskQueue queue;
    std::thread::id answeredOn;
    std::vector<std::string> asked;
    TBrokenNameRelay relay(queue.Poster(), [&](const std::string& name) {
        answeredOn = std::this_thread::get_id();
        asked.push_back(name);
        return Renamed("F" + name.substr(1));
    });
    auto worker = std::async(std::launch::async, [&] {
        std::vector<TBrokenNameAnswer> answers;
        answers.push_back(relay.Ask("?ILE.TXT"));
        answers.push_back(relay.Ask("?THER.DAT"));
        return answers;
    });
    Serve(queue, [&] { return worker.wait_for(0s) == std::future_status::ready; });
    const auto answers = worker.get();
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
    EXPECT_EQ(asked, (std::vector<std::string>{"?ILE.TXT", "?THER.DAT"}));
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].NewName, "FILE.TXT");
    EXPECT_EQ(answers[1].NewName, "FTHER.DAT");
}

TEST(BrokenNameRelay, CancelReleasesAWaitingWorkerAndTheQuestionIsNeverShown)
{
    TTaskQueue queue;
    int shown = 0;
    std::atomic<int> posted{0};
    TBrokenNameRelay relay(CountingPoster(queue, posted), [&](const std::string&) {
        ++shown;
        return Renamed("never");
    });
    auto worker = std::async(std::launch::async, [&] { return relay.Ask("?ILE.TXT"); });
    // The question is posted, but the owner is busy (a stop on its way).
    WaitFor(posted, 1);
    relay.Cancel();
    const TBrokenNameAnswer answer = worker.get();
    EXPECT_EQ(answer.ModalResult, static_cast<int>(TBrokenNameResult::Skip));
    EXPECT_EQ(answer.OldName, "?ILE.TXT");
    // The posted task comes later and shows nothing; later questions of the
    // job are skipped at once, without a task.
    queue.RunPending(50ms);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(relay.Ask("?THER.DAT").ModalResult, static_cast<int>(TBrokenNameResult::Skip));
    queue.RunPending(10ms);
    EXPECT_EQ(shown, 0);

    // A new job asks again.
    relay.Reset();
    auto next = std::async(std::launch::async, [&] { return relay.Ask("?EXT.DAT"); });
    Serve(queue, [&] { return next.wait_for(0s) == std::future_status::ready; });
    EXPECT_EQ(next.get().NewName, "never");
    EXPECT_EQ(shown, 1);
}

TEST(BrokenNameRelay, AStopWhileTheDialogIsOpenDismissesItAndItsAnswerIsDropped)
{
    TTaskQueue queue;
    TBrokenNameRelay* self = nullptr;
    int dismissed = 0;
    bool answeringInside = false;
    TBrokenNameRelay relay(
        queue.Poster(),
        [&](const std::string&) {
            // The user presses Stop while the dialog is open: the stop cancels
            // from inside the dialog's event loop.
            answeringInside = self->Answering();
            self->Cancel();
            return Renamed("too late");
        },
        [&] { ++dismissed; });
    self = &relay;
    auto worker = std::async(std::launch::async, [&] { return relay.Ask("?ILE.TXT"); });
    Serve(queue, [&] { return worker.wait_for(0s) == std::future_status::ready; });
    EXPECT_TRUE(answeringInside);
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(worker.get().ModalResult, static_cast<int>(TBrokenNameResult::Skip));
    EXPECT_FALSE(relay.Answering());
}

TEST(BrokenNameRelay, AQuestionArrivingWhileHeldIsShownAfterRelease)
{
    TTaskQueue queue;
    int shown = 0;
    TBrokenNameRelay relay(queue.Poster(), [&](const std::string&) {
        ++shown;
        return Renamed("X");
    });
    relay.Hold();
    auto worker = std::async(std::launch::async, [&] { return relay.Ask("?ILE.TXT"); });
    // The task arrives while the owner asks its own question.
    queue.RunPending(2s);
    queue.RunPending(20ms);
    EXPECT_EQ(shown, 0);
    EXPECT_NE(worker.wait_for(0s), std::future_status::ready);
    relay.Release();
    Serve(queue, [&] { return worker.wait_for(0s) == std::future_status::ready; });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(worker.get().NewName, "X");
}

TEST(BrokenNameRelay, ATaskRunAfterTheRelayIsGoneDoesNothing)
{
    TTaskQueue queue;
    int shown = 0;
    std::atomic<int> posted{0};
    std::future<TBrokenNameAnswer> worker;
    {
        TBrokenNameRelay relay(CountingPoster(queue, posted), [&](const std::string&) {
            ++shown;
            return Renamed("X");
        });
        worker = std::async(std::launch::async, [&] { return relay.Ask("?ILE.TXT"); });
        WaitFor(posted, 1);
    }
    EXPECT_EQ(worker.get().ModalResult, static_cast<int>(TBrokenNameResult::Skip));
    queue.RunPending(20ms);
    EXPECT_EQ(shown, 0);
}

// A real recovery of the FAT reference image (every name there is broken):
// the stop comes while the worker waits for the first answer.
TEST(BrokenNameRelay, AStopWhileTheRecoveryWaitsForAnAnswerEndsTheJob)
{
    auto volume = recovertest::Analyse(testdata::ReferenceFatImage());
    ASSERT_TRUE(volume);
    const std::string target = testdata::MakeTempDir("relay-stop");
    TTaskQueue queue;
    std::atomic<int> questions{0};
    TBrokenNameRelay relay(queue.Poster(), [&](const std::string&) {
        ++questions;
        return Renamed("never.dat");
    });
    // Asked, but nobody on the owner's thread has looked yet.
    class CountingRelay final : public TBrokenNameQuestion {
    public:
        CountingRelay(TBrokenNameRelay& relay, std::atomic<bool>& asked) : relay_(relay), asked_(asked) {}
        TBrokenNameAnswer Ask(const std::string& name) override
        {
            asked_ = true;
            return relay_.Ask(name);
        }

    private:
        TBrokenNameRelay& relay_;
        std::atomic<bool>& asked_;
    };
    std::atomic<bool> asked{false};
    CountingRelay question(relay, asked);
    recovertest::RecordingSink sink;
    TRecoveryJob job = recovertest::AllTopLevelJob(*volume, target, true);
    job.Analysis = volume->analysis;
    TThreadRecover thread(std::move(job), sink, question);
    thread.Start();
    while (!asked)
        std::this_thread::sleep_for(1ms);
    // What the window's Stop does: cancel the question, then wait for the thread.
    thread.RequestStop();
    relay.Cancel();
    thread.Stop();
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(sink.done.load(), 0) << "a stopped job does not report its end";
    queue.RunPending(20ms);
    EXPECT_EQ(questions.load(), 0);
    EXPECT_TRUE(sink.written.empty());
    std::filesystem::remove_all(target);
}
