#include "salvage/search/SearchDriver.h"

#include "salvage/search/FAT32Search.h"

#include <deque>
#include <mutex>
#include <utility>

namespace salvage {

// Batches handed over by the worker's threads, waiting for the owner's
// thread. Posted tasks hold it, so a task that runs after the driver is gone
// finds no owner and does nothing.
struct TSearchDriver::Inbox {
    std::mutex mutex;
    std::deque<TReportBatch> batches;
    bool wakePosted = false;         // a task that will drain the batches is on its way
    TSearchDriver* owner = nullptr;  // read and written on the owner's thread only
};

TSearchDriver::TSearchDriver(TFoundFileModel& model, Post post, TEvents events, std::size_t batchSize,
                             std::chrono::milliseconds interval)
    : model_(model),
      post_(std::move(post)),
      events_(std::move(events)),
      batchSize_(batchSize),
      interval_(interval),
      inbox_(std::make_shared<Inbox>()),
      modelSink_(
          model_, {}, [this] { doneArrived_ = true; },
          [this](const std::string& message) { failures_.push_back(message); })
{
    inbox_->owner = this;
}

TSearchDriver::~TSearchDriver()
{
    Stop();
    inbox_->owner = nullptr;
}

bool TSearchDriver::Start(std::shared_ptr<TAnalysis> analysis, const TAnalysisOptions& options, std::string& error)
{
    if (worker_) {
        error = kReaderBusy;
        return false;
    }
    if (!analysis) {
        error = "No volume has been opened.";
        return false;
    }
    model_.Clear();
    modelSink_.Reset();
    doneArrived_ = false;
    filterBuilt_ = false;
    failures_.clear();
    {
        std::lock_guard lock(inbox_->mutex);
        inbox_->batches.clear();
    }

    auto consumer = [inbox = inbox_, post = post_](TReportBatch&& batch) {
        bool wake = false;
        {
            std::lock_guard lock(inbox->mutex);
            inbox->batches.push_back(std::move(batch));
            wake = !std::exchange(inbox->wakePosted, true);
        }
        if (wake)
            post([inbox] {
                if (inbox->owner)
                    inbox->owner->ApplyArrived();
            });
    };
    batching_ = std::make_unique<TBatchingSink>(std::move(consumer), events_.Progress, batchSize_, interval_);
    worker_ = analysis->CreateSearch(*batching_, options, error);
    if (!worker_) {
        batching_.reset();
        return false;
    }
    analysis_ = std::move(analysis);
    options_ = options;
    ++run_;
    worker_->Start();
    return true;
}

void TSearchDriver::Stop()
{
    ++run_;  // a Done about to be told belongs to the search stopped now
    if (!worker_)
        return;
    worker_->Stop();
    batching_->Flush();
    DrainBatches();
    // A stopped search has no Done; failures that came before the stop are
    // still told, later, on the owner's thread.
    doneArrived_ = false;
    FinishWorker();
    BuildFilterTreeOnce();
    if (!failures_.empty())
        PostWake();
}

void TSearchDriver::Suspend()
{
    if (worker_)
        worker_->Suspend();
}

void TSearchDriver::Resume()
{
    if (worker_)
        worker_->Resume();
}

void TSearchDriver::ApplyArrived()
{
    if (applying_) {
        rerun_ = true;
        return;
    }
    applying_ = true;
    do {
        rerun_ = false;
        DrainBatches();
        FireEvents();
    } while (rerun_);
    applying_ = false;
}

void TSearchDriver::DrainBatches()
{
    for (;;) {
        TReportBatch batch;
        {
            std::lock_guard lock(inbox_->mutex);
            if (inbox_->batches.empty()) {
                inbox_->wakePosted = false;
                return;
            }
            batch = std::move(inbox_->batches.front());
            inbox_->batches.pop_front();
        }
        ReplayReports(batch, modelSink_);
        if (events_.BatchApplied)
            events_.BatchApplied();
    }
}

void TSearchDriver::FireEvents()
{
    std::vector<std::string> failures;
    failures.swap(failures_);
    const bool done = std::exchange(doneArrived_, false);
    if (done)
        FinishWorker();
    // Everything found: the filtered tree now, while a FAT worker still
    // places the deleted files' clusters.
    if (done || modelSink_.FoundAll())
        BuildFilterTreeOnce();
    if (done) {
        // Every FAT entry is known now: the conditions by where the deleted
        // files' clusters were placed (the walk knew only first clusters),
        // in both trees (the filtered one holds every deleted file).
        if (options_.EstimateCondition && analysis_ && analysis_->FatReader()) {
            std::vector<TFileInfo*> files = modelSink_.DeletedFatFiles();
            CollectDeletedFatFiles(model_.FilterTree(), files);
            ReviseFatConditions(files, *analysis_->FatReader(), options_.FatClusters);
        }
    }
    // A failure's message box runs the owner's event loop, where the user
    // may stop or start another search: then this Done is not told.
    const std::uint64_t run = run_;
    for (const std::string& message : failures)
        if (events_.Failed)
            events_.Failed(message);
    if (done && run == run_ && events_.Done)
        events_.Done();
}

void TSearchDriver::BuildFilterTreeOnce()
{
    if (std::exchange(filterBuilt_, true) || !options_.FilteredTree)
        return;
    model_.BuildFilterTree();
}

void TSearchDriver::FinishWorker()
{
    // The worker first: it reports to the batching sink until its thread ends.
    worker_.reset();
    if (batching_)
        batching_->Flush();
    batching_.reset();
    DrainBatches();
}

void TSearchDriver::PostWake()
{
    post_([inbox = inbox_] {
        if (inbox->owner)
            inbox->owner->ApplyArrived();
    });
}

} // namespace salvage
