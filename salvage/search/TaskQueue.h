#pragma once
// A queue of tasks that one thread runs in the order they were posted, for
// owners without an event loop (the command-line tool, tests): any thread
// posts, the owner's thread runs them in RunUntil().

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace salvage {

class TTaskQueue {
public:
    using Task = std::function<void()>;

    TTaskQueue() : state_(std::make_shared<State>()) {}
    TTaskQueue(const TTaskQueue&) = delete;
    TTaskQueue& operator=(const TTaskQueue&) = delete;

    // Safe from any thread, also after the queue is gone (the task is dropped then).
    void Post(Task task) { Push(state_, std::move(task)); }
    // A function that posts to this queue, for TSearchDriver and the like.
    [[nodiscard]] std::function<void(Task)> Poster() const
    {
        return [weak = std::weak_ptr<State>(state_)](Task task) {
            if (auto state = weak.lock())
                Push(state, std::move(task));
        };
    }

    // Runs posted tasks on the calling thread, waiting for more, until
    // `finished` is true after a task (it is tested before the first wait too).
    void RunUntil(const std::function<bool()>& finished)
    {
        while (!finished()) {
            Task task;
            {
                std::unique_lock lock(state_->mutex);
                state_->posted.wait(lock, [this] { return !state_->tasks.empty(); });
                task = std::move(state_->tasks.front());
                state_->tasks.pop_front();
            }
            task();
        }
    }

    // Waits up to `wait` for a task, then runs the tasks queued by then.
    template <class Rep, class Period>
    void RunPending(std::chrono::duration<Rep, Period> wait)
    {
        std::deque<Task> taken;
        {
            std::unique_lock lock(state_->mutex);
            state_->posted.wait_for(lock, wait, [this] { return !state_->tasks.empty(); });
            taken.swap(state_->tasks);
        }
        for (Task& task : taken)
            task();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable posted;
        std::deque<Task> tasks;
    };

    static void Push(const std::shared_ptr<State>& state, Task task)
    {
        {
            std::lock_guard lock(state->mutex);
            state->tasks.push_back(std::move(task));
        }
        state->posted.notify_one();
    }

    std::shared_ptr<State> state_;
};

} // namespace salvage
