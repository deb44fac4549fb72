#pragma once
// The analysis of one volume, the one code path of the command-line tool,
// the windows and the recovery: open the volume read-only, tell FAT from NTFS
// by its boot sector, make the reader, and run the matching search worker.
// The object keeps the reader afterwards, for the recovery.

#include "platform/Volume.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/FATPlacement.h"
#include "salvage/fs/FileSystemKind.h"
#include "salvage/search/FoundFileModel.h"
#include "salvage/search/SearchSink.h"
#include "salvage/search/WorkerThread.h"

#include <functional>
#include <memory>
#include <string>

namespace salvage {

struct TAnalysisOptions {
    // The setting "Determinate file's recovery probability".
    bool EstimateCondition = true;
    // FAT: how the estimate places a deleted file's clusters.
    TFatClusterRule FatClusters = TFatClusterRule::FreeGaps;
};

class TAnalysis {
public:
    // Opens the drive's volume read-only (a partition of a whole-disk image
    // through the record's byte window). Null with a message in `error` when
    // it cannot be opened or read, or holds no supported file system.
    [[nodiscard]] static std::unique_ptr<TAnalysis> Open(const TLogicalDisk& disk, std::string& error);
    // The same over a volume that is already open.
    [[nodiscard]] static std::unique_ptr<TAnalysis> Open(const TLogicalDisk& disk, platform::VolumePtr volume,
                                                         std::string& error);

    TAnalysis(const TAnalysis&) = delete;
    TAnalysis& operator=(const TAnalysis&) = delete;
    ~TAnalysis();

    [[nodiscard]] TFileSystemKind Kind() const noexcept { return kind_; }
    [[nodiscard]] const TLogicalDisk& Disk() const noexcept { return disk_; }
    [[nodiscard]] const platform::VolumePtr& Volume() const noexcept { return volume_; }
    // The reader of a FAT volume, made for the search and kept for the
    // recovery; null for NTFS.
    [[nodiscard]] TFAT32* FatReader() noexcept { return fat_.get(); }
    // FAT: slots the last search passed over because no driver wrote them as entries.
    [[nodiscard]] std::uint64_t ImplausibleEntries() const noexcept;

    // A search worker for this volume that reports to `sink`, not started
    // yet. Null with a message in `error` when the volume cannot be searched.
    // One search at a time: the worker uses the reader while it runs.
    [[nodiscard]] std::unique_ptr<TWorkerThread> CreateSearch(TSearchSink& sink, const TAnalysisOptions& options,
                                                              std::string& error);

    // The whole analysis, waited for: clears the model, runs the search to its
    // end applying each report directly, then builds the filtered tree.
    // `progress` (0 to 100) is called on the worker's thread. False with a
    // message when the search could not start.
    bool Run(TFoundFileModel& model, const TAnalysisOptions& options, const std::function<void(int)>& progress,
             std::string& error);

private:
    TAnalysis(TLogicalDisk disk, platform::VolumePtr volume, TFileSystemKind kind);

    TLogicalDisk disk_;
    platform::VolumePtr volume_;
    TFileSystemKind kind_;
    std::unique_ptr<TFAT32> fat_;
};

} // namespace salvage
