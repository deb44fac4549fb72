#include "salvage/search/BatchingSink.h"

#include <algorithm>

namespace salvage {

namespace {

void ReplayOne(const TSearchReport& r, TSearchSink& target)
{
    switch (r.kind) {
    case TSearchReport::Kind::FatDir: target.FatDirFound(r.info, r.parent, r.self); break;
    case TSearchReport::Kind::FatFile: target.FatFileFound(r.info, r.parent); break;
    case TSearchReport::Kind::NtfsDir: target.NtfsDirFound(r.info); break;
    case TSearchReport::Kind::NtfsFile: target.NtfsFileFound(r.info); break;
    case TSearchReport::Kind::Failed: target.Failed(r.info.Name); break;
    case TSearchReport::Kind::Done: target.Done(); break;
    }
}

} // namespace

void ReplayReports(const TReportBatch& batch, TSearchSink& target)
{
    for (const TSearchReport& r : batch)
        ReplayOne(r, target);
}

TBatchingSink::TBatchingSink(Consumer consumer, ProgressFn progress, std::size_t maxReports,
                             std::chrono::milliseconds interval)
    : consumer_(std::move(consumer)),
      progress_(std::move(progress)),
      maxReports_(std::max<std::size_t>(maxReports, 1)),
      interval_(interval)
{
    pending_.reserve(std::min<std::size_t>(maxReports_, kDefaultBatchSize));
    timer_ = std::thread([this] { TimerLoop(); });
}

TBatchingSink::~TBatchingSink()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    timer_.join();
}

void TBatchingSink::FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self)
{
    Add({TSearchReport::Kind::FatDir, parent, self, dir}, false);
}

void TBatchingSink::FatFileFound(const TFileInfo& file, DirToken folder)
{
    Add({TSearchReport::Kind::FatFile, folder, kNoDir, file}, false);
}

void TBatchingSink::TakeFatFile(TFileInfo&& file, DirToken folder)
{
    Add({TSearchReport::Kind::FatFile, folder, kNoDir, std::move(file)}, false);
}

void TBatchingSink::NtfsDirFound(const TFileInfo& dir)
{
    Add({TSearchReport::Kind::NtfsDir, kNoDir, kNoDir, dir}, false);
}

void TBatchingSink::NtfsFileFound(const TFileInfo& file)
{
    Add({TSearchReport::Kind::NtfsFile, kNoDir, kNoDir, file}, false);
}

void TBatchingSink::Progress(int percent)
{
    if (progress_)
        progress_(percent);
}

void TBatchingSink::Failed(const std::string& message)
{
    TFileInfo info;
    info.Name = message;
    Add({TSearchReport::Kind::Failed, kNoDir, kNoDir, std::move(info)}, true);
}

void TBatchingSink::Done()
{
    Add({TSearchReport::Kind::Done, kNoDir, kNoDir, {}}, true);
}

void TBatchingSink::Flush()
{
    std::lock_guard lock(mutex_);
    Deliver();
}

void TBatchingSink::Add(TSearchReport&& report, bool deliverNow)
{
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = pending_.empty();
        if (first)
            oldest_ = std::chrono::steady_clock::now();
        pending_.push_back(std::move(report));
        if (deliverNow || pending_.size() >= maxReports_) {
            Deliver();
            return;
        }
    }
    if (first)
        wake_.notify_one();  // the timer now has a deadline to keep
}

void TBatchingSink::Deliver()
{
    if (pending_.empty())
        return;
    TReportBatch batch;
    batch.reserve(std::min<std::size_t>(maxReports_, kDefaultBatchSize));
    batch.swap(pending_);
    // Called under the lock, so batches arrive in order whoever delivers them.
    if (consumer_)
        consumer_(std::move(batch));
}

void TBatchingSink::TimerLoop()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (pending_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const auto due = oldest_ + interval_;
        if (std::chrono::steady_clock::now() >= due) {
            Deliver();
            continue;
        }
        wake_.wait_until(lock, due);
    }
}

} // namespace salvage
