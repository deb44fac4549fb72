#pragma once
// The attribute walk of a record, inlined for the walks that run once per
// MFT record (TNTFS::ForEachAttribute is the same walk behind a function).

#include "salvage/fs/NTFS.h"

namespace salvage::ntfs {

// Each attribute takes at least a resident header, so a record holds at most
// this many; the walk never takes more steps.
[[nodiscard]] constexpr std::size_t MaxAttributes(std::size_t recordSize) noexcept
{
    return recordSize / kResidentHeaderSize + 1;
}

// Calls visit(attribute, offset) for each usable attribute of `record` in
// order until it returns false. The walk ends at the end marker, at a length
// of 0 or past the record, and after MaxAttributes steps.
template <typename Visit>
void WalkAttributes(ByteSpan record, Visit&& visit)
{
    std::size_t offset = LoadLE16(record, kRecFirstAttribute);
    if (offset < kRecHeaderSize)
        return;  // attributes would overlap the header
    for (std::size_t n = 0; n < MaxAttributes(record.size()); ++n) {
        if (!InBounds(record.size(), offset, 4) || LoadLE32(record, offset) == kAttrEnd)
            return;
        // A length of 0 or one past the record ends the walk: nothing after
        // it can be located.
        const std::size_t length = LoadLE32(record, offset + kAttrLength);
        if (length < kResidentHeaderSize || !InBounds(record.size(), offset, length))
            return;
        if (const auto attribute = TNTFSAttribute::At(record, offset); attribute && !visit(*attribute, offset))
            return;
        offset += length;
    }
}

} // namespace salvage::ntfs
