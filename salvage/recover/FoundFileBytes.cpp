#include "salvage/recover/FoundFileBytes.h"

#include "platform/TargetFolder.h"
#include "salvage/recover/RecoveryJob.h"
#include "salvage/recover/ThreadRecover.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace salvage {

namespace {

// A file that grows in memory, up to a limit it refuses to pass.
class TMemoryFile final : public platform::OutputFile {
public:
    TMemoryFile(std::vector<std::uint8_t>& into, std::uint64_t limit, std::string name) : into_(into), limit_(limit)
    {
        name_ = name;
        path_ = std::move(name);
    }
    bool Write(std::span<const std::uint8_t> bytes) override
    {
        const std::uint64_t room = limit_ - std::min<std::uint64_t>(limit_, into_.size());
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(room, bytes.size()));
        into_.insert(into_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        size_ += n;
        if (n < bytes.size()) {
            error_ = "The bytes read do not fit in memory.";
            return false;
        }
        return true;
    }
    bool Close() override { return true; }
    bool Discard() override
    {
        into_.clear();
        return true;
    }

private:
    std::vector<std::uint8_t>& into_;
    std::uint64_t limit_;
};

// The target of a read into memory: one file, no folders, no times.
class TMemoryFolder final : public platform::TargetFolder {
public:
    TMemoryFolder(std::vector<std::uint8_t>& into, std::uint64_t limit) : into_(into), limit_(limit) {}

    std::unique_ptr<platform::TargetFolder> Subfolder(std::string_view /*name*/, std::string& error) override
    {
        error = "Only a file is read into memory.";
        return nullptr;
    }
    std::unique_ptr<platform::OutputFile> CreateOutputFile(std::string_view name, std::string& error) override
    {
        if (used_) {
            error = "Only one file is read into memory.";
            return nullptr;
        }
        used_ = true;
        return std::make_unique<TMemoryFile>(into_, limit_, std::string(name));
    }
    bool SetTimes(const platform::FileTimes& /*times*/, std::string& /*error*/) override { return true; }

private:
    std::vector<std::uint8_t>& into_;
    std::uint64_t limit_;
    bool used_ = false;
};

} // namespace

// What the recovery reports about the one file.
class TFoundFileRead::TSink final : public TRecoverySink {
public:
    // The name does not matter in memory: a broken one is not asked about.
    TFixedBrokenNameAnswer Question{TFixedBrokenNameAnswer::Mode::ReplaceWithUnderscore};
    std::function<void()> Ended;

    void Done(const TRecoverySummary& /*summary*/) override
    {
        if (Ended)
            Ended();
    }
    void FileWritten(const TRecoveredFile& file) override
    {
        std::lock_guard lock(mutex_);
        written_ = true;
        if (file.Partial)
            problem_ = file.Message;
    }
    void FileSkipped(const std::string& /*name*/, TSkipReason reason) override
    {
        std::lock_guard lock(mutex_);
        switch (reason) {
        case TSkipReason::RecordReused:
            problem_ = "The file's MFT record has been reused by another file: its data can no longer be found.";
            break;
        case TSkipReason::NoData: problem_ = "The file's MFT record holds no data to read."; break;
        case TSkipReason::BrokenName: problem_ = "The file was skipped."; break;
        }
    }
    void FileFailed(const TRecoveryFailure& failure) override
    {
        std::lock_guard lock(mutex_);
        if (problem_.empty())
            problem_ = failure.Message;
    }
    void FatRunsPlaced(const std::string& /*path*/, const TFatPlacement& placement) override
    {
        std::lock_guard lock(mutex_);
        placement_ = placement;
    }

    // Called once the job has ended.
    void Fill(TFoundFileBytes& out, const TRecoverySummary& summary)
    {
        std::lock_guard lock(mutex_);
        out.Read = written_;
        out.Problem = !summary.OpenError.empty() ? summary.OpenError : problem_;
        if (placement_) {
            if (placement_->Ambiguous)
                out.Trust = TBytesTrust::Ambiguous;
            else if (placement_->Runs.size() > 1)
                out.Trust = TBytesTrust::Gapped;
            else
                out.Trust = TBytesTrust::OneRun;
        }
    }

private:
    std::mutex mutex_;
    bool written_ = false;
    std::string problem_;
    std::optional<TFatPlacement> placement_;
};

TFoundFileRead::TFoundFileRead(std::shared_ptr<TAnalysis> analysis, const TFileLocation& location,
                               std::uint64_t maxBytes, TFatClusterRule rule)
    : sink_(std::make_unique<TSink>())
{
    const TFileInfo* file = location.File();
    missing_ = file == nullptr;
    const std::uint64_t size = file ? file->Size : 0;
    out_.FileSize = size;
    out_.Cut = maxBytes != 0 && size > maxBytes;
    limit_ = maxBytes != 0 ? maxBytes : size;
    // What the recovery may claim is bounded by the found size as well: a
    // damaged record cannot make it reserve more.
    out_.Bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(limit_, kPreviewBytes)));

    TRecoveryJob job;
    if (file)
        job.SelectedFiles.push_back(location);
    job.Analysis = std::move(analysis);
    job.MaxFileBytes = limit_;
    job.FatClusters = rule;
    // A stopped read is thrown away: it need not finish the file.
    job.StopInsideFatFiles = true;
    job.OpenTarget = [this](std::string& /*error*/) -> std::unique_ptr<platform::TargetFolder> {
        return std::make_unique<TMemoryFolder>(out_.Bytes, limit_);
    };
    thread_ = std::make_unique<TThreadRecover>(std::move(job), *sink_, sink_->Question);
}

TFoundFileRead::~TFoundFileRead()
{
    thread_.reset();
}

void TFoundFileRead::Start(std::function<void()> ended)
{
    sink_->Ended = std::move(ended);
    thread_->Start();
}

void TFoundFileRead::RequestStop()
{
    thread_->RequestStop();
}

void TFoundFileRead::Stop()
{
    thread_->Stop();
}

void TFoundFileRead::Wait()
{
    thread_->Wait();
}

void TFoundFileRead::Suspend()
{
    thread_->Suspend();
}

void TFoundFileRead::Resume()
{
    thread_->Resume();
}

TFoundFileBytes TFoundFileRead::Take()
{
    TFoundFileBytes out = std::move(out_);
    out_ = TFoundFileBytes{};
    if (missing_) {
        out.Bytes.clear();
        out.Problem = "The file is no longer among the results.";
        return out;
    }
    sink_->Fill(out, thread_->Summary());
    if (!out.Read)
        out.Bytes.clear();
    return out;
}

TFoundFileBytes ReadFoundFile(const std::shared_ptr<TAnalysis>& analysis, const TFileLocation& location,
                              std::uint64_t maxBytes, TFatClusterRule rule)
{
    TFoundFileRead read(analysis, location, maxBytes, rule);
    read.Start();
    read.Wait();
    return read.Take();
}

} // namespace salvage
