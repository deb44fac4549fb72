#pragma once
// LZNT1, the compression of NTFS compressed files: a compression unit is
// stored as a sequence of chunks, each standing for 4096 bytes of data.
// A chunk starts with a 16-bit header: the low 12 bits are the chunk's size
// in bytes minus 3 (header included), bits 12 to 14 hold the signature 3,
// bit 15 says the chunk is compressed. A header of 0 ends the unit.
//
// A compressed chunk is a series of groups: a flag byte, then eight tokens,
// one per flag bit from the lowest; bit 0 is a literal byte, bit 1 a 16-bit
// back reference whose split between offset and length depends on how much
// of the chunk has been produced so far (the more, the more offset bits).
//
// The input comes from the disk: every read and every copy is checked, and a
// unit that cannot be decoded is refused rather than guessed at.

#include "salvage/disk/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace salvage::ntfs {

inline constexpr std::size_t kLznt1ChunkBytes = 4096;  // data one chunk stands for

enum class TLznt1Result {
    Ok,       // the whole output was filled (short chunks and a short unit padded with zeros)
    Corrupt,  // a header, token or reference that cannot be right; the output is undefined
};

// Decodes one compression unit from `in` into `out` (the unit's size, a
// multiple of 4096 bytes). Data ending early (a 0 header, or the input's
// end) leaves zeros, as the file system reads it; chunks past the output are
// not looked at.
[[nodiscard]] TLznt1Result Lznt1Decompress(ByteSpan in, std::span<std::uint8_t> out) noexcept;

} // namespace salvage::ntfs
