#include "salvage/search/Analysis.h"

#include "salvage/fs/NTFS.h"
#include "salvage/search/FAT32Search.h"
#include "salvage/search/NTFSSearch.h"
#include "salvage/search/SearchDriver.h"
#include "salvage/search/TaskQueue.h"

namespace salvage {

TAnalysis::TAnalysis(TLogicalDisk disk, platform::VolumePtr volume, TFileSystemKind kind)
    : disk_(std::move(disk)), volume_(std::move(volume)), kind_(kind)
{
}

TAnalysis::~TAnalysis()
{
    if (ntfs_)
        ntfs_->CloseNTFSVolume();
}

std::shared_ptr<TAnalysis> TAnalysis::Open(const TLogicalDisk& disk, std::string& error)
{
    platform::OpenError openError;
    platform::VolumePtr volume = OpenLogicalDisk(disk, openError);
    if (!volume) {
        error = openError.message;
        return nullptr;
    }
    return Open(disk, std::move(volume), error);
}

std::shared_ptr<TAnalysis> TAnalysis::Open(const TLogicalDisk& disk, platform::VolumePtr volume, std::string& error,
                                           const BootSectorBytes* bootSector)
{
    if (!volume) {
        error = "The volume is not open.";
        return nullptr;
    }
    BootSectorBytes boot{};
    if (bootSector) {
        boot = *bootSector;
    } else if (!ReadBootSector(*volume, boot)) {
        error = "The boot sector cannot be read.";
        return nullptr;
    }
    const auto kind = DetermineFileSystemKind(boot, IsFloppyDrive(disk));
    if (!kind) {
        error = kNoSupportedFileSystem;
        return nullptr;
    }
    std::shared_ptr<TAnalysis> analysis(new TAnalysis(disk, std::move(volume), *kind));
    if (IsFatKind(*kind)) {
        analysis->fat_ = std::make_unique<TFAT32>(analysis->volume_, boot);
        // A reader without usable parameters must not be searched.
        if (!analysis->fat_->Usable()) {
            error = analysis->fat_->Problem();
            return nullptr;
        }
    } else {
        // A volume whose MFT cannot be used is refused here, with the
        // reason, rather than searched into nothing.
        analysis->ntfs_ = std::make_unique<TNTFS>();
        std::uint64_t records = 0;
        const TNTFSOpenResult opened = analysis->ntfs_->OpenNTFSVolume(analysis->volume_, boot, records);
        if (!opened.Ok()) {
            error = opened.Message;
            return nullptr;
        }
    }
    return analysis;
}

TReaderLease TAnalysis::LeaseReader(std::string& error)
{
    if (leased_.exchange(true, std::memory_order_acq_rel)) {
        error = kReaderBusy;
        return nullptr;
    }
    // The lease keeps the analysis (and so the reader) alive; dropping the
    // last copy hands the reader back.
    return TReaderLease(static_cast<void*>(this), [self = shared_from_this()](void*) {
        self->leased_.store(false, std::memory_order_release);
    });
}

std::unique_ptr<TWorkerThread> TAnalysis::CreateSearch(TSearchSink& sink, const TAnalysisOptions& options,
                                                       std::string& error)
{
    TReaderLease lease = LeaseReader(error);
    if (!lease)
        return nullptr;
    std::unique_ptr<TWorkerThread> search;
    if (ntfs_) {
        auto ntfsSearch = std::make_unique<TNTFSSearch>(*ntfs_, sink, options.EstimateCondition);
        ntfsSearch->SetListSystemStreams(options.SystemStreams);
        search = std::move(ntfsSearch);
    } else {
        search = std::make_unique<TFAT32Search>(*fat_, sink, options.EstimateCondition);
    }
    search->Hold(std::move(lease));
    return search;
}

std::uint64_t TAnalysis::ImplausibleEntries() const noexcept
{
    const TFatDeletedMap* map = fat_ ? fat_->DeletedMap() : nullptr;
    return map ? map->ImplausibleEntries : 0;
}

bool TAnalysis::Run(TFoundFileModel& model, const TAnalysisOptions& options,
                    const std::function<void(int)>& progress, std::string& error,
                    const std::function<void(const std::string&)>& failed)
{
    TTaskQueue queue;
    bool done = false;
    TSearchDriver::TEvents events;
    events.Progress = progress;
    events.Done = [&done] { done = true; };
    events.Failed = failed;
    TSearchDriver driver(model, queue.Poster(), std::move(events));
    if (!driver.Start(shared_from_this(), options, error))
        return false;
    queue.RunUntil([&done] { return done; });
    return true;
}

} // namespace salvage
