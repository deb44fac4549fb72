#pragma once
// Runs the search of an analysis for an owner thread (a window's main thread,
// the command-line tool's thread) that owns the found-file model.
//
// The worker's reports are collected in batches (TBatchingSink) and handed
// to the owner's thread through `post`, in arrival order; there they are
// applied to the model, so the tree only ever changes on the owner's thread.
// Failure events and the end of the search reach the owner the same way,
// after the reports that came before them.
//
// The driver also finishes the results: it builds the filtered tree as soon
// as everything has been found (for FAT, while the worker still places the
// deleted files' clusters), and at the end revises the FAT conditions in both
// trees. When Done is told, or Stop returns, both trees are complete.
//
// Everything but the progress callback and `post` itself runs on the owner's
// thread, the one that calls Start and Stop.

#include "salvage/search/Analysis.h"
#include "salvage/search/BatchingSink.h"
#include "salvage/search/FoundFileModel.h"
#include "salvage/search/ModelSink.h"
#include "salvage/search/WorkerThread.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace salvage {

class TSearchDriver {
public:
    using Task = std::function<void()>;
    // Runs a task later on the owner's thread; tasks run in the order posted.
    // Called from the worker's threads.
    using Post = std::function<void(Task)>;

    struct TEvents {
        std::function<void(int percent)> Progress;             // on the worker's thread: only store it
        std::function<void()> Done;                            // the search ended by itself
        std::function<void(const std::string& message)> Failed; // the scan ended early; Done follows
        std::function<void()> BatchApplied;                    // after each batch applied to the model
    };

    TSearchDriver(TFoundFileModel& model, Post post, TEvents events,
                  std::size_t batchSize = TBatchingSink::kDefaultBatchSize,
                  std::chrono::milliseconds interval = TBatchingSink::kDefaultInterval);
    TSearchDriver(const TSearchDriver&) = delete;
    TSearchDriver& operator=(const TSearchDriver&) = delete;
    // Stops a running search first.
    ~TSearchDriver();

    // Clears the model and starts the analysis's search. False with a
    // message when a search runs already or the analysis's reader is busy.
    bool Start(std::shared_ptr<TAnalysis> analysis, const TAnalysisOptions& options, std::string& error);

    // Stops the search and returns once its thread has ended, every report it
    // made has been applied to the model and the filtered tree has been built
    // from them (the conditions are not revised). Done is not called (a Done the
    // worker sent just before is dropped too): the owner ends the search
    // itself. Nothing happens when no search runs.
    void Stop();

    // Holds the worker at its next item, and lets it go on.
    void Suspend();
    void Resume();

    // A search was started and has not ended (Done not yet applied, no Stop).
    [[nodiscard]] bool Running() const noexcept { return worker_ != nullptr; }
    // The analysis of the last search started (kept after it ended).
    [[nodiscard]] const std::shared_ptr<TAnalysis>& Analysis() const noexcept { return analysis_; }

private:
    struct Inbox;

    // Applies every batch that has arrived, then reports Failed/Done (and at
    // the end of the search frees the worker). Called again from inside an
    // event (a message box runs the owner's event loop), it only asks the
    // outer call to look again, so batches are applied in order.
    void ApplyArrived();
    void DrainBatches();
    void FireEvents();
    void FinishWorker();
    void BuildFilterTreeOnce();
    void PostWake();

    TFoundFileModel& model_;
    Post post_;
    TEvents events_;
    const std::size_t batchSize_;
    const std::chrono::milliseconds interval_;

    std::shared_ptr<Inbox> inbox_;
    TModelSink modelSink_;
    std::unique_ptr<TBatchingSink> batching_;
    std::unique_ptr<TWorkerThread> worker_;
    std::shared_ptr<TAnalysis> analysis_;
    TAnalysisOptions options_;
    bool applying_ = false;
    bool rerun_ = false;
    bool doneArrived_ = false;
    bool filterBuilt_ = false;  // for the search under way
    std::uint64_t run_ = 0;  // counts starts and stops
    std::vector<std::string> failures_;  // arrived in the current batch, reported after it
};

} // namespace salvage
