#pragma once
// A broken-name question asked on a recovery's thread and answered on its
// owner's thread (the desktop's main thread, where the dialog lives). Ask
// posts the question there and blocks until the answer comes back.
//
// A stop must never wait for a worker that waits for an answer: Cancel, on
// the owner's thread before the stop waits for the thread, answers the
// question that waits (and every later one of the job) with "Skip" and
// closes the one being shown through `dismiss`. A question that was posted
// but not yet shown when Cancel came is never shown.
//
// The owner may Hold the questions while it asks something else (the close
// question): one that arrives meanwhile is shown after Release.

#include "salvage/recover/BrokenName.h"

#include <functional>
#include <memory>
#include <string>

namespace salvage {

class TBrokenNameRelay final : public TBrokenNameQuestion {
public:
    using Task = std::function<void()>;
    // Runs a task later on the owner's thread. Called from the worker's thread.
    using Post = std::function<void(Task)>;
    // Asks the user, on the owner's thread (shows the dialog and waits for it).
    using Answer = std::function<TBrokenNameAnswer(const std::string& brokenName)>;
    // Closes the question being answered, as a skip (on the owner's thread).
    using Dismiss = std::function<void()>;

    TBrokenNameRelay(Post post, Answer answer, Dismiss dismiss = {});
    TBrokenNameRelay(const TBrokenNameRelay&) = delete;
    TBrokenNameRelay& operator=(const TBrokenNameRelay&) = delete;
    // Cancels: a worker still asking gets "Skip".
    ~TBrokenNameRelay() override;

    // On the worker's thread: waits for the owner's answer ("Skip" once cancelled).
    [[nodiscard]] TBrokenNameAnswer Ask(const std::string& brokenName) override;

    // On the owner's thread.
    void Cancel();
    // Ready for a new job: questions are asked again.
    void Reset();
    void Hold();
    void Release();
    // A question is being answered now (its dialog is open).
    [[nodiscard]] bool Answering() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace salvage
