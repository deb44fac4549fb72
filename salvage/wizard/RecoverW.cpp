#include "salvage/wizard/RecoverW.h"

#include "platform/TargetFolder.h"
#include "salvage/recover/ThreadRecover.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/ResultsTree.h"

#include <algorithm>
#include <optional>

namespace salvage {

namespace {

inline constexpr const char* kNotMounted = "The volume is not mounted: its original folders cannot be reached.";
inline constexpr const char* kNotOpened = "The volume could not be opened.";

// The main recovery of one file, run on the wizard's worker thread.
class TFileJob final : public TThreadRecover {
public:
    using TThreadRecover::TThreadRecover;
    void RunHere() { Execute(); }
};

// Hands the progress of the file under way on and keeps why it was skipped.
class TFileJobSink final : public TRecoverySink {
public:
    explicit TFileJobSink(TRecoverWSink& sink) : sink_(sink) {}
    void Progress(int percent) override { sink_.Progress(percent); }
    void FileSkipped(const std::string& /*name*/, TSkipReason reason) override { Reason = reason; Skipped = true; }

    bool Skipped = false;
    TSkipReason Reason = TSkipReason::BrokenName;

private:
    TRecoverWSink& sink_;
};

std::string SkipMessage(TSkipReason reason)
{
    switch (reason) {
    case TSkipReason::BrokenName: return "Skipped: its name is not known.";
    case TSkipReason::RecordReused: return "Its MFT record no longer holds the file.";
    case TSkipReason::NoData: return "Its MFT record holds no data.";
    }
    return {};
}

} // namespace

// The run's own answers to the broken-name question: "Skip All" and
// "Rename All" hold for every later file of the run, though each file is
// written by a job of its own.
class TRecoverW::TRunQuestion final : public TBrokenNameQuestion {
public:
    TRunQuestion(TBrokenNameQuestion& question, TRecoverWSink& sink) : question_(question), sink_(sink) {}

    TBrokenNameAnswer Ask(const std::string& brokenName) override
    {
        TBrokenNameAnswer answer;
        if (all_) {
            answer = *all_;
            answer.OldName = brokenName;
        } else {
            answer = question_.Ask(brokenName);
            const auto result = static_cast<TBrokenNameResult>(answer.ModalResult);
            if (result == TBrokenNameResult::SkipAll ||
                (result == TBrokenNameResult::RenameAll && !answer.Symbol.empty() && answer.Symbol != "_"))
                all_ = answer;
        }
        switch (static_cast<TBrokenNameResult>(answer.ModalResult)) {
        case TBrokenNameResult::Rename: sink_.CurrentFile(answer.NewName); break;
        case TBrokenNameResult::RenameAll:
            if (!answer.Symbol.empty() && answer.Symbol != "_" && !brokenName.empty())
                sink_.CurrentFile(answer.Symbol.substr(0, 1) + brokenName.substr(1));
            break;
        default: break;
        }
        return answer;
    }

private:
    TBrokenNameQuestion& question_;
    TRecoverWSink& sink_;
    std::optional<TBrokenNameAnswer> all_;
};

std::vector<std::string> OriginalFolders(const std::string& recoveryPath)
{
    std::vector<std::string> folders;
    std::size_t start = recoveryPath.find(":\\");
    start = start == std::string::npos ? 0 : start + 2;
    while (start < recoveryPath.size()) {
        std::size_t end = recoveryPath.find('\\', start);
        if (end == std::string::npos)
            end = recoveryPath.size();
        std::string name = recoveryPath.substr(start, end - start);
        std::replace(name.begin(), name.end(), '?', '_');
        if (!name.empty())
            folders.push_back(std::move(name));
        start = end + 1;
    }
    return folders;
}

TRecoverW::TRecoverW(TRestoreRun run, TRecoverWSink& sink, TBrokenNameQuestion& question)
    : run_(std::move(run)), sink_(sink), question_(question)
{
}

TRecoverW::~TRecoverW()
{
    Stop();
}

void TRecoverW::StopRequestedHook() noexcept
{
    std::lock_guard lock(innerMutex_);
    if (inner_)
        inner_->RequestStop();
}

void TRecoverW::Execute()
{
    sink_.CurrentFile({});
    if (!run_.Target.empty()) {
        std::string error;
        if (!platform::OpenTargetFolder(run_.Target, error)) {
            // Nothing is written; the progress window waits to be cancelled.
            sink_.TargetFailed(kFolderNotCreated);
            return;
        }
    }
    TRunQuestion question(question_, sink_);
    for (std::size_t d = 0; d < run_.Drives.size() && !Terminated(); ++d) {
        for (const TLFInfo& item : run_.Items) {
            if (Terminated())
                break;
            if (item.Drive == d)
                RestoreFile(item, run_.Drives[d], question);
        }
    }
    if (!StopRequested())
        sink_.Done(summary_);
}

void TRecoverW::RestoreFile(const TLFInfo& item, const TRestoreDrive& drive, TBrokenNameQuestion& question)
{
    sink_.CurrentFile(item.File.Name);
    TRecoveryJob job;
    job.Analysis = drive.Analysis;
    job.FatClusters = run_.FatClusters;
    if (!drive.Analysis) {
        summary_.NotWritten.push_back({item.File.Name, kNotOpened});
        return;
    }
    if (!run_.Target.empty()) {
        job.TargetPath = run_.Target;
    } else if (drive.Root.empty()) {
        summary_.NotWritten.push_back({item.File.Name, kNotMounted});
        return;
    } else {
        job.TargetPath = drive.Root;
        job.TargetSubfolders = OriginalFolders(item.Path);
    }
    // A one-folder tree holds the record for the job.
    TResultsTree tree;
    TTreeNode* folder = tree.AddChild(nullptr, kRootText, NewDirNode());
    tree.AppendFile(*folder, item.File);
    job.SelectedFiles.push_back({folder, 0});

    TFileJobSink jobSink(sink_);
    TFileJob fileJob(std::move(job), jobSink, question);
    {
        std::lock_guard lock(innerMutex_);
        inner_ = &fileJob;
        if (StopRequested())
            fileJob.RequestStop();
    }
    sink_.Progress(0);
    fileJob.RunHere();
    {
        std::lock_guard lock(innerMutex_);
        inner_ = nullptr;
    }
    sink_.Progress(0);

    const TRecoverySummary& done = fileJob.Summary();
    // A file cut off by a cancel stays on disk as the part it is, but its
    // row stays in the list: it has not been restored.
    if (done.FilesWritten != 0 || (done.FilesPartial != 0 && !StopRequested())) {
        ++summary_.Restored;
        summary_.Renamed += done.FilesRenamed;
        for (const TRecoveredFile& part : done.PartialFiles)
            summary_.Partial.push_back({item.File.Name, part.Message});
        sink_.Restored(item.Item);
        return;
    }
    // A file cut off by a cancel is not a problem of the file.
    if (StopRequested())
        return;
    if (!done.OpenError.empty())
        summary_.NotWritten.push_back({item.File.Name, done.OpenError});
    else if (!done.Failures.empty())
        summary_.NotWritten.push_back({item.File.Name, done.Failures.front().Message});
    else if (jobSink.Skipped)
        summary_.NotWritten.push_back({item.File.Name, SkipMessage(jobSink.Reason)});
}

} // namespace salvage
