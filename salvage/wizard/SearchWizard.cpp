#include "salvage/wizard/SearchWizard.h"

#include "salvage/fs/FAT.h"
#include "salvage/fs/NTFS.h"
#include "salvage/fs/TextConvert.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FAT32Search.h"
#include "salvage/search/MatchName.h"
#include "salvage/search/SearchSink.h"
#include "salvage/search/SizeText.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>
#include <unordered_set>

namespace salvage {

namespace {

// Rows are handed on in batches of about this many, or after this long.
constexpr std::size_t kBatchRows = 256;
constexpr auto kBatchInterval = std::chrono::milliseconds(20);

// The FAT walk of the main search, run on the wizard's own thread.
class TWizardFatWalk final : public TFAT32Search {
public:
    using TFAT32Search::TFAT32Search;
    void RunHere() { Execute(); }
};

// Collects the deleted files of a FAT walk with their folder paths.
class TFatCollector final : public TSearchSink {
public:
    struct TCandidate {
        DirToken Folder;
        TFileInfo File;
    };

    TFatCollector(std::string prefix, std::string letter, TWizardSink& sink)
        : prefix_(std::move(prefix)), letter_(std::move(letter)), sink_(sink)
    {
    }

    void FatDirFound(const TFileInfo& dir, DirToken parent, DirToken self) override
    {
        if (self >= paths_.size())
            paths_.resize(static_cast<std::size_t>(self) + 1);
        paths_[self] = parent == kNoDir || parent >= paths_.size() ? std::string() : paths_[parent] + dir.Name + "\\";
        sink_.PathChanged(prefix_ + paths_[self]);
    }
    void FatFileFound(const TFileInfo& file, DirToken folder) override
    {
        if (file.Deleted)
            Candidates.push_back({folder, file});
    }
    void FatFileNamed(const TFileInfo& file, std::string_view name, DirToken folder) override
    {
        if (!file.Deleted)
            return;
        Candidates.push_back({folder, file});
        Candidates.back().File.Name.assign(name);
    }
    void NtfsDirFound(const TFileInfo&) override {}
    void NtfsFileFound(const TFileInfo&) override {}
    void Progress(int percent) override { sink_.Progress(percent); }
    void Failed(const std::string& message) override { sink_.DriveFailed(letter_, message); }
    void Done() override {}

    [[nodiscard]] std::string PathOf(DirToken folder) const
    {
        return prefix_ + (folder < paths_.size() ? paths_[folder] : std::string());
    }

    std::vector<TCandidate> Candidates;

private:
    std::string prefix_;
    std::string letter_;
    TWizardSink& sink_;
    std::vector<std::string> paths_;  // by token, below the root
};

// Hands rows on in batches.
class TRowBatch {
public:
    explicit TRowBatch(TWizardSink& sink) : sink_(sink), since_(std::chrono::steady_clock::now()) {}
    ~TRowBatch() { Flush(); }
    TRowBatch(const TRowBatch&) = delete;
    TRowBatch& operator=(const TRowBatch&) = delete;

