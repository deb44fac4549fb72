// Copying one file's data from the volume: NTFS through the data runs of the
// record's data attribute, FAT through its clusters.

#include "salvage/recover/ThreadRecover.h"

#include "platform/Utf16.h"
#include "salvage/disk/Bytes.h"
#include "salvage/fs/FAT.h"
#include "salvage/fs/NTFS.h"
#include "salvage/fs/TextConvert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace salvage {

namespace {

// Reads and writes go in chunks of up to this many bytes; stop requests and
// progress are still seen cluster by cluster.
constexpr std::uint64_t kChunkBytes = 1 << 20;

int PercentOf(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 0;
    if (total <= std::numeric_limits<std::uint64_t>::max() / 100)
        return static_cast<int>(done * 100 / total);
    return static_cast<int>(done / (total / 100));
}

std::string IncompleteMessage(std::uint64_t written, std::uint64_t size, const std::string& why)
{
    return why + ": " + std::to_string(written) + " of " + std::to_string(size) + " bytes recovered.";
}

// The record is the one the search found while its sequence number (bumped
// each time the record is freed) and its in-use state are still those found.
bool IsRecordFound(ByteSpan record, const TFileInfo& file)
{
    if (!std::equal(ntfs::kFileSignature.begin(), ntfs::kFileSignature.end(), record.begin()))
        return false;
    if (file.FullRef == 0 || ntfs::RecordNumberOf(file.FullRef) != file.FileRef)
        return false;  // found without a full reference: nothing to compare
    const bool inUse = ntfs::HasFlag(LoadLE16(record, ntfs::kRecFlags), ntfs::RecordFlag::InUse);
    return LoadLE16(record, ntfs::kRecSequence) == ntfs::SequenceOf(file.FullRef) && inUse == !file.Deleted;
}

} // namespace

void TThreadRecover::RecoverNtfsFile(const TFileInfo& found, platform::TargetFolder& folder,
                                     const std::string& targetName)
{
    // The record must still be the one found; otherwise nothing is created.
    std::vector<std::uint8_t> bytes(ntfs_->RecordSize());
    if (!ntfs_->ReadMFTRecord(found.FileRef, bytes) || !IsRecordFound(bytes, found)) {
        ++summary_.Skipped;
        sink_.FileSkipped(found.Name, TSkipReason::RecordReused);
        return;
    }
    const auto stream = ntfs_->ReadStream(bytes, found.FileRef, platform::Utf8ToUtf16(StreamName(found)));
    if (!stream) {
        ++summary_.Skipped;
        sink_.FileSkipped(found.Name, TSkipReason::NoData);
        return;
    }
    platform::OutputFile* file = CreateTarget(folder, targetName);
    if (!file)
        return;
    if (!WriteStream(*stream, *file))
        return;
    if (stream->Encrypted()) {
        // Written, but not usable as it is: say so.
        if (!file->Close()) {
            Fail(currentPath_, file->Error());
            return;
        }
        Fail(currentPath_, "The file is encrypted (EFS): its " + std::to_string(bytesWritten_) +
                               " stored bytes were written as they are and cannot be read without the owner's key.");
        return;
    }
    FinishTarget(*file, bytesWritten_);
}

bool TThreadRecover::WriteStream(const TNTFSStream& stream, platform::OutputFile& file)
{
    bytesWritten_ = 0;
    if (stream.Resident) {
        ByteSpan value = stream.Value;
        if (job_.MaxFileBytes != 0 && value.size() > job_.MaxFileBytes)
            value = value.first(static_cast<std::size_t>(job_.MaxFileBytes));
        bytesWritten_ = value.size();
        if (!file.Write(value)) {
            Fail(currentPath_, file.Error());
            return false;
        }
        return true;
    }
    // Sizes and VCNs are 64-bit: files of 4 GiB and more come out whole.
    fileSize_ = stream.Size;
    if (job_.MaxFileBytes != 0)
        fileSize_ = std::min(fileSize_, job_.MaxFileBytes);
    validSize_ = std::min(stream.ValidSize, fileSize_);
    SetProgress(0);
    std::uint64_t badUnits = 0;
    const bool ok = stream.Compressed() ? CopyUnits(stream, file, badUnits) : CopyRuns(stream, file);
    SetProgress(0);
    if (!ok)
        return false;
    if (StopRequested())
        return true;
    std::string incomplete;
    if (bytesWritten_ < fileSize_)
        // The runs ended before the data did: keep what was read, say so.
        incomplete = IncompleteMessage(bytesWritten_, fileSize_,
                                       stream.ExtentMissing ? "A part of the file's data runs cannot be found"
                                                            : "The file's data runs end early");
    else if (badUnits != 0)
        incomplete = std::to_string(badUnits) +
                     " compressed units could not be read or decompressed and were written as zeros.";
    if (incomplete.empty())
        return true;
    if (!file.Close()) {
        Fail(currentPath_, file.Error());
        return false;
    }
    Fail(currentPath_, incomplete);
    return false;
}

