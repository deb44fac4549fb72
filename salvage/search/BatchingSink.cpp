#include "salvage/search/BatchingSink.h"

#include <algorithm>

namespace salvage {

namespace {

void ReplayOne(const TReportBatch& batch, const TSearchReport& r, TSearchSink& target)
{
    switch (r.kind) {
    case TSearchReport::Kind::FatDir: target.FatDirFound(r.info, r.parent, r.self); break;
    case TSearchReport::Kind::FatFile: target.FatFileNamed(r.info, batch.NameOf(r), r.parent); break;
    case TSearchReport::Kind::NtfsDir: target.NtfsDirFound(r.info); break;
    case TSearchReport::Kind::NtfsFile: target.NtfsFileFound(r.info); break;
    case TSearchReport::Kind::Failed: target.Failed(r.info.Name); break;
    case TSearchReport::Kind::Done: target.Done(); break;
    }
}

} // namespace

void ReplayReports(const TReportBatch& batch, TSearchSink& target)
{
    for (const TSearchReport& r : batch.Reports)
        ReplayOne(batch, r, target);
}

TBatchingSink::TBatchingSink(Consumer consumer, ProgressFn progress, std::size_t maxReports,
                             std::chrono::milliseconds interval)
    : consumer_(std::move(consumer)),
      progress_(std::move(progress)),
      maxReports_(std::max<std::size_t>(maxReports, 1)),
      interval_(interval)
{
    Reserve(pending_);
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

template <class Fill>
void TBatchingSink::Add(bool deliverNow, Fill&& fill)
{
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = pending_.Reports.empty();
        if (first)
            oldest_ = std::chrono::steady_clock::now();
        // Filled in place: a record is copied once, into the batch.
        fill(pending_.Reports.emplace_back(), pending_.Names);
        if (deliverNow || pending_.Reports.size() >= maxReports_) {
            Deliver();
            return;
        }
    }
    if (first)
        wake_.notify_one();  // the timer now has a deadline to keep
}

void TBatchingSink::FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self)
{
    Add(false, [&](TSearchReport& r, std::string&) {
        r.kind = TSearchReport::Kind::FatDir;
        r.parent = parent;
        r.self = self;
        r.info = dir;
    });
}

void TBatchingSink::FatFileFound(const TFileInfo& file, DirToken folder)
{
    FatFileNamed(file, file.Name, folder);
}

void TBatchingSink::FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder)
{
    Add(false, [&](TSearchReport& r, std::string& names) {
        r.kind = TSearchReport::Kind::FatFile;
        r.parent = folder;
        r.info = file;
        // The record travels without a name of its own.
        if (!r.info.Name.empty())
            std::string().swap(r.info.Name);
        r.nameAt = static_cast<std::uint32_t>(names.size());
        r.nameLength = static_cast<std::uint32_t>(name.size());
        names.append(name.data(), name.size());
    });
}

void TBatchingSink::NtfsDirFound(const TFileInfo& dir)
{
    Add(false, [&](TSearchReport& r, std::string&) {
        r.kind = TSearchReport::Kind::NtfsDir;
        r.info = dir;
    });
}

void TBatchingSink::NtfsFileFound(const TFileInfo& file)
{
    Add(false, [&](TSearchReport& r, std::string&) {
        r.kind = TSearchReport::Kind::NtfsFile;
        r.info = file;
    });
}

void TBatchingSink::Progress(int percent)
{
    if (progress_)
        progress_(percent);
}

void TBatchingSink::Failed(const std::string& message)
{
    Add(true, [&](TSearchReport& r, std::string&) {
        r.kind = TSearchReport::Kind::Failed;
        r.info.Name = message;
    });
}

void TBatchingSink::Done()
{
    Add(true, [](TSearchReport& r, std::string&) { r.kind = TSearchReport::Kind::Done; });
}

void TBatchingSink::Flush()
{
    std::lock_guard lock(mutex_);
    Deliver();
}

void TBatchingSink::Reserve(TReportBatch& batch) const
{
    const std::size_t reports = std::min<std::size_t>(maxReports_, kDefaultBatchSize);
    batch.Reports.reserve(reports);
    batch.Names.reserve(reports * kNameBytesPerReport);
}

void TBatchingSink::Deliver()
{
    if (pending_.Reports.empty())
        return;
    TReportBatch batch;
    Reserve(batch);
    std::swap(batch, pending_);
    // Called under the lock, so batches arrive in order whoever delivers them.
    if (consumer_)
        consumer_(std::move(batch));
}

void TBatchingSink::TimerLoop()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (pending_.Reports.empty()) {
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
