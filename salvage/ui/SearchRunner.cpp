#include "salvage/ui/SearchRunner.h"

namespace salvage::ui {

TSearchRunner::TSearchRunner(TFoundFileModel& model, PostFn post, Events events)
    : model_(model), post_(std::move(post)), events_(std::move(events)), modelSink_(model)
{
}

TSearchRunner::~TSearchRunner()
{
    Stop();
}

bool TSearchRunner::Start(std::shared_ptr<TAnalysis> analysis, const TAnalysisOptions& options, std::string& error)
{
    Stop();
    model_.Clear();
    modelSink_.Reset();
    const unsigned generation = ++*generation_;
    auto alive = generation_;
    batching_ = std::make_unique<TBatchingSink>(
        [this, alive, generation](TReportBatch&& batch) {
            {
                std::lock_guard lock(mutex_);
                queue_.push_back(std::move(batch));
            }
            post_([this, alive, generation] {
                if (alive->load() == generation)
                    Drain();
            });
        },
        events_.Progress);
    worker_ = analysis->CreateSearch(*batching_, options, error);
    if (!worker_) {
        batching_.reset();
        return false;
    }
    analysis_ = std::move(analysis);
    worker_->Start();
    return true;
}

void TSearchRunner::Drain()
{
    for (;;) {
        TReportBatch batch;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty())
                return;
            batch = std::move(queue_.front());
            queue_.pop_front();
        }
        ReplayReports(batch, modelSink_);
        if (events_.BatchApplied)
            events_.BatchApplied();
        if (modelSink_.Completed()) {
            Finish();
            if (events_.Done)
                events_.Done();
            return;
        }
    }
}

void TSearchRunner::Finish()
{
    ++*generation_;
    if (worker_)
        worker_->Stop();
    worker_.reset();
    batching_.reset();
    std::lock_guard lock(mutex_);
    queue_.clear();
}

void TSearchRunner::Stop()
{
    if (!worker_)
        return;
    worker_->Stop();
    batching_->Flush();
    // Apply what the worker reported, here and now, then forget the run.
    const unsigned generation = generation_->load();
    for (;;) {
        TReportBatch batch;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty())
                break;
            batch = std::move(queue_.front());
            queue_.pop_front();
        }
        ReplayReports(batch, modelSink_);
    }
    if (generation == generation_->load())
        Finish();
}

void TSearchRunner::Suspend()
{
    if (worker_)
        worker_->Suspend();
}

void TSearchRunner::Resume()
{
    if (worker_)
        worker_->Resume();
}

} // namespace salvage::ui
