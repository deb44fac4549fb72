#include "salvage/recover/BrokenNameRelay.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace salvage {

namespace {

TBrokenNameAnswer SkipAnswer(const std::string& brokenName)
{
    TBrokenNameAnswer answer;
    answer.ModalResult = static_cast<int>(TBrokenNameResult::Skip);
    answer.OldName = brokenName;
    answer.NewName = brokenName;
    return answer;
}

} // namespace

// Shared by the relay and the tasks it posted, which may run after it is gone.
struct TBrokenNameRelay::State {
    // One question on its way; `answered` under the mutex.
    struct Ticket {
        std::string Name;
        bool Answered = false;
        TBrokenNameAnswer Reply;
    };

    // Fixed at creation; `answer` and `dismiss` are cleared (on the owner's
    // thread) when the relay goes.
    Post post;
    Answer answer;
    Dismiss dismiss;

    std::mutex mutex;
    std::condition_variable answered;
    bool cancelled = false;
    std::shared_ptr<Ticket> waiting;  // the question a worker waits for

    // Owner's thread only.
    bool held = false;
    bool answering = false;
    std::deque<std::shared_ptr<Ticket>> deferred;

    void Deliver(const std::shared_ptr<Ticket>& ticket, TBrokenNameAnswer reply)
    {
        {
            std::lock_guard lock(mutex);
            if (ticket->Answered)
                return;  // cancelled meanwhile: the worker has its "Skip"
            ticket->Answered = true;
            ticket->Reply = std::move(reply);
            if (waiting == ticket)
                waiting.reset();
        }
        answered.notify_all();
    }

    // The posted task, on the owner's thread.
    static void Run(const std::shared_ptr<State>& self, const std::shared_ptr<Ticket>& ticket)
    {
        {
            std::lock_guard lock(self->mutex);
            if (ticket->Answered)
                return;
        }
        if (self->held || self->answering || !self->answer) {
            // Asked while the owner asks something else (or shows another
            // question from inside its dialog): after that.
            if (self->answer)
                self->deferred.push_back(ticket);
            return;
        }
        // The dialog runs an event loop: the relay may go, or Cancel come,
        // before it returns. The copy keeps what it calls alive.
        const Answer answer = self->answer;
        self->answering = true;
        TBrokenNameAnswer reply = answer(ticket->Name);
        self->answering = false;
        self->Deliver(ticket, std::move(reply));
        self->PostDeferred(self);
    }

    void PostDeferred(const std::shared_ptr<State>& self)
    {
        if (held)
            return;
        while (!deferred.empty()) {
            std::shared_ptr<Ticket> ticket = std::move(deferred.front());
            deferred.pop_front();
            post([self, ticket] { Run(self, ticket); });
        }
    }
};

TBrokenNameRelay::TBrokenNameRelay(Post post, Answer answer, Dismiss dismiss) : state_(std::make_shared<State>())
{
    state_->post = std::move(post);
    state_->answer = std::move(answer);
    state_->dismiss = std::move(dismiss);
}

TBrokenNameRelay::~TBrokenNameRelay()
{
    Cancel();
    state_->answer = nullptr;
    state_->dismiss = nullptr;
    state_->deferred.clear();
}

TBrokenNameAnswer TBrokenNameRelay::Ask(const std::string& brokenName)
{
    auto ticket = std::make_shared<State::Ticket>();
    ticket->Name = brokenName;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->cancelled)
            return SkipAnswer(brokenName);
        state_->waiting = ticket;
    }
    state_->post([self = state_, ticket] { State::Run(self, ticket); });
    std::unique_lock lock(state_->mutex);
    state_->answered.wait(lock, [&] { return ticket->Answered; });
    return ticket->Reply;
}

void TBrokenNameRelay::Cancel()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->cancelled = true;
        if (state_->waiting) {
            state_->waiting->Answered = true;
            state_->waiting->Reply = SkipAnswer(state_->waiting->Name);
            state_->waiting.reset();
        }
    }
    state_->answered.notify_all();
    state_->deferred.clear();
    if (state_->answering && state_->dismiss)
        state_->dismiss();
}

void TBrokenNameRelay::Reset()
{
    std::lock_guard lock(state_->mutex);
    state_->cancelled = false;
}

void TBrokenNameRelay::Hold()
{
    state_->held = true;
}

void TBrokenNameRelay::Release()
{
    state_->held = false;
    state_->PostDeferred(state_);
}

bool TBrokenNameRelay::Answering() const
{
    return state_->answering;
}

} // namespace salvage
