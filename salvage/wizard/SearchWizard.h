#pragma once
// TSearchWizard: the worker behind the wizard's result page. It searches
// every drive the user ticked for deleted files whose names pass the search
// criteria, and reports one row per file, with its folder path as text,
// instead of building a folder tree.
//
// FAT drives are walked by the main search's own walk (the same entry
// checks, deleted folders read on the same way, the same placement of a
// deleted file's clusters), so the two list the same deleted files. NTFS
// drives are scanned record by record; a file's folder path is resolved up
// its parent chain, and a chain that breaks off (its folder's record now
// holds something else) gives "<Folder unknown>\".
//
// Each drive is opened as an analysis of its own, which the wizard keeps
// after the search: the recovery reads the files through the same reader,
// where the FAT walk left the placement of the deleted files.

#include "salvage/disk/LogicalDisk.h"
#include "salvage/fs/FATPlacement.h"
#include "salvage/search/FileInfo.h"
#include "salvage/search/WorkerThread.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace salvage {

class TAnalysis;
class TNTFS;

inline constexpr const char* kFolderUnknown = "<Folder unknown>\\";
inline constexpr const char* kMftFolderPrefix = "MFT ";

// One drive of a wizard search.
struct TWizardDrive {
    // What stands for the drive letter in paths ("C" on Windows; the
    // volume's short name elsewhere). Paths begin with Letter + ":\".
    std::string Letter;
    TLogicalDisk Disk;
};

// One file found: a row of the result list and what its recovery needs.
struct TWizardRow {
    std::size_t Drive = 0;     // index into the search's drives
    TFileInfo File;            // the record as found (name, first cluster or record, size, dates, condition)
    std::string DisplayPath;   // "Original path": letter + ":\" + folders, each followed by "\"
    std::string RecoveryPath;  // the same, with "MFT n\" for a folder that is not known
};

// Told about the search on the search's thread, one call at a time.
class TWizardSink {
public:
    virtual ~TWizardSink() = default;
    // Rows found, in the order found.
    virtual void RowsFound(std::vector<TWizardRow> rows) = 0;
    // The folder or record being looked at (the search panel's path).
    virtual void PathChanged(const std::string& path) = 0;
    // 0 to 100, of the drive being searched.
    virtual void Progress(int percent) = 0;
    // The drive `letter` could not be searched (or not to its end); the
    // message says why in a sentence. The search goes on with the next drive.
    virtual void DriveFailed(const std::string& letter, const std::string& message) = 0;
    // The search ended by itself (not after a stop).
    virtual void Done() = 0;
};

struct TWizardSettings {
    std::string Criteria;       // empty: every name
    bool GoodOnly = false;      // "Show only files in good condition"
    bool NotZeroSize = true;    // "Don't show 0-byte files"
    TFatClusterRule FatClusters = TFatClusterRule::FreeGaps;
};

// True when `criteria` is empty; when it holds "*" or "?", whether the whole
// name matches it as a mask ("*" any run of characters, "?" any one);
// otherwise whether it occurs in the name. Case is ignored as MatchName
// ignores it; names are UTF-8, a character is a code point; "[" is an
// ordinary character.
[[nodiscard]] bool MatchCriteria(std::string_view name, std::string_view criteria);

// The wizard's size text: up to 1024 "%u bytes", up to 1 MiB "%1.2f kb", up
// to 10 GiB "%1.2f Mb", above that "%1.2f Gb".
[[nodiscard]] std::string WizardFormatSize(std::uint64_t bytes, char decimal = '.');

// The folder path of an NTFS record's parent: a recovery path and a display
// path, each a chain of folder names each followed by "\", relative to the
// volume's root. The last parent asked for is cached.
class TNtfsFolderResolver {
public:
    // No real path is this deep; a chain that runs this long (or in a
    // circle) counts as broken where it was cut.
    static constexpr std::size_t kMaxDepth = 1024;

    explicit TNtfsFolderResolver(TNTFS& ntfs) : ntfs_(ntfs) {}
    struct TPaths {
        std::string Recovery;
        std::string Display;
    };
    [[nodiscard]] const TPaths& Resolve(std::uint64_t parent);
    void Clear() noexcept { cached_ = kNone; }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t{0};
    TNTFS& ntfs_;
    std::uint64_t cached_ = kNone;
    TPaths paths_;
};

class TSearchWizard final : public TWorkerThread {
public:
    TSearchWizard(std::vector<TWizardDrive> drives, TWizardSettings settings, TWizardSink& sink);
    ~TSearchWizard() override;

    [[nodiscard]] const std::vector<TWizardDrive>& Drives() const noexcept { return drives_; }
    // The analysis each drive was searched with (null for a drive that could
    // not be opened), for the recovery. Read it once the thread has ended.
    [[nodiscard]] const std::vector<std::shared_ptr<TAnalysis>>& Volumes() const noexcept { return volumes_; }

protected:
    void Execute() override;
    void StopRequestedHook() noexcept override;

private:
    void SearchDrive(std::size_t index);
    void ScanNtfs(std::size_t index, TNTFS& ntfs);
    void ScanFat(std::size_t index, TAnalysis& analysis);
    [[nodiscard]] bool Passes(const TFileInfo& file) const;

    std::vector<TWizardDrive> drives_;
    const TWizardSettings settings_;
    TWizardSink& sink_;
    std::vector<std::shared_ptr<TAnalysis>> volumes_;
    // The FAT walk under way, which a stop is passed on to.
    std::mutex innerMutex_;
    TWorkerThread* inner_ = nullptr;
};

} // namespace salvage
