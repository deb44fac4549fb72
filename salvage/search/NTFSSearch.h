#pragma once
// The worker that analyses an NTFS volume: it visits every MFT record in
// record-number order and reports each one that carries a name, live or
// deleted, as a directory or a file. Rebuilding the tree (parents that arrive
// after their children) is the sink's business.

#include "platform/Volume.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/search/SearchSink.h"
#include "salvage/search/WorkerThread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace salvage {

class TNTFS;

class TNTFSSearch final : public TWorkerThread {
public:
    // Searches with a reader that is open already (the analysis's); the
    // reader must outlive the worker and serve nobody else while it runs.
    // `estimateCondition` is the setting "Determinate file's recovery
    // probability"; it is read again for every deleted file.
    TNTFSSearch(TNTFS& ntfs, TSearchSink& sink, bool estimateCondition);
    // Opens a reader of its own on the worker's thread, over the drive's
    // volume or a volume that is already open (a partition, a memory
    // volume); a volume that cannot be opened is reported through Failed().
    TNTFSSearch(const TLogicalDisk& disk, TSearchSink& sink, bool estimateCondition);
    TNTFSSearch(platform::VolumePtr volume, TSearchSink& sink, bool estimateCondition);
    ~TNTFSSearch() override;

    void SetEstimateCondition(bool on) noexcept { estimateCondition_.store(on, std::memory_order_relaxed); }
    // The named streams of the file system's own files ($Secure:$SDS,
    // $UsnJrnl:$J, ...) are left out unless this is set before the start.
    void SetListSystemStreams(bool on) noexcept { systemStreams_ = on; }
    // How many MFT records one read takes (0, the default: about 1 MiB of
    // them); the next read runs while the records of the last are decoded.
    // Set before the start.
    void SetRecordsPerRead(std::size_t records) noexcept { recordsPerRead_ = records; }
    // How many threads read and take apart the MFT's chunks (the default:
    // two, one per core of a small machine); the reports reach the sink in
    // record order however many there are. Set before the start.
    void SetDecodeThreads(unsigned threads) noexcept { decodeThreads_ = threads; }

    // Number of MFT records, known once the volume is open (0 before, or
    // when it could not be opened).
    [[nodiscard]] std::uint64_t RecordCount() const noexcept { return recordCount_.load(std::memory_order_acquire); }

protected:
    void Execute() override;

private:
    void Visit(TNTFS& ntfs);

    TNTFS* borrowed_ = nullptr;
    TLogicalDisk disk_;
    platform::VolumePtr volume_;
    TSearchSink& sink_;
    std::atomic<bool> estimateCondition_;
    bool systemStreams_ = false;
    std::size_t recordsPerRead_ = 0;
    unsigned decodeThreads_ = 2;
    std::atomic<std::uint64_t> recordCount_{0};
};

} // namespace salvage
