#pragma once
// The recovery worker: copies the selected files and folders of an analysed
// volume from the raw volume into the target folder. NTFS files are read
// through their MFT record's data runs; FAT files through their first cluster,
// following the FAT chain (live files) or taking consecutive clusters (deleted
// files, whose chain is gone). The source volume is only ever read.

#include "platform/TargetFolder.h"
#include "salvage/recover/BrokenName.h"
#include "salvage/recover/RecoveryJob.h"
#include "salvage/search/WorkerThread.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace salvage {

class TFAT32;
class TNTFS;
struct TNTFSStream;

// Why an item was not written.
enum class TSkipReason {
    BrokenName,       // the user chose to skip a broken name
    RecordReused,     // the MFT record no longer holds this file (or is unreadable)
    NoData,           // the record has no data attribute
};

// A file now on disk in the target: written whole, or in part.
struct TRecoveredFile {
    std::string Path;        // where it is
    std::string Name;        // the name it was written under
    std::string FoundName;   // the name it had in the results
    std::uint64_t Size = 0;  // bytes written
    // Its name was taken in the target (by an earlier file of the job, or by
    // something that stood there before): it was written as "NAME (2).EXT", ...
    bool Renamed = false;
    // Only part of it could be written; what was written stays, Message says why.
    bool Partial = false;
    std::string Message;
};

// Something that was not written at all: a file, a folder (with all in it),
// or the target folder itself.
struct TRecoveryFailure {
    std::string Path;       // where it was to go
    std::string FoundName;  // the name it had in the results (empty for the target folder)
    std::string Message;
};

// What a job left on disk, counted as it really is.
struct TRecoverySummary {
    std::uint64_t FilesWritten = 0;  // files written whole
    std::uint64_t FilesPartial = 0;  // files written in part (their bytes stay)
    std::uint64_t FilesRenamed = 0;  // of both, those written under a numbered name
    std::uint64_t BytesWritten = 0;  // bytes of both
    std::uint64_t Skipped = 0;       // files and folders left out (broken names, reused records)
    std::vector<TRecoveredFile> PartialFiles;
    std::vector<TRecoveryFailure> Failures;  // not written at all
    std::string OpenError;                   // the volume could not be opened: nothing was recovered
    std::uint64_t AmbiguousPlacements = 0;   // deleted FAT files the volume allows other clusters for

    [[nodiscard]] std::uint64_t FilesOnDisk() const noexcept { return FilesWritten + FilesPartial; }
};

// The notices a front end shows once a job has ended: the volume's open
// error, and how many files could not be written or only in part.
[[nodiscard]] std::vector<std::string> RecoveryNotices(const TRecoverySummary& summary);

// Told about the job's progress, on the recovery's thread.
class TRecoverySink {
public:
    virtual ~TRecoverySink() = default;
    // The status-bar text: "Recover" and the name in double quotes, or "Recover...".
    virtual void StatusText(const std::string& /*text*/) {}
    // Percentage of the current file, only when it changes.
    virtual void Progress(int /*percent*/) {}
    // A file is on disk (whole or in part), closed, with its dates.
    virtual void FileWritten(const TRecoveredFile& /*file*/) {}
    virtual void FileSkipped(const std::string& /*name*/, TSkipReason /*reason*/) {}
    // A file or folder could not be written at all; nothing of it stays.
    virtual void FileFailed(const TRecoveryFailure& /*failure*/) {}
    // A deleted FAT file's clusters were placed by `rule` (before it is
    // written or fails); `ambiguous` when the volume allows other clusters.
    virtual void FatClustersPlaced(const std::string& /*path*/, TFatClusterRule /*rule*/, bool /*ambiguous*/) {}
    // The same placement with its runs (right after FatClustersPlaced), for
    // a front end that tells how far the bytes can be trusted.
    virtual void FatRunsPlaced(const std::string& /*path*/, const TFatPlacement& /*placement*/) {}
    // The job ended by itself (RecoveryDone). Not called after a stop.
    virtual void Done(const TRecoverySummary& /*summary*/) {}
};

inline constexpr const char* kStatusRecovering = "Recover...";

class TThreadRecover : public TWorkerThread {
public:
    TThreadRecover(TRecoveryJob job, TRecoverySink& sink, TBrokenNameQuestion& question);
    ~TThreadRecover() override;