bool TThreadRecover::CopyUnits(const TNTFSStream& stream, platform::OutputFile& file, std::uint64_t& badUnits)
{
    const std::uint64_t unitBytes = std::uint64_t{stream.CompressionUnit} * ntfs_->ClusterBytes();
    buffer_.resize(static_cast<std::size_t>(unitBytes));
    for (std::uint64_t unit = 0; bytesWritten_ < fileSize_ && !Terminated(); ++unit) {
        const std::uint64_t take = std::min(unitBytes, fileSize_ - bytesWritten_);
        if (unit * stream.CompressionUnit >= stream.MappedClusters)
            break;  // the runs end here
        if (ntfs_->ReadCompressionUnit(stream, unit, buffer_) != TUnitResult::Ok)
            ++badUnits;  // zeros in its place keep the rest where it belongs
        ZeroPastValidSize(buffer_, bytesWritten_);
        if (!file.Write(std::span(buffer_.data(), static_cast<std::size_t>(take)))) {
            Fail(currentPath_, file.Error());
            return false;
        }
        bytesWritten_ += take;
        SetProgress(PercentOf(bytesWritten_, fileSize_));
    }
    return true;
}

void TThreadRecover::ZeroPastValidSize(std::span<std::uint8_t> chunk, std::uint64_t at) const
{
    // Past the valid data length the file system reads zeros, whatever the
    // clusters hold.
    if (at + chunk.size() <= validSize_)
        return;
    const std::size_t from = at >= validSize_ ? 0 : static_cast<std::size_t>(validSize_ - at);
    std::fill(chunk.begin() + static_cast<std::ptrdiff_t>(from), chunk.end(), std::uint8_t{0});
}

bool TThreadRecover::CopyRuns(const TNTFSStream& stream, platform::OutputFile& file)
{
    const std::uint64_t clusterBytes = ntfs_->ClusterBytes();
    std::uint64_t vcn = 0;
    while (vcn < stream.MappedClusters && bytesWritten_ < fileSize_) {
        const auto mapping = ntfs::MapVcnInRuns(stream.Runs, vcn);
        if (!mapping || mapping->RunRemaining == 0)
            break;
        const std::uint64_t n = std::min(mapping->RunRemaining, stream.MappedClusters - vcn);
        if (mapping->Sparse) {
            // No clusters on disk: zeros, written in blocks.
            const std::uint64_t bytes = n > (fileSize_ - bytesWritten_) / clusterBytes ? fileSize_ - bytesWritten_
                                                                                       : n * clusterBytes;
            if (!file.WriteZeros(bytes)) {
                Fail(currentPath_, file.Error());
                return false;
            }
            bytesWritten_ += bytes;
            SetProgress(PercentOf(bytesWritten_, fileSize_));
        } else if (!CopyClusters(n, file, mapping->Lcn)) {
            return false;
        }
        if (bytesWritten_ >= fileSize_ || Terminated())
            break;
        vcn += n;
    }
    return true;
}

