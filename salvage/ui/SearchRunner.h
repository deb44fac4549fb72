#pragma once
// One analysis run for a window: the search worker's reports batched and
// applied to the model on the owner's thread, in order; a stop that applies
// everything the worker had reported; progress straight from the worker.

#include "salvage/search/Analysis.h"
#include "salvage/search/BatchingSink.h"
#include "salvage/search/FoundFileModel.h"
#include "salvage/search/ModelSink.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace salvage::ui {

class TSearchRunner {
public:
    // Runs a task later on the owner's thread, tasks in the order posted.
    using PostFn = std::function<void(std::function<void()>)>;
    struct Events {
        std::function<void(int)> Progress;  // worker thread
        std::function<void()> Done;          // owner thread: the search ended by itself
        std::function<void()> BatchApplied;  // owner thread
    };

    TSearchRunner(TFoundFileModel& model, PostFn post, Events events);
    TSearchRunner(const TSearchRunner&) = delete;
    TSearchRunner& operator=(const TSearchRunner&) = delete;
    ~TSearchRunner();

    // Clears the model and starts the search. False with a message when the
    // volume cannot be searched.
    bool Start(std::shared_ptr<TAnalysis> analysis, const TAnalysisOptions& options, std::string& error);
    // Stops the worker, waits for it and applies every report it had made.
    // Done is not called.
    void Stop();
    void Suspend();
    void Resume();
    [[nodiscard]] bool Running() const noexcept { return worker_ != nullptr; }

private:
    void Drain();
    void Finish();

    TFoundFileModel& model_;
    PostFn post_;
    Events events_;
    TModelSink modelSink_;
    std::shared_ptr<TAnalysis> analysis_;
    std::unique_ptr<TBatchingSink> batching_;
    std::unique_ptr<TWorkerThread> worker_;

    std::mutex mutex_;
    std::deque<TReportBatch> queue_;
    // Tasks of an earlier run find a newer generation and do nothing.
    std::shared_ptr<std::atomic<unsigned>> generation_ = std::make_shared<std::atomic<unsigned>>(0);
};

} // namespace salvage::ui
