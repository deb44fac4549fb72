#pragma once
// TRecoverW: the worker that restores the files selected in the wizard's
// result list, drive by drive, either into one folder the user chose or back
// into each file's original folder below its volume's mount point.
//
// Each file is written by the main recovery's own code (TThreadRecover), on
// this worker's thread, through the reader the search used: the same
// placement of deleted FAT clusters, the same check that an MFT record
// still holds the file, names that never replace anything in the target
// (a second file of a name becomes "NAME (2).EXT") and counts of what really
// reached the disk. The broken-name answers ("Skip All", "Rename All") hold
// for the whole run.

#include "salvage/fs/FATPlacement.h"
#include "salvage/recover/BrokenName.h"
#include "salvage/search/FileInfo.h"
#include "salvage/search/WorkerThread.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace salvage {

class TAnalysis;

inline constexpr const char* kFolderNotCreated = "Folder has not been created!";

// One file to restore.
struct TLFInfo {
    TFileInfo File;          // the record as the search found it
    std::string Path;        // the row's recovery path: letter + ":\" + folders, each followed by "\"
    std::size_t Drive = 0;   // index into the run's drives
    std::uint64_t Item = 0;  // the result row it came from (the caller's key)
};

// A drive of the search, as the restore needs it.
struct TRestoreDrive {
    std::string Letter;
    std::string Root;                     // its mount point; empty when not mounted
    std::shared_ptr<TAnalysis> Analysis;  // null when the search could not open it
};

struct TRestoreRun {
    std::string Target;  // empty: each file's original folder
    std::vector<TLFInfo> Items;
    std::vector<TRestoreDrive> Drives;
    TFatClusterRule FatClusters = TFatClusterRule::FreeGaps;
};

// A file that did not reach the disk whole.
struct TRestoreProblem {
    std::string Name;
    std::string Message;
};

struct TRestoreSummary {
    std::uint64_t Restored = 0;                 // files on disk (whole or in part)
    std::vector<TRestoreProblem> NotWritten;    // nothing of them was written
    std::vector<TRestoreProblem> Partial;       // written in part
    std::uint64_t Renamed = 0;                  // written under a numbered name
};

// Told about the run on the worker's thread.
class TRecoverWSink {
public:
    virtual ~TRecoverWSink() = default;
    // The name the file under way is written under.
    virtual void CurrentFile(const std::string& name) = 0;
    // 0 to 100 of the file under way.
    virtual void Progress(int percent) = 0;
    // The file of row `item` is on disk (whole or in part).
    virtual void Restored(std::uint64_t item) = 0;
    // The target folder could not be made: nothing is written, the run waits
    // to be cancelled.
    virtual void TargetFailed(const std::string& message) = 0;
    // The run ended by itself (not after a stop).
    virtual void Done(const TRestoreSummary& summary) = 0;
};

// The path below the volume's root that a recovery path names: the folder
// names after letter + ":\", with every "?" (a deleted short name's lost
// first byte) made "_".
[[nodiscard]] std::vector<std::string> OriginalFolders(const std::string& recoveryPath);

class TRecoverW final : public TWorkerThread {
public:
    // `question` is asked on this worker's thread and must outlive it.
    TRecoverW(TRestoreRun run, TRecoverWSink& sink, TBrokenNameQuestion& question);
    ~TRecoverW() override;

    // Valid once the thread has ended.
    [[nodiscard]] const TRestoreSummary& Summary() const noexcept { return summary_; }

protected:
    void Execute() override;
    void StopRequestedHook() noexcept override;

private:
    class TRunQuestion;
    void RestoreFile(const TLFInfo& item, const TRestoreDrive& drive, TBrokenNameQuestion& question);

    TRestoreRun run_;
    TRecoverWSink& sink_;
    TBrokenNameQuestion& question_;
    TRestoreSummary summary_;
    std::mutex innerMutex_;
    TWorkerThread* inner_ = nullptr;
};

} // namespace salvage
