#pragma once
// The MFT in chunks of records, in record order, each chunk read on a worker
// thread (and, when asked, prepared there: the part of the work on it that
// does not depend on the chunks before) while the caller takes apart the one
// before: the disk's reading, the decoding and the caller's own work overlap,
// and the caller still sees one chunk at a time, in order.
//
// At most one chunk per worker is read ahead, so stopping (destroying the
// reader) waits for one chunk's read and preparation at most. Reads go
// through TNTFS::ReadRawMFTRecords, which only reads what the open volume's
// setup left unchanged; the caller may use the same TNTFS meanwhile.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
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
        unsigned Slot = 0;        // the buffer it is in, below SlotCount()
    };
    // Runs once per chunk after its read, on the thread that read it, before
    // the chunk is handed out; `worker` (below the workers asked for) tells
    // the threads apart, so that each may keep state of its own. What it
    // makes of a chunk belongs with the chunk's Slot. It may change the
    // bytes. An exception it throws reaches the caller of Next() instead of
    // the chunk.
    using Prepare = std::function<void(const Chunk& chunk, unsigned worker)>;

    // Records 0 .. recordCount - 1 of `ntfs`, `perChunk` at a time, read by
    // `workers` threads. An MFT of one chunk is read on the caller's thread
    // (so is every chunk when no thread can be started).
    TMftReadAhead(const TNTFS& ntfs, std::uint64_t recordCount, std::size_t perChunk, unsigned workers = 1,
                  Prepare prepare = {});
    ~TMftReadAhead();
    TMftReadAhead(const TMftReadAhead&) = delete;
    TMftReadAhead& operator=(const TMftReadAhead&) = delete;

    // How many chunks can be held at a time (a chunk's Slot is below it).
    [[nodiscard]] unsigned SlotCount() const noexcept { return static_cast<unsigned>(slots_.size()); }

    // The next chunk in order, waited for. The chunk returned before is
    // given back, and its slot may be overwritten from now on.
    [[nodiscard]] Chunk Next();

private:
    enum class State { Free, Reading, Full, HandedOut };
    struct Slot {
        std::vector<std::uint8_t> bytes;
        Chunk chunk;
        State state = State::Free;
        std::exception_ptr failure;  // thrown by Prepare
    };
    void ReadLoop(unsigned worker);
    void Fill(Slot& slot, unsigned index, std::uint64_t chunk, unsigned worker);

    const TNTFS& ntfs_;
    const std::uint64_t recordCount_;
    const std::size_t perChunk_;
    const std::size_t recordSize_;
    const std::uint64_t chunkCount_;
    const Prepare prepare_;
    std::vector<Slot> slots_;
    std::uint64_t nextChunk_ = 0;  // the caller's next chunk
    std::uint64_t claimed_ = 0;    // the next chunk a worker takes on
    bool handedOut_ = false;       // the caller holds the slot of chunk nextChunk_ - 1
    std::mutex mutex_;
    std::condition_variable slotFree_;  // what the workers wait for (or the end)
    std::condition_variable slotFull_;  // what the caller waits for
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

} // namespace salvage