    void Add(TWizardRow row)
    {
        rows_.push_back(std::move(row));
        if (rows_.size() >= kBatchRows || std::chrono::steady_clock::now() - since_ >= kBatchInterval)
            Flush();
    }
    void Flush()
    {
        since_ = std::chrono::steady_clock::now();
        if (rows_.empty())
            return;
        sink_.RowsFound(std::move(rows_));
        rows_.clear();
    }

private:
    TWizardSink& sink_;
    std::vector<TWizardRow> rows_;
    std::chrono::steady_clock::time_point since_;
};

} // namespace

bool MatchCriteria(std::string_view name, std::string_view criteria)
{
    // A part of a name, or a mask of "*" and "?" over the whole name.
    return MatchName(name, criteria, false);
}

std::string WizardFormatSize(std::uint64_t bytes, char decimal)
{
    // The shared size text has the same limits (1024 bytes still read as
    // bytes, 10 GiB still as Mb); sizes past its range are shown as its largest.
    const auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return FormatSize(static_cast<std::int64_t>(std::min(bytes, limit)), decimal);
}

const TNtfsFolderResolver::TPaths& TNtfsFolderResolver::Resolve(std::uint64_t parent)
{
    if (parent == cached_)
        return paths_;
    std::string display;
    std::uint64_t cur = parent;
    bool broken = true;
    std::unordered_set<std::uint64_t> seen;
    TNTFSRecordInfo info;
    for (std::size_t depth = 0; depth < kMaxDepth; ++depth) {
        seen.insert(cur);
        const bool read = ntfs_.IsRecordInUse(cur) ? ntfs_.GetLiveRecordInfo(cur, info)
                                                   : ntfs_.GetDeletedRecordInfo(cur, info);
        if (!read || !info.Directory() || info.Name.empty()) {
            // A record that no longer is a folder (or cannot be read) cuts the chain.
            break;
        }
        const std::uint64_t next = ntfs::RecordOfReference(info.ParentRef);
        if (next == cur) {
            // The root: its parent is itself.
            broken = false;
            break;
        }
        display = Utf16UnitsToUtf8(info.Name) + "\\" + display;
        cur = next;
        if (seen.count(cur) != 0)
            break;  // a circle: cut where it closes
    }
    paths_.Recovery.clear();
    if (broken) {
        paths_.Recovery = kMftFolderPrefix + std::to_string(cur) + "\\" + display;
        display = kFolderUnknown + display;
    }
    paths_.Display = std::move(display);
    if (paths_.Recovery.empty())
        paths_.Recovery = paths_.Display;
    cached_ = parent;
    return paths_;
}

TSearchWizard::TSearchWizard(std::vector<TWizardDrive> drives, TWizardSettings settings, TWizardSink& sink)
    : drives_(std::move(drives)), settings_(std::move(settings)), sink_(sink)
{
}

TSearchWizard::~TSearchWizard()
{
    Stop();
}

void TSearchWizard::StopRequestedHook() noexcept
{
    std::lock_guard lock(innerMutex_);
    if (inner_)
        inner_->RequestStop();
}

void TSearchWizard::Execute()
{
    volumes_.assign(drives_.size(), nullptr);
    sink_.PathChanged({});
    for (std::size_t i = 0; i < drives_.size() && !Terminated(); ++i) {
        sink_.Progress(0);
        try {
            SearchDrive(i);
        } catch (const std::exception& e) {
            // A range error or a failed allocation ends this drive only.
            sink_.DriveFailed(drives_[i].Letter, ScanEndedEarlyMessage(e.what()));
        }
    }
    if (!StopRequested())
        sink_.Done();
}

bool TSearchWizard::Passes(const TFileInfo& file) const
{
    return !(settings_.NotZeroSize && file.Size == 0) && MatchCriteria(file.Name, settings_.Criteria);
}

void TSearchWizard::SearchDrive(std::size_t index)
{
    const TWizardDrive& drive = drives_[index];
    std::string error;
    std::shared_ptr<TAnalysis> analysis = TAnalysis::Open(drive.Disk, error);
    if (!analysis) {
        // This drive is left out; the others are still searched.
        sink_.DriveFailed(drive.Letter, error);
        return;
    }
    volumes_[index] = analysis;
    if (TNTFS* ntfs = analysis->NtfsReader()) {
        TReaderLease lease = analysis->LeaseReader(error);
        if (!lease) {
            sink_.DriveFailed(drive.Letter, error);
            return;
        }
        ScanNtfs(index, *ntfs);
    } else {
        ScanFat(index, *analysis);
    }
}

void TSearchWizard::ScanNtfs(std::size_t index, TNTFS& ntfs)
{
    const TWizardDrive& drive = drives_[index];
    const std::string prefix = drive.Letter + ":\\";
    const std::uint64_t count = ntfs.RecordCount();
    TNtfsFolderResolver folders(ntfs);
    TRowBatch batch(sink_);
    TNTFSRecordInfo info;
    int lastPercent = -1;
    for (std::uint64_t r = 0; r < count && !Terminated(); ++r) {
        if (const auto percent = static_cast<int>(r * 100 / count); percent != lastPercent) {
            sink_.Progress(percent);
            lastPercent = percent;
        }
        // Records in use are passed over before anything is read.
        if (ntfs.IsRecordInUse(r) || !ntfs.GetDeletedRecordInfo(r, info))
            continue;
        if (info.InUse() || info.Directory() || info.Name.empty())
            continue;
        TWizardRow row;
        row.Drive = index;
        TFileInfo& file = row.File;
        file.Deleted = true;
        file.FileRef = static_cast<std::uint32_t>(r);
        file.FullRef = ntfs::MakeReference(r, info.Sequence);
        file.ParentRef = ntfs::RecordOfReference(info.ParentRef);
        file.Size = info.Size;
        file.Name = Utf16UnitsToUtf8(info.Name);
        if (!Passes(file))
            continue;
        file.Condition = ntfs.EstimateNTFSCondition(r);
        if (settings_.GoodOnly && file.Condition != kGood)
            continue;
        file.Modified = FileTimeToDateTime(info.LastWriteTime());
        file.Created = FileTimeToDateTime(info.CreationTime());
        file.Accessed = FileTimeToDateTime(info.LastAccessTime());
        file.Encrypted = ntfs::HasFlag(info.DataFlags, ntfs::AttrFlag::Encrypted);
        file.Compressed = (info.DataFlags & ntfs::kAttrCompressionMask) != 0;
        sink_.PathChanged(prefix + kMftFolderPrefix + std::to_string(r + 1));
        const TNtfsFolderResolver::TPaths& paths = folders.Resolve(file.ParentRef);
        row.DisplayPath = prefix + paths.Display;
        row.RecoveryPath = prefix + paths.Recovery;
        batch.Add(std::move(row));
    }
    batch.Flush();
    if (!StopRequested())
        sink_.Progress(100);
}

void TSearchWizard::ScanFat(std::size_t index, TAnalysis& analysis)
{
    const TWizardDrive& drive = drives_[index];
    std::string error;
    TFAT32& fat = *analysis.FatReader();
    TFatCollector collector(drive.Letter + ":\\", drive.Letter, sink_);
    {
        TReaderLease lease = analysis.LeaseReader(error);
        if (!lease) {
            sink_.DriveFailed(drive.Letter, error);
            return;
        }
        // The walk estimates nothing: the conditions come from the placement
        // it builds at its end, as in the main search.
        TWizardFatWalk walk(fat, collector, false);
        {
            std::lock_guard lock(innerMutex_);
            inner_ = &walk;
            if (StopRequested())
                walk.RequestStop();
        }
        walk.RunHere();
        std::lock_guard lock(innerMutex_);
        inner_ = nullptr;
    }
    if (StopRequested())
        return;
    const TFatDeletedMap* map = fat.DeletedMap();
    TRowBatch batch(sink_);
    for (TFatCollector::TCandidate& c : collector.Candidates) {
        if (Terminated())
            return;
        if (!Passes(c.File))
            continue;
        c.File.Condition = map != nullptr ? map->Condition(c.File.FatEntry, settings_.FatClusters, fat) : kPoor;
        if (settings_.GoodOnly && c.File.Condition != kGood)
            continue;
        TWizardRow row;
        row.Drive = index;
        row.DisplayPath = row.RecoveryPath = collector.PathOf(c.Folder);
        row.File = std::move(c.File);
        batch.Add(std::move(row));
    }
    batch.Flush();
    sink_.Progress(100);
}

} // namespace salvage
