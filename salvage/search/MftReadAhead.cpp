#include "salvage/search/MftReadAhead.h"

#include "salvage/fs/NTFS.h"

#include <algorithm>
#include <exception>
#include <system_error>

namespace salvage {

TMftReadAhead::TMftReadAhead(const TNTFS& ntfs, std::uint64_t recordCount, std::size_t perChunk)
    : ntfs_(ntfs), recordCount_(recordCount), perChunk_(std::max<std::size_t>(perChunk, 1)),
      recordSize_(ntfs.RecordSize())
{
    // A small MFT takes one buffer of its own size and no thread.
    const std::size_t chunkBytes = static_cast<std::size_t>(std::min<std::uint64_t>(perChunk_, recordCount_)) * recordSize_;
    slots_[0].bytes.resize(chunkBytes);
    if (recordCount_ > perChunk_) {
        slots_[1].bytes.resize(chunkBytes);
        try {
            thread_ = std::thread(&TMftReadAhead::ReadLoop, this);
        } catch (const std::system_error&) {
            // No thread to be had: the chunks are read on the caller's.
        }
    }
}

TMftReadAhead::~TMftReadAhead()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void TMftReadAhead::ReadInto(Slot& slot, std::uint64_t first)
{
    slot.chunk.First = first;
    slot.chunk.Count = first < recordCount_ ? std::min<std::uint64_t>(perChunk_, recordCount_ - first) : 0;
    slot.chunk.Read = false;
    try {
        slot.chunk.Read = slot.chunk.Count != 0 && ntfs_.ReadRawMFTRecords(first, slot.chunk.Count, slot.bytes);
    } catch (const std::exception&) {
        // Read record by record instead, by the caller.
    }
    slot.chunk.Bytes = std::span(slot.bytes).first(static_cast<std::size_t>(slot.chunk.Count) * recordSize_);
}

void TMftReadAhead::ReadLoop()
{
    // Chunk k goes into slot k mod 2, once the caller has given it back.
    std::uint64_t first = 0;
    for (unsigned k = 0; first < recordCount_; k ^= 1u, first += perChunk_) {
        Slot& slot = slots_[k];
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || !slot.full; });
            if (stop_)
                return;
        }
        // The slot is the reader's alone until it is marked full.
        ReadInto(slot, first);
        {
            std::lock_guard lock(mutex_);
            slot.full = true;
        }
        changed_.notify_all();
    }
}

TMftReadAhead::Chunk TMftReadAhead::Next()
{
    if (nextFirst_ >= recordCount_)
        return {nextFirst_, 0, false, {}};
    // Without a thread one slot serves: the chunk before is given back now.
    Slot& slot = slots_[thread_.joinable() ? nextSlot_ : 0];
    if (!thread_.joinable()) {
        ReadInto(slot, nextFirst_);
    } else {
        std::unique_lock lock(mutex_);
        if (handedOut_)
            slots_[nextSlot_ ^ 1u].full = false;  // the chunk handed out before is given back
        handedOut_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return slot.full; });
    }
    nextFirst_ += perChunk_;
    nextSlot_ ^= 1u;
    return slot.chunk;
}

} // namespace salvage