    // Valid once the thread has ended.
    [[nodiscard]] const TRecoverySummary& Summary() const noexcept { return summary_; }
    // The name the item being processed is written under.
    [[nodiscard]] std::string CurrentName() const;

protected:
    void Execute() override;

private:
    void RecoverItems(platform::TargetFolder& target);
    void RecoverFile(const TFileInfo& file, platform::TargetFolder& folder);
    void RecoverFolder(platform::TargetFolder& parent, const TTreeNode& node, bool recoverAll);
    // Runs the broken-name step when CurrentName is broken; true when the item is skipped.
    bool SkipBrokenName(const std::string& foundName);
    void RecoverNtfsFile(const TFileInfo& found, platform::TargetFolder& folder, const std::string& targetName);
    void RecoverFatFile(std::uint32_t firstCluster, platform::TargetFolder& folder, const std::string& targetName,
                        bool deleted, std::uint64_t size, std::uint32_t fatEntry);
    // The job stops inside a FAT file and a stop was requested.
    bool StopsInsideFile();
    // Copies `count` clusters from `first` (fewer when the size is reached);
    // the number of clusters read, or nullopt after a failed write.
    std::optional<std::uint64_t> CopyFatRun(platform::OutputFile& file, std::uint32_t first, std::uint64_t count,
                                            std::uint64_t size, std::uint64_t& written);
    bool WriteStream(const TNTFSStream& stream, platform::OutputFile& file);
    bool CopyRuns(const TNTFSStream& stream, platform::OutputFile& file);
    // A compressed stream, unit by unit; units that do not come out are
    // written as zeros and counted in badUnits.
    bool CopyUnits(const TNTFSStream& stream, platform::OutputFile& file, std::uint64_t& badUnits);
    void ZeroPastValidSize(std::span<std::uint8_t> chunk, std::uint64_t at) const;
    bool CopyClusters(std::uint64_t count, platform::OutputFile& file, std::uint64_t lcn);

    // Opens the target folder and the folders above the selection.
    std::unique_ptr<platform::TargetFolder> OpenTarget();
    // Gives the folders this job created their found dates, once nothing more goes into them.
    void DateFolder(platform::TargetFolder& folder);
    void FolderCreated(const platform::TargetFolder& folder, TDateTime modified, TDateTime accessed);

    // One file's life: BeginFile before its copy, CreateTarget makes the
    // target (under a free name), FinishTarget closes it after the copy,
    // EndFile settles what it became (written, partial, or removed).
    void BeginFile(const TFileInfo& file);
    platform::OutputFile* CreateTarget(platform::TargetFolder& folder, const std::string& name);
    bool FinishTarget(platform::OutputFile& file, std::uint64_t size);
    void EndFile();
    // A problem: of the file under way when there is one, otherwise of the item at `path`.
    void Fail(const std::string& path, const std::string& message, const std::string& foundName = {});
    void SetProgress(int percent);
    void SetStatus(const std::string& text);

    TRecoveryJob job_;
    TRecoverySink& sink_;
    TBrokenNameQuestion& question_;
    TBrokenNameState broken_;
    // The analysis's reader, leased while the job runs: one of the two.
    TNTFS* ntfs_ = nullptr;
    TFAT32* fat_ = nullptr;
    // The file under way.
    struct TCurrentFile {
        const TFileInfo* Found = nullptr;
        std::string WantedName;  // the name it was to get (after the broken-name step)
        std::unique_ptr<platform::OutputFile> Target;
        bool Finished = false;
        std::string Problem;
    } file_;
    // The folders this job created and the dates they get; a folder of the
    // same name merged into later gets them again.
    std::map<platform::FolderId, platform::FileTimes> createdFolders_;
    // The folders above the selection, held until the job's end dates them.
    std::vector<std::unique_ptr<platform::TargetFolder>> ancestors_;
    mutable std::mutex nameMutex_;
    std::string currentName_;
    std::string currentPath_;
    std::uint64_t bytesWritten_ = 0;  // of the current NTFS file
    std::uint64_t fileSize_ = 0;      // of the current NTFS file
    std::uint64_t validSize_ = 0;     // of the current NTFS file: past it, zeros
    int progress_ = -1;
    std::vector<std::uint8_t> buffer_;
    TRecoverySummary summary_;
};

} // namespace salvage