bool TThreadRecover::CopyClusters(std::uint64_t count, platform::OutputFile& file, std::uint64_t lcn)
{
    const std::uint64_t clusterBytes = ntfs_->ClusterBytes();
    const std::uint64_t chunkClusters = std::max<std::uint64_t>(1, kChunkBytes / clusterBytes);
    std::uint64_t unreadable = 0;
    while (count > 0 && bytesWritten_ < fileSize_) {
        // Clusters past the file's size are not read at all.
        const std::uint64_t needed = (fileSize_ - bytesWritten_ + clusterBytes - 1) / clusterBytes;
        const std::uint64_t n = std::min({count, chunkClusters, needed});
        buffer_.resize(static_cast<std::size_t>(n * clusterBytes));
        std::uint64_t filled = n;  // the clusters of the buffer that hold the disk's bytes (or zeros)
        if (ntfs_->ReadClusters(n, buffer_, lcn)) {
            // Find the clusters that cannot be read; they are written as zeros
            // so that everything after them stays in its place. Each retry
            // can take long on a failing disk: a stop ends them.
            for (std::uint64_t i = 0; i < n; ++i) {
                if (StopRequested()) {
                    filled = i;
                    break;
                }
                const auto one = std::span(buffer_).subspan(static_cast<std::size_t>(i * clusterBytes),
                                                            static_cast<std::size_t>(clusterBytes));
                if (ntfs_->ReadClusters(1, one, lcn + i)) {
                    std::fill(one.begin(), one.end(), 0);
                    ++unreadable;
                }
            }
        }
        std::size_t pending = 0;
        bool stopped = filled < n;
        for (std::uint64_t i = 0; i < filled; ++i) {
            const std::uint64_t take = std::min(clusterBytes, fileSize_ - bytesWritten_);
            pending += static_cast<std::size_t>(take);
            bytesWritten_ += take;
            SetProgress(PercentOf(bytesWritten_, fileSize_));
            if (Terminated()) {
                stopped = true;
                break;
            }
        }
        ZeroPastValidSize(std::span(buffer_.data(), pending), bytesWritten_ - pending);
        if (!file.Write(std::span(buffer_.data(), pending))) {
            Fail(currentPath_, file.Error());
            return false;
        }
        if (stopped)
            break;
        lcn += n;
        count -= n;
    }
    if (unreadable != 0) {
        (void)file.Close();
        Fail(currentPath_, std::to_string(unreadable) + " clusters could not be read and were written as zeros.");
        return false;
    }
    return true;
}

bool TThreadRecover::StopsInsideFile()
{
    return job_.StopInsideFatFiles && Terminated();
}

std::optional<std::uint64_t> TThreadRecover::CopyFatRun(platform::OutputFile& file, std::uint32_t first,
                                                        std::uint64_t count, std::uint64_t size, std::uint64_t& written)
{
    TFAT32& fat = *fat_;
    const std::uint64_t clusterBytes = fat.ClusterBytes();
    const std::uint64_t maxRun = std::max<std::uint64_t>(1, kChunkBytes / clusterBytes);
    std::uint64_t done = 0;
    // A FAT file is finished after a stop, unless the job stops inside
    // files: then the copy ends between chunks and between the clusters of
    // a chunk that failed, each of which can take long on a failing disk.
    while (done < count && written < size && !StopsInsideFile()) {
        const std::uint32_t cluster = first + static_cast<std::uint32_t>(done);
        // Clusters past the file's size are not read.
        const std::uint64_t needed = (size - written + clusterBytes - 1) / clusterBytes;
        const std::uint64_t run = std::min({count - done, maxRun, needed});
        buffer_.resize(static_cast<std::size_t>(run * clusterBytes));
        std::uint64_t readable = run;
        const std::uint64_t spc = fat.SectorsPerCluster();
        const bool inside = cluster >= 2 && cluster + run - 1 < fat.ClusterLimit();
        if (!inside || fat.ReadSectors(static_cast<std::uint32_t>(run * spc), buffer_,
                                       static_cast<std::uint64_t>(cluster) * spc + fat.DataStart - 2 * spc)) {
            // Find the first cluster that cannot be read: the copy ends there.
            readable = 0;
            while (readable < run && !(job_.StopInsideFatFiles && StopRequested())) {
                bool failed = false;
                TMemoryStream one = fat.ReadCluster(cluster + static_cast<std::uint32_t>(readable), failed);
                if (failed)
                    break;
                std::memcpy(buffer_.data() + readable * clusterBytes, one.Bytes().data(), clusterBytes);
                ++readable;
            }
        }
        const std::uint64_t chunk = std::min(readable * clusterBytes, size - written);
        if (chunk > 0 && !file.Write(std::span(buffer_.data(), static_cast<std::size_t>(chunk)))) {
            Fail(currentPath_, file.Error());
            return std::nullopt;
        }
        written += chunk;
        if (size != 0)
            SetProgress(static_cast<int>(std::nearbyint(static_cast<double>(written) * 100.0 / static_cast<double>(size))));
        done += readable;
        if (readable < run)
            break;
    }
    return done;
}

