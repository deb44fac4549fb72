#include "salvage/search/BatchingSink.h"

#include <algorithm>

namespace salvage {

namespace {

void ReplayOne(const TReportBatch& batch, const TSearchReport& r, TSearchSink& target)
{
    switch (r.kind) {
    case TSearchReport::Kind::FatDir: target.FatDirFound(batch.Records[r.at], r.parent, r.self); break;
    case TSearchReport::Kind::FatFile: {
        const TFatFileReport& file = batch.FatFiles[r.at];
        target.FatFileNamed(TReportBatch::RecordOf(file), batch.NameOf(file), r.parent);
        break;
    }
    case TSearchReport::Kind::NtfsDir: target.NtfsDirFound(batch.Records[r.at]); break;
    case TSearchReport::Kind::NtfsFile: target.NtfsFileFound(batch.Records[r.at]); break;
    case TSearchReport::Kind::Failed: target.Failed(batch.Records[r.at].Name); break;
    case TSearchReport::Kind::AllFound: target.AllFound(); break;
    case TSearchReport::Kind::Done: target.Done(); break;
    }
}

} // namespace

TFileInfo TReportBatch::RecordOf(const TFatFileReport& file)
{
    TFileInfo record;
    record.FileRef = file.FileRef;
    record.ParentRef = file.ParentRef;
    record.Size = file.Size;
    record.Modified = file.Modified;
    record.Created = file.Created;
    record.Accessed = file.Accessed;
    record.Condition = file.Condition;
    record.Deleted = file.Deleted;
    record.FullRef = file.FullRef;
    record.StreamAt = file.StreamAt;
    record.Encrypted = file.Encrypted;
    record.Compressed = file.Compressed;
    record.FatEntry = file.FatEntry;
    return record;
}

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
    pending_.Reports.reserve(std::min<std::size_t>(maxReports_, kDefaultBatchSize));
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
void TBatchingSink::Add(TSearchReport::Kind kind, bool deliverNow, Fill&& fill)
{
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = pending_.Reports.empty();
        if (first)
            oldest_ = std::chrono::steady_clock::now();
        // Filled in place: what a report carries is copied once, into the batch.
        TSearchReport& report = pending_.Reports.emplace_back();
        report.kind = kind;
        fill(report, pending_);
        if (deliverNow || pending_.Reports.size() >= maxReports_) {
            Deliver();
            return;
        }
    }
    if (first)
        wake_.notify_one();  // the timer now has a deadline to keep
}

void TBatchingSink::AddRecord(TSearchReport::Kind kind, const TFileInfo& record, DirToken parent, DirToken self)
{
    const bool deliverNow = kind == TSearchReport::Kind::Failed;
    Add(kind, deliverNow, [&](TSearchReport& r, TReportBatch& batch) {
        r.parent = parent;
        r.self = self;
        r.at = static_cast<std::uint32_t>(batch.Records.size());
        batch.Records.push_back(record);
    });
}

void TBatchingSink::FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self)
{
    AddRecord(TSearchReport::Kind::FatDir, dir, parent, self);
}

void TBatchingSink::FatFileFound(const TFileInfo& file, DirToken folder)
{
    FatFileNamed(file, file.Name, folder);
}

void TBatchingSink::FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder)
{
    Add(TSearchReport::Kind::FatFile, false, [&](TSearchReport& r, TReportBatch& batch) {
        r.parent = folder;
        r.at = static_cast<std::uint32_t>(batch.FatFiles.size());
        TFatFileReport& f = batch.FatFiles.emplace_back();
        f.Size = file.Size;
        f.Modified = file.Modified;
        f.Created = file.Created;
        f.Accessed = file.Accessed;
        f.FullRef = file.FullRef;
        f.FileRef = file.FileRef;
        f.ParentRef = file.ParentRef;
        f.FatEntry = file.FatEntry;
        f.StreamAt = file.StreamAt;
        f.Condition = file.Condition;
        f.Deleted = file.Deleted;
        f.Encrypted = file.Encrypted;
        f.Compressed = file.Compressed;
        f.NameAt = static_cast<std::uint32_t>(batch.Names.size());
        f.NameLength = static_cast<std::uint32_t>(name.size());
        batch.Names.append(name.data(), name.size());
    });
}

void TBatchingSink::NtfsDirFound(const TFileInfo& dir)
{
    AddRecord(TSearchReport::Kind::NtfsDir, dir);
}

void TBatchingSink::NtfsFileFound(const TFileInfo& file)
{
    AddRecord(TSearchReport::Kind::NtfsFile, file);
}

void TBatchingSink::NtfsFound(std::span<const TNtfsFound> found)
{
    bool started = false;  // a batch was begun that the timer must now keep a deadline for
    {
        // One lock for the lot: a chunk of the MFT holds hundreds of records.
        std::lock_guard lock(mutex_);
        for (const TNtfsFound& f : found) {
            if (pending_.Reports.empty()) {
                oldest_ = std::chrono::steady_clock::now();
                started = true;
            }
            TSearchReport& report = pending_.Reports.emplace_back();
            report.kind = f.Directory ? TSearchReport::Kind::NtfsDir : TSearchReport::Kind::NtfsFile;
            report.at = static_cast<std::uint32_t>(pending_.Records.size());
            pending_.Records.push_back(f.Info);
            if (pending_.Reports.size() >= maxReports_)
                Deliver();
        }
        started = started && !pending_.Reports.empty();
    }
    if (started)
        wake_.notify_one();
}

void TBatchingSink::Progress(int percent)
{
    if (progress_)
        progress_(percent);
}

void TBatchingSink::Failed(const std::string& message)
{
    TFileInfo carrier;
    carrier.Name = message;
    AddRecord(TSearchReport::Kind::Failed, carrier);
}

void TBatchingSink::AllFound()
{
    // At once: the owner has work of its own to do while the search ends.
    Add(TSearchReport::Kind::AllFound, true, [](TSearchReport&, TReportBatch&) {});
}

void TBatchingSink::Done()
{
    Add(TSearchReport::Kind::Done, true, [](TSearchReport&, TReportBatch&) {});
}

void TBatchingSink::Flush()
{
    std::lock_guard lock(mutex_);
    Deliver();
}

void TBatchingSink::Reserve(TReportBatch& batch, const TReportBatch& like) const
{
    // Room for a batch like the last one: a FAT walk's batches are mostly
    // files and their names, an NTFS search's all records.
    batch.Reports.reserve(std::min<std::size_t>(maxReports_, kDefaultBatchSize));
    batch.FatFiles.reserve(like.FatFiles.size());
    batch.Records.reserve(like.Records.size());
    batch.Names.reserve(like.Names.size());
}

void TBatchingSink::Deliver()
{
    if (pending_.Reports.empty())
        return;
    TReportBatch batch;
    Reserve(batch, pending_);
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
