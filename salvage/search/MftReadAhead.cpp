#include "salvage/search/MftReadAhead.h"

#include "salvage/fs/NTFS.h"

#include <algorithm>
#include <system_error>

namespace salvage {

TMftReadAhead::TMftReadAhead(const TNTFS& ntfs, std::uint64_t recordCount, std::size_t perChunk, unsigned workers,
                             Prepare prepare)
    : ntfs_(ntfs), recordCount_(recordCount), perChunk_(std::max<std::size_t>(perChunk, 1)),
      recordSize_(ntfs.RecordSize()), chunkCount_((recordCount + perChunk_ - 1) / perChunk_),
      prepare_(std::move(prepare))
{
    // A small MFT takes one buffer of its own size and no thread; otherwise
    // each worker fills a slot while the caller holds one more.
    const std::size_t chunkBytes = static_cast<std::size_t>(std::min<std::uint64_t>(perChunk_, recordCount_)) * recordSize_;
    workers = std::max(workers, 1u);
    slots_.resize(chunkCount_ > 1 ? workers + 1 : 1);
    for (Slot& slot : slots_)
        slot.bytes.resize(chunkBytes);
    if (chunkCount_ <= 1)
        return;
    try {
        for (unsigned w = 0; w < workers; ++w)
            threads_.emplace_back(&TMftReadAhead::ReadLoop, this, w);
    } catch (const std::system_error&) {
        // Fewer threads, or none: then the chunks are read on the caller's.
    }
}

TMftReadAhead::~TMftReadAhead()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    slotFree_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void TMftReadAhead::Fill(Slot& slot, unsigned index, std::uint64_t chunk, unsigned worker)
{
    const std::uint64_t first = chunk * perChunk_;
    slot.chunk.First = first;
    slot.chunk.Count = std::min<std::uint64_t>(perChunk_, recordCount_ - first);
    slot.chunk.Slot = index;
    slot.chunk.Read = false;
    slot.failure = nullptr;
    try {
        slot.chunk.Read = ntfs_.ReadRawMFTRecords(first, slot.chunk.Count, slot.bytes);
    } catch (const std::exception&) {
        // Read record by record instead, by whoever takes the chunk apart.
    }
    slot.chunk.Bytes = std::span(slot.bytes).first(static_cast<std::size_t>(slot.chunk.Count) * recordSize_);
    if (prepare_) {
        try {
            prepare_(slot.chunk, worker);
        } catch (...) {
            slot.failure = std::current_exception();
        }
    }
}

void TMftReadAhead::ReadLoop(unsigned worker)
{
    // Chunk k goes into slot k mod SlotCount(), once the caller has given
    // back the chunk that was there.
    for (;;) {
        std::uint64_t chunk = 0;
        unsigned index = 0;
        bool last = false;
        {
            std::unique_lock lock(mutex_);
            slotFree_.wait(lock, [&] {
                return stop_ || claimed_ >= chunkCount_ || slots_[claimed_ % slots_.size()].state == State::Free;
            });
            if (stop_ || claimed_ >= chunkCount_)
                return;
            chunk = claimed_++;
            last = claimed_ == chunkCount_;
            index = static_cast<unsigned>(chunk % slots_.size());
            slots_[index].state = State::Reading;
        }
        if (last)
            slotFree_.notify_all();  // the other workers are done
        // The slot is this worker's alone until it is marked full.
        Fill(slots_[index], index, chunk, worker);
        {
            std::lock_guard lock(mutex_);
            slots_[index].state = State::Full;
        }
        slotFull_.notify_one();  // only the caller waits for a full slot
    }
}

TMftReadAhead::Chunk TMftReadAhead::Next()
{
    if (nextChunk_ >= chunkCount_)
        return {recordCount_, 0, false, {}, 0};
    Slot* slot = nullptr;
    if (threads_.empty()) {
        // Without a thread one slot serves: the chunk before is given back now.
        slot = &slots_[0];
        Fill(*slot, 0, nextChunk_, 0);
    } else {
        const unsigned index = static_cast<unsigned>(nextChunk_ % slots_.size());
        std::unique_lock lock(mutex_);
        if (handedOut_) {
            slots_[(nextChunk_ - 1) % slots_.size()].state = State::Free;
            slotFree_.notify_one();  // the workers all wait for the same next slot
        }
        handedOut_ = true;
        slotFull_.wait(lock, [&] { return slots_[index].state == State::Full; });
        slot = &slots_[index];
        slot->state = State::HandedOut;
    }
    ++nextChunk_;
    if (slot->failure)
        std::rethrow_exception(slot->failure);
    return slot->chunk;
}

} // namespace salvage
