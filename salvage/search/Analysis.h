#pragma once
// The analysis of one volume, the one code path of the command-line tool,
// the windows and the recovery: open the volume read-only, tell FAT from NTFS
// by its boot sector, open the one reader the volume needs, and make the
// matching search worker. The analysis owns the volume and its reader for as
// long as anybody holds it: the window's results, a search, a recovery.
//
// A reader serves one worker at a time. A search or a recovery leases it for
// as long as it runs; a second lease is refused while the first is held.

#include "platform/Volume.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/FATPlacement.h"
#include "salvage/fs/FileSystemKind.h"
#include "salvage/search/FoundFileModel.h"
#include "salvage/search/SearchSink.h"
#include "salvage/search/WorkerThread.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace salvage {

class TNTFS;

struct TAnalysisOptions {
    // The setting "Determinate file's recovery probability".
    bool EstimateCondition = true;
    // NTFS: list the named streams of the file system's own files too.
    bool SystemStreams = false;
    // FAT: how the estimate places a deleted file's clusters.
    TFatClusterRule FatClusters = TFatClusterRule::FreeGaps;
    // Build the filtered tree (the deleted files) as the search ends. A
    // listing of the whole tree only goes without: the filtered tree then
    // stays empty.
    bool FilteredTree = true;
};

inline constexpr const char* kReaderBusy = "The volume is being read by another search or recovery.";

// Held while a worker uses the analysis's reader; releasing it frees the reader.
using TReaderLease = std::shared_ptr<void>;

class TAnalysis : public std::enable_shared_from_this<TAnalysis> {
public:
    // Opens the drive's volume read-only (a partition of a whole-disk image
    // through the record's byte window). Null with a message in `error` when
    // it cannot be opened or read, or holds no supported file system.
    [[nodiscard]] static std::shared_ptr<TAnalysis> Open(const TLogicalDisk& disk, std::string& error);
    // The same over a volume that is already open. `bootSector`, when given,
    // is the volume's first sector as already read (when the volume was
    // chosen), so it is not read again.
    [[nodiscard]] static std::shared_ptr<TAnalysis> Open(const TLogicalDisk& disk, platform::VolumePtr volume,
                                                         std::string& error,
                                                         const BootSectorBytes* bootSector = nullptr);

    TAnalysis(const TAnalysis&) = delete;
    TAnalysis& operator=(const TAnalysis&) = delete;
    ~TAnalysis();

    [[nodiscard]] TFileSystemKind Kind() const noexcept { return kind_; }
    [[nodiscard]] const TLogicalDisk& Disk() const noexcept { return disk_; }
    [[nodiscard]] const platform::VolumePtr& Volume() const noexcept { return volume_; }
    // The volume's reader: FAT (null for NTFS) or NTFS (null for FAT). Use it
    // only while holding a lease.
    [[nodiscard]] TFAT32* FatReader() noexcept { return fat_.get(); }
    [[nodiscard]] TNTFS* NtfsReader() noexcept { return ntfs_.get(); }
    // FAT: slots the last search passed over because no driver wrote them as entries.
    [[nodiscard]] std::uint64_t ImplausibleEntries() const noexcept;

    // Exclusive use of the reader until the returned lease is released (it
    // also keeps the analysis alive). Null with kReaderBusy in `error` while
    // another lease is held.
    [[nodiscard]] TReaderLease LeaseReader(std::string& error);
    [[nodiscard]] bool ReaderLeased() const noexcept { return leased_.load(std::memory_order_acquire); }

    // A search worker for this volume that reports to `sink`, not started
    // yet; it holds the reader's lease until it is destroyed. Null with a
    // message in `error` when the reader is leased already.
    [[nodiscard]] std::unique_ptr<TWorkerThread> CreateSearch(TSearchSink& sink, const TAnalysisOptions& options,
                                                              std::string& error);

    // The whole analysis on the calling thread, waited for: clears the model
    // and runs the search through a TSearchDriver to its end (both trees
    // complete). `progress` (0 to 100) is called on the worker's thread;
    // `failed` on this one, when the scan met an error that ended it early
    // (what was found stays). False with a message when the search could not
    // start.
    bool Run(TFoundFileModel& model, const TAnalysisOptions& options, const std::function<void(int)>& progress,
             std::string& error, const std::function<void(const std::string&)>& failed = {});

private:
    TAnalysis(TLogicalDisk disk, platform::VolumePtr volume, TFileSystemKind kind);

    TLogicalDisk disk_;
    platform::VolumePtr volume_;
    TFileSystemKind kind_;
    std::unique_ptr<TFAT32> fat_;
    std::unique_ptr<TNTFS> ntfs_;
    std::atomic<bool> leased_{false};
};

} // namespace salvage
