#pragma once
// A worker that runs Execute() on a thread of its own and can be stopped and
// suspended cooperatively: Execute() calls Terminated() between items, which
// waits while the worker is suspended and says whether a stop was requested.
//
// A derived class must call Stop() in its own destructor, so the thread has
// ended before the derived members it uses are destroyed.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace salvage {

class TWorkerThread {
public:
    TWorkerThread() = default;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;
    virtual ~TWorkerThread();

    // Starts Execute() on a new thread. A worker runs once.
    void Start();
    // Requests the stop and returns at once.
    void RequestStop();
    // Requests the stop and returns only after the thread has ended.
    void Stop();
    // Waits until the thread has ended by itself.
    void Wait();
    // Holds the worker at its next Terminated() call until Resume().
    void Suspend();
    void Resume();

    // Keeps something the worker uses (a lease on a reader) until the worker
    // is destroyed, which is after its thread has ended.
    void Hold(std::shared_ptr<void> resource) { held_.push_back(std::move(resource)); }

    [[nodiscard]] bool StopRequested() const noexcept { return stop_.load(std::memory_order_acquire); }
    // True once Execute() has returned.
    [[nodiscard]] bool Finished() const noexcept { return finished_.load(std::memory_order_acquire); }

protected:
    // Called on the worker thread between items: blocks while suspended, then
    // tells whether the worker must end.
    [[nodiscard]] bool Terminated();

    virtual void Execute() = 0;

    // Called by RequestStop() (on the thread that asks, after the request
    // is set): a worker that drives another worker passes the stop on here.
    virtual void StopRequestedHook() noexcept {}

private:
    std::vector<std::shared_ptr<void>> held_;  // released after thread_ has been joined
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;
    std::condition_variable resumed_;
    std::atomic<bool> suspended_{false};
};

} // namespace salvage
