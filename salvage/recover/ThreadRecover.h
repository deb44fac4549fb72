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
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace salvage {

class TFAT32;
class TNTFS;
class TNTFSAttribute;

// Why an item was not written.
enum class TSkipReason {
    BrokenName,       // the user chose to skip a broken name
    RecordReused,     // the MFT record no longer holds this file (or is unreadable)
    NoData,           // the record has no data attribute
};

struct TRecoveryFailure {
    std::string Path;
    std::string Message;
};

struct TRecoverySummary {
    std::uint64_t FilesWritten = 0;
    std::uint64_t BytesWritten = 0;
    std::uint64_t Skipped = 0;
    std::vector<TRecoveryFailure> Failures;  // targets that could not be created or written
    std::string OpenError;                   // the volume could not be opened: nothing was recovered
    std::uint64_t AmbiguousPlacements = 0;   // deleted FAT files the volume allows other clusters for
};

// Told about the job's progress, on the recovery's thread.
class TRecoverySink {
public:
    virtual ~TRecoverySink() = default;
    // The status-bar text: "Recover" and the name in double quotes, or "Recover...".
    virtual void StatusText(const std::string& /*text*/) {}
    // Percentage of the current file, only when it changes.
    virtual void Progress(int /*percent*/) {}
    virtual void FileWritten(const std::string& /*path*/, std::uint64_t /*size*/) {}
    virtual void FileSkipped(const std::string& /*name*/, TSkipReason /*reason*/) {}
    virtual void FileFailed(const TRecoveryFailure& /*failure*/) {}
    // A deleted FAT file's clusters were placed by `rule` (before it is
    // written or fails); `ambiguous` when the volume allows other clusters.
    virtual void FatClustersPlaced(const std::string& /*path*/, TFatClusterRule /*rule*/, bool /*ambiguous*/) {}
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
    void RecoverNtfsFile(std::uint32_t record, platform::TargetFolder& folder, const std::string& targetName,
                         const std::string& expectedName);
    void RecoverFatFile(std::uint32_t firstCluster, platform::TargetFolder& folder, const std::string& targetName,
                        bool deleted, std::uint64_t size, std::uint32_t fatEntry);
    // Copies `count` clusters from `first` (fewer when the size is reached);
    // the number of clusters read, or nullopt after a failed write.
    std::optional<std::uint64_t> CopyFatRun(platform::OutputFile& file, std::uint32_t first, std::uint64_t count,
                                            std::uint64_t size, std::uint64_t& written);
    bool WriteDataAttribute(const TNTFSAttribute& attribute, platform::OutputFile& file);
    bool CopyRuns(const TNTFSAttribute& attribute, std::uint64_t clusterCount, std::uint64_t startVcn,
                  platform::OutputFile& file);
    bool CopyClusters(std::uint64_t count, platform::OutputFile& file, std::uint64_t lcn);

    std::unique_ptr<platform::OutputFile> CreateTarget(platform::TargetFolder& folder, const std::string& name);
    bool FinishTarget(platform::OutputFile& file, std::uint64_t size);
    void Fail(const std::string& path, const std::string& message);
    void SetProgress(int percent);
    void SetStatus(const std::string& text);

    TRecoveryJob job_;
    TRecoverySink& sink_;
    TBrokenNameQuestion& question_;
    TBrokenNameState broken_;
    // The analysis's reader, leased while the job runs: one of the two.
    TNTFS* ntfs_ = nullptr;
    TFAT32* fat_ = nullptr;
    mutable std::mutex nameMutex_;
    std::string currentName_;
    std::string currentPath_;
    std::uint64_t bytesWritten_ = 0;  // of the current NTFS file
    std::uint64_t fileSize_ = 0;      // of the current NTFS file
    int progress_ = -1;
    std::vector<std::uint8_t> buffer_;
    TRecoverySummary summary_;
};

} // namespace salvage
