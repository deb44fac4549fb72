#include "salvage/search/NTFSSearch.h"

#include "salvage/fs/DateTime.h"
#include "salvage/fs/NTFS.h"
#include "salvage/fs/TextConvert.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

namespace salvage {

namespace {

// The MFT is read in chunks of about this many bytes: one large read instead
// of one per record.
constexpr std::size_t kChunkBytes = 1u << 20;

// round(current / (count - 1) x 100), halves to even.
int ProgressPercent(std::uint64_t current, std::uint64_t count)
{
    if (count <= 1)
        return 100;
    return static_cast<int>(std::nearbyint(static_cast<double>(current) / static_cast<double>(count - 1) * 100.0));
}

void FillWork(TFileInfo& work, std::uint64_t record, const TNTFSRecordInfo& info)
{
    work.FileRef = static_cast<std::uint32_t>(record);
    work.ParentRef = ntfs::RecordOfReference(info.ParentRef);
    work.Name = Utf16UnitsToUtf8(info.Name);
    work.Modified = FileTimeToDateTime(info.LastWriteTime());
    work.Created = FileTimeToDateTime(info.CreationTime());
}

} // namespace

TNTFSSearch::TNTFSSearch(TNTFS& ntfs, TSearchSink& sink, bool estimateCondition)
    : borrowed_(&ntfs), sink_(sink), estimateCondition_(estimateCondition)
{
}

TNTFSSearch::TNTFSSearch(const TLogicalDisk& disk, TSearchSink& sink, bool estimateCondition)
    : disk_(disk), sink_(sink), estimateCondition_(estimateCondition)
{
}

TNTFSSearch::TNTFSSearch(platform::VolumePtr volume, TSearchSink& sink, bool estimateCondition)
    : volume_(std::move(volume)), sink_(sink), estimateCondition_(estimateCondition)
{
}

TNTFSSearch::~TNTFSSearch()
{
    Stop();
}

void TNTFSSearch::Execute()
{
    {
        // A reader of our own lives for the visit only: leaving this block
        // closes it, also after an exception.
        TNTFS own;
        TNTFS* ntfs = borrowed_;
        if (!ntfs) {
            std::uint64_t count = 0;
            const TNTFSOpenResult opened =
                volume_ ? own.OpenNTFSVolume(volume_, count) : own.OpenNTFSVolume(disk_, count);
            if (opened.Ok())
                ntfs = &own;
            else
                sink_.Failed(opened.Message);
        }
        if (ntfs) {
            recordCount_.store(ntfs->RecordCount(), std::memory_order_release);
            try {
                Visit(*ntfs);
            } catch (const std::exception& e) {
                // A range or read error ends the visit; what was found stays.
                sink_.Failed(ScanEndedEarlyMessage(e.what()));
            }
        }
    }
    if (!StopRequested())
        sink_.Done();
}

void TNTFSSearch::Visit(TNTFS& ntfs)
{
    const std::uint64_t count = ntfs.RecordCount();
    const std::size_t recordSize = ntfs.RecordSize();
    const std::size_t perChunk = std::max<std::size_t>(1, kChunkBytes / recordSize);
    std::vector<std::uint8_t> chunk(perChunk * recordSize);
    std::uint64_t chunkFirst = 0;
    std::uint64_t chunkCount = 0;
    bool chunkRead = false;
    int lastPercent = -1;
    TFileInfo work;
    TNTFSRecordInfo info;

    for (std::uint64_t current = 0; current < count && !Terminated(); ++current) {
        if (const int percent = ProgressPercent(current, count); percent != lastPercent) {
            sink_.Progress(percent);
            lastPercent = percent;
        }
        if (current >= chunkFirst + chunkCount) {
            chunkFirst = current;
            chunkCount = std::min<std::uint64_t>(perChunk, count - current);
            // A chunk that cannot be read in one go is read record by record,
            // so one bad sector costs only the records it holds.
            chunkRead = ntfs.ReadRawMFTRecords(chunkFirst, chunkCount, chunk);
        }
        const std::span<std::uint8_t> raw =
            std::span(chunk).subspan(static_cast<std::size_t>(current - chunkFirst) * recordSize, recordSize);

        work.Condition = 0;
        const bool free = chunkRead ? ntfs.GetDeletedRecordInfo(current, raw, info)
                                    : ntfs.GetDeletedRecordInfo(current, info);
        // A directory goes to the tree as a folder; a file with its size and,
        // when deleted and asked for, the estimate of its clusters.
        auto report = [&] {
            FillWork(work, current, info);
            if (info.Directory()) {
                work.Size = 0;
                sink_.NtfsDirFound(work);
                return;
            }
            work.Size = info.Size;
            if (work.Deleted && estimateCondition_.load(std::memory_order_relaxed))
                work.Condition = ntfs.EstimateNTFSCondition(current);
            sink_.NtfsFileFound(work);
        };
        if (free && !info.Name.empty()) {
            // Free in the MFT bitmap but still flagged in use in its header:
            // not deleted.
            work.Deleted = !info.InUse();
            report();
            continue;
        }
        const bool live = chunkRead ? ntfs.GetLiveRecordInfo(current, raw, info)
                                    : ntfs.GetLiveRecordInfo(current, info);
        if (live) {
            work.Deleted = false;
            report();
        }
    }
}

} // namespace salvage
