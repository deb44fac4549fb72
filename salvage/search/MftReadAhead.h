#pragma once
// The MFT in chunks of records, in record order, each chunk read on a thread
// of its own while the one before is taken apart: the search's decoding and
// the disk's reading overlap, and the search still sees one chunk at a time.
//
// At most one chunk is read ahead, so stopping (destroying the reader) waits
// for one chunk's read at most. Reads go through TNTFS::ReadRawMFTRecords,
// which only reads what the open volume's setup left unchanged; the caller
// may use the same TNTFS meanwhile.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace salvage {

class TNTFS;

class TMftReadAhead {
public:
    struct Chunk {
        std::uint64_t First = 0;  // first record of the chunk
        std::uint64_t Count = 0;  // records in it; 0 after the last chunk
        bool Read = false;        // false: the chunk could not be read in one go
        std::span<std::uint8_t> Bytes;  // Count x RecordSize raw bytes when Read
    };

    // Records 0 .. recordCount - 1 of `ntfs`, `perChunk` at a time. An MFT
    // of one chunk is read on the caller's thread (so is every chunk when
    // no thread can be started).
    TMftReadAhead(const TNTFS& ntfs, std::uint64_t recordCount, std::size_t perChunk);
    ~TMftReadAhead();
    TMftReadAhead(const TMftReadAhead&) = delete;
    TMftReadAhead& operator=(const TMftReadAhead&) = delete;

    // The next chunk in order, waited for. The bytes of the chunk returned
    // before are given back and may be overwritten from now on.
    [[nodiscard]] Chunk Next();

private:
    struct Slot {
        std::vector<std::uint8_t> bytes;
        Chunk chunk;
        bool full = false;
    };
    void ReadLoop();
    void ReadInto(Slot& slot, std::uint64_t first);

    const TNTFS& ntfs_;
    const std::uint64_t recordCount_;
    const std::size_t perChunk_;
    const std::size_t recordSize_;
    Slot slots_[2];
    std::uint64_t nextFirst_ = 0;  // the caller's next chunk
    unsigned nextSlot_ = 0;
    bool handedOut_ = false;       // the caller holds slots_[1 - nextSlot_]
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace salvage
