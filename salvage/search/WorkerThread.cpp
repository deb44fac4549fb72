#include "salvage/search/WorkerThread.h"

namespace salvage {

TWorkerThread::~TWorkerThread()
{
    // Derived classes stop the thread first; this only catches a forgotten Stop().
    Stop();
}

void TWorkerThread::Start()
{
    if (thread_.joinable() || finished_)
        return;
    thread_ = std::thread([this] {
        Execute();
        finished_.store(true, std::memory_order_release);
    });
}

void TWorkerThread::RequestStop()
{
    {
        std::lock_guard lock(mutex_);
        stop_.store(true, std::memory_order_release);
    }
    resumed_.notify_all();
    StopRequestedHook();
}

void TWorkerThread::Stop()
{
    RequestStop();
    Wait();
}

void TWorkerThread::Wait()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TWorkerThread::Suspend()
{
    std::lock_guard lock(mutex_);
    suspended_.store(true, std::memory_order_release);
}

void TWorkerThread::Resume()
{
    {
        std::lock_guard lock(mutex_);
        suspended_.store(false, std::memory_order_release);
    }
    resumed_.notify_all();
}

bool TWorkerThread::Terminated()
{
    // Fast path: neither suspended nor stopped costs two atomic loads.
    if (!suspended_.load(std::memory_order_acquire))
        return stop_.load(std::memory_order_acquire);
    std::unique_lock lock(mutex_);
    resumed_.wait(lock, [this] { return !suspended_.load(std::memory_order_acquire) || stop_.load(std::memory_order_acquire); });
    return stop_.load(std::memory_order_acquire);
}

} // namespace salvage
