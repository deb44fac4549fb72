#pragma once
// A found file's bytes read into memory, bounded, for a look at it before it
// is recovered. The bytes come through the recovery itself (the same reads,
// the same cluster placement, the same checks of the MFT record), written
// into memory instead of a folder: nothing reaches the disk.

#include "salvage/fs/FATPlacement.h"
#include "salvage/search/ResultsTree.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace salvage {

class TAnalysis;
class TThreadRecover;

// How much the bytes can be trusted to be the file's.
enum class TBytesTrust {
    // Where the data lies is recorded on the volume: an NTFS file's data
    // runs, a live FAT file's cluster chain.
    Recorded,
    // A deleted FAT file taken as one run of clusters that nothing else on
    // the volume claims: right unless the file was fragmented.
    OneRun,
    // A deleted FAT file whose clusters were gathered around clusters that
    // other files hold: the free gaps may belong to the file or not.
    Gapped,
    // A deleted FAT file for which the volume allows another placement.
    Ambiguous,
};

// True when nothing on the volume speaks against the bytes.
[[nodiscard]] inline bool BytesKnownRight(TBytesTrust trust) noexcept
{
    return trust == TBytesTrust::Recorded || trust == TBytesTrust::OneRun;
}

// The preview's bound: the first 16 MiB of a file.
inline constexpr std::uint64_t kPreviewBytes = 16u << 20;

struct TFoundFileBytes {
    std::vector<std::uint8_t> Bytes;  // the file's first bytes, at most the bound
    std::uint64_t FileSize = 0;       // the size the results give it
    // The file is larger than the bound: Bytes holds only its start.
    bool Cut = false;
    TBytesTrust Trust = TBytesTrust::Recorded;
    // Why nothing could be read (Bytes empty), or why only part of the file
    // came out (Bytes holds the part that did). Empty when all went well.
    std::string Problem;
    // Something was read (possibly in part, possibly an empty file).
    bool Read = false;
};

// A read of a found file on a thread of its own, for a window that must not
// wait for it: the recovery worker, writing into memory. It holds the
// analysis until it is destroyed, which stops it and waits for its thread;
// the results tree `location` lies in must outlive it.
class TFoundFileRead {
public:
    TFoundFileRead(std::shared_ptr<TAnalysis> analysis, const TFileLocation& location,
                   std::uint64_t maxBytes = kPreviewBytes, TFatClusterRule rule = TFatClusterRule::FreeGaps);
    ~TFoundFileRead();
    TFoundFileRead(const TFoundFileRead&) = delete;
    TFoundFileRead& operator=(const TFoundFileRead&) = delete;

    // Starts the read. `ended` runs on the read's thread, as its last act,
    // once the read has ended by itself; never after a stop.
    void Start(std::function<void()> ended = {});
    // Requests the stop and returns at once; Stop waits for the thread too.
    void RequestStop();
    void Stop();
    // Waits until the read has ended by itself.
    void Wait();
    // Holds the read before its next piece until Resume (or a stop).
    void Suspend();
    void Resume();

    // What was read, once the read has ended by itself (after Wait); taken once.
    [[nodiscard]] TFoundFileBytes Take();

private:
    class TSink;
    TFoundFileBytes out_;
    bool missing_ = false;  // the location names no file
    std::uint64_t limit_ = 0;
    std::unique_ptr<TSink> sink_;
    std::unique_ptr<TThreadRecover> thread_;  // last: it ends before the rest goes
};

// Reads the file at `location` of an analysed volume, no more than
// `maxBytes` of it (0: no bound), deleted FAT files placed by `rule`. Runs
// on the calling thread until the read ends. The volume's reader must be
// free: while a search or recovery holds it, Problem says so.
[[nodiscard]] TFoundFileBytes ReadFoundFile(const std::shared_ptr<TAnalysis>& analysis, const TFileLocation& location,
                                            std::uint64_t maxBytes = kPreviewBytes,
                                            TFatClusterRule rule = TFatClusterRule::FreeGaps);

} // namespace salvage