void TThreadRecover::RecoverFatFile(std::uint32_t firstCluster, platform::TargetFolder& folder,
                                    const std::string& targetName, bool deleted, std::uint64_t size,
                                    std::uint32_t fatEntry)
{
    TFAT32& fat = *fat_;
    if (job_.MaxFileBytes != 0)
        size = std::min(size, job_.MaxFileBytes);
    SetProgress(0);
    platform::OutputFile* file = CreateTarget(folder, targetName);
    if (!file)
        return;
    std::uint64_t written = 0;
    std::string incomplete;
    if (deleted) {
        // The chain of a deleted file is gone: its clusters are placed by the
        // job's rule, from what the search learnt of the volume.
        const TFatDeletedMap* map = fat.DeletedMap();
        const TFatPlacement placement = map != nullptr && fatEntry != kNoFatEntry
                                            ? map->Placement(fatEntry, job_.FatClusters, fat)
                                            : TFatDeletedMap::ConsecutivePlacement(firstCluster, size, fat);
        if (placement.Ambiguous)
            ++summary_.AmbiguousPlacements;
        sink_.FatClustersPlaced(currentPath_, placement.Rule, placement.Ambiguous);
        sink_.FatRunsPlaced(currentPath_, placement);
        for (const TFatRun& run : placement.Runs) {
            if (written >= size)
                break;
            const auto copied = CopyFatRun(*file, run.First, run.Count, size, written);
            if (!copied)
                return;
            if (StopsInsideFile())
                break;
            if (*copied < run.Count && written < size) {
                incomplete = "Cluster " + std::to_string(run.First + *copied) + " cannot be read";
                break;
            }
        }
        if (incomplete.empty() && written < size && !StopsInsideFile())
            incomplete = "The clusters after the file's first run lie outside the volume";
    } else {
        const std::uint32_t end = fat.EndOfChain();
        std::uint32_t cluster = firstCluster;
        // A damaged FAT can make a live file's chain loop; the runs would then
        // repeat up to the file's size. Brent's cycle test on the runs' first
        // clusters finds it without memory.
        std::uint32_t tortoise = firstCluster;
        std::uint64_t power = 1;
        std::uint64_t steps = 0;
        const std::uint64_t clusterBytes = fat.ClusterBytes();
        const std::uint64_t maxRun = std::max<std::uint64_t>(1, kChunkBytes / clusterBytes);
        while (cluster < end && cluster >= 2 && written < size) {
            // As far as the chain goes on in order is read at once.
            std::uint64_t run = 1;
            std::uint32_t next = 0;
            for (;;) {
                const std::uint32_t last = cluster + static_cast<std::uint32_t>(run) - 1;
                next = fat.GetFATEntry(last);
                const bool more = written + run * clusterBytes < size && run < maxRun && next == last + 1 &&
                                  next >= 2 && next < end && next < fat.ClusterLimit();
                if (!more)
                    break;
                ++run;
            }
            const auto copied = CopyFatRun(*file, cluster, run, size, written);
            if (!copied)
                return;
            if (StopsInsideFile())
                break;
            if (*copied < run && written < size) {
                incomplete = "Cluster " + std::to_string(cluster + *copied) + " cannot be read";
                break;
            }
            cluster = next;
            if (written < size) {
                if (cluster == tortoise) {
                    incomplete = "The file's cluster chain runs in a loop";
                    break;
                }
                if (++steps == power) {
                    tortoise = cluster;
                    power *= 2;
                    steps = 0;
                }
            }
        }
        if (incomplete.empty() && written < size && !StopsInsideFile())
            incomplete = "The file's cluster chain ends early";
    }
    SetProgress(0);
    if (!incomplete.empty()) {
        (void)file->Close();
        Fail(currentPath_, IncompleteMessage(written, size, incomplete));
        return;
    }
    FinishTarget(*file, written);
}

} // namespace salvage
