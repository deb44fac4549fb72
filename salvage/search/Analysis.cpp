#include "salvage/search/Analysis.h"

#include "salvage/fs/NTFS.h"
#include "salvage/search/FAT32Search.h"
#include "salvage/search/ModelSink.h"
#include "salvage/search/NTFSSearch.h"

namespace salvage {

TAnalysis::TAnalysis(TLogicalDisk disk, platform::VolumePtr volume, TFileSystemKind kind)
    : disk_(std::move(disk)), volume_(std::move(volume)), kind_(kind)
{
}

TAnalysis::~TAnalysis() = default;

std::unique_ptr<TAnalysis> TAnalysis::Open(const TLogicalDisk& disk, std::string& error)
{
    platform::OpenError openError;
    platform::VolumePtr volume = OpenLogicalDisk(disk, openError);
    if (!volume) {
        error = openError.message;
        return nullptr;
    }
    return Open(disk, std::move(volume), error);
}

std::unique_ptr<TAnalysis> TAnalysis::Open(const TLogicalDisk& disk, platform::VolumePtr volume, std::string& error)
{
    if (!volume) {
        error = "The volume is not open.";
        return nullptr;
    }
    BootSectorBytes boot{};
    if (!ReadBootSector(*volume, boot)) {
        error = "The boot sector cannot be read.";
        return nullptr;
    }
    const auto kind = DetermineFileSystemKind(boot, IsFloppyDrive(disk));
    if (!kind) {
        error = kNoSupportedFileSystem;
        return nullptr;
    }
    std::unique_ptr<TAnalysis> analysis(new TAnalysis(disk, std::move(volume), *kind));
    if (IsFatKind(*kind)) {
        analysis->fat_ = std::make_unique<TFAT32>(analysis->volume_);
        // A reader without usable parameters must not be searched.
        if (!analysis->fat_->Usable()) {
            error = analysis->fat_->Problem();
            return nullptr;
        }
    } else {
        // The search opens its own reader; a volume it could not open is
        // refused here, with the reason, rather than searched into nothing.
        TNTFS ntfs;
        std::uint64_t records = 0;
        const TNTFSOpenResult opened = ntfs.OpenNTFSVolume(analysis->volume_, records);
        if (!opened.Ok()) {
            error = opened.Message;
            return nullptr;
        }
    }
    return analysis;
}

std::unique_ptr<TWorkerThread> TAnalysis::CreateSearch(TSearchSink& sink, const TAnalysisOptions& options,
                                                       std::string& error)
{
    switch (kind_) {
    case TFileSystemKind::NTFS:
        return std::make_unique<TNTFSSearch>(volume_, sink, options.EstimateCondition);
    case TFileSystemKind::FAT32:
    case TFileSystemKind::FAT16:
    case TFileSystemKind::FAT12:
        return std::make_unique<TFAT32Search>(*fat_, sink, options.EstimateCondition);
    }
    error = kNoSupportedFileSystem;
    return nullptr;
}

std::uint64_t TAnalysis::ImplausibleEntries() const noexcept
{
    const TFatDeletedMap* map = fat_ ? fat_->DeletedMap() : nullptr;
    return map ? map->ImplausibleEntries : 0;
}

bool TAnalysis::Run(TFoundFileModel& model, const TAnalysisOptions& options,
                    const std::function<void(int)>& progress, std::string& error)
{
    model.Clear();
    TModelSink sink(model, progress);
    std::unique_ptr<TWorkerThread> search = CreateSearch(sink, options, error);
    if (!search)
        return false;
    search->Start();
    search->Wait();
    search.reset();
    if (fat_ && options.EstimateCondition)
        ReviseFatConditions(model.Tree(), *fat_, options.FatClusters);
    model.BuildFilterTree();
    return true;
}

} // namespace salvage
