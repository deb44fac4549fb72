#pragma once
// Collects a worker's reports and hands them over in batches: when a batch
// holds maxReports reports, or when its oldest report has waited `interval`
// (a timer thread sees to that while the worker is busy reading). The
// windows post each batch to their main thread and replay it there into a
// TModelSink, which gives the same tree as applying every report at once.
//
// Progress is not batched: it goes straight to its callback, on the worker's
// thread. Failed and AllFound are delivered at once, in their place among the
// reports; Done travels as the last report of the last batch.

#include "salvage/search/SearchSink.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace salvage {

struct TSearchReport {
    enum class Kind : std::uint8_t { FatDir, FatFile, NtfsDir, NtfsFile, Failed, AllFound, Done };
    Kind kind = Kind::Done;
    DirToken parent = kNoDir;  // FatDir: its parent; FatFile: its folder
    DirToken self = kNoDir;    // FatDir: its own token
    // FatFile: its place in the batch's FatFiles; FatDir, NtfsDir, NtfsFile
    // and Failed: in Records (Failed: the message in the record's Name).
    std::uint32_t at = 0;
};

// A FAT file's record without its name, which stands in the batch's Names:
// the walk's commonest report, copied without a string.
struct TFatFileReport {
    std::uint64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    TDateTime Accessed = 0;
    std::uint64_t FullRef = 0;
    std::uint32_t FileRef = 0;
    std::uint32_t ParentRef = 0;
    std::uint32_t FatEntry = 0xFFFFFFFF;
    std::uint32_t NameAt = 0;
    std::uint32_t NameLength = 0;
    std::uint16_t StreamAt = 0;
    std::uint8_t Condition = kNotAssessed;
    bool Deleted = false;
    bool Encrypted = false;
    bool Compressed = false;
};

// Reports in order. The names of its FAT files stand one after another in
// Names, so that a batch of files costs a few allocations, not one per file.
struct TReportBatch {
    std::vector<TSearchReport> Reports;
    std::vector<TFatFileReport> FatFiles;
    std::vector<TFileInfo> Records;
    std::string Names;

    [[nodiscard]] std::string_view NameOf(const TFatFileReport& file) const noexcept
    {
        return std::string_view(Names).substr(file.NameAt, file.NameLength);
    }
    // A FAT file report as a record, without its name.
    [[nodiscard]] static TFileInfo RecordOf(const TFatFileReport& file);
};

// Applies a batch, in order, to another sink.
void ReplayReports(const TReportBatch& batch, TSearchSink& target);

class TBatchingSink : public TSearchSink {
public:
    using Consumer = std::function<void(TReportBatch&& batch)>;
    using ProgressFn = std::function<void(int percent)>;

    static constexpr std::size_t kDefaultBatchSize = 4096;
    static constexpr std::chrono::milliseconds kDefaultInterval{20};

    // The consumer is called on the worker's thread or on the sink's timer
    // thread, one batch at a time and in order; it must not call back into
    // this sink and should only hand the batch on (post it to a queue).
    explicit TBatchingSink(Consumer consumer, ProgressFn progress = {},
                           std::size_t maxReports = kDefaultBatchSize,
                           std::chrono::milliseconds interval = kDefaultInterval);
    TBatchingSink(const TBatchingSink&) = delete;
    TBatchingSink& operator=(const TBatchingSink&) = delete;
    // Stops the timer. Reports still pending are dropped: call Flush() once
    // the worker has ended (also after a stop) to hand them over.
    ~TBatchingSink() override;

    void FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self) override;
    void FatFileFound(const TFileInfo& file, DirToken folder) override;
    void FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder) override;
    void NtfsDirFound(const TFileInfo& dir) override;
    void NtfsFileFound(const TFileInfo& file) override;
    void NtfsFound(std::span<const TNtfsFound> found) override;
    void Progress(int percent) override;
    void Failed(const std::string& message) override;
    void AllFound() override;
    void Done() override;

    // Hands over whatever is pending now.
    void Flush();

private:
    // Appends a report of `kind` that `fill(report, batch)` completes in
    // place (adding what it carries to the batch's other lists).
    template <class Fill>
    void Add(TSearchReport::Kind kind, bool deliverNow, Fill&& fill);
    void AddRecord(TSearchReport::Kind kind, const TFileInfo& record, DirToken parent = kNoDir,
                   DirToken self = kNoDir);
    void Deliver();  // mutex_ held
    void Reserve(TReportBatch& batch, const TReportBatch& like) const;
    void TimerLoop();

    Consumer consumer_;
    ProgressFn progress_;
    const std::size_t maxReports_;
    const std::chrono::milliseconds interval_;

    std::mutex mutex_;
    std::condition_variable wake_;
    TReportBatch pending_;
    std::chrono::steady_clock::time_point oldest_;
    bool stopping_ = false;
    std::thread timer_;
};

} // namespace salvage
