#include "salvage/fs/Lznt1.h"

#include <algorithm>

namespace salvage::ntfs {

namespace {

constexpr std::uint16_t kChunkSizeMask = 0x0FFF;
constexpr std::uint16_t kChunkSignatureMask = 0x7000;
constexpr std::uint16_t kChunkSignature = 0x3000;
constexpr std::uint16_t kChunkCompressed = 0x8000;
constexpr std::size_t kChunkHeaderBytes = 2;
constexpr unsigned kMinMatch = 3;

// Bits of a back reference that hold the length, for a reference made after
// `produced` bytes of the chunk: 12 up to 16 bytes in, one fewer for every
// doubling after that, down to 4 at the chunk's end.
[[nodiscard]] unsigned LengthBits(std::size_t produced) noexcept
{
    unsigned bits = 12;
    for (std::size_t p = produced - 1; p >= 0x10; p >>= 1)
        --bits;
    return bits;
}

// One compressed chunk: `in` is its data (after the header), `out` the
// (at most 4096) bytes it stands for. Returns the bytes produced, or
// nullopt-like -1 when a token cannot be right.
[[nodiscard]] std::ptrdiff_t DecodeChunk(ByteSpan in, std::span<std::uint8_t> out) noexcept
{
    std::size_t ip = 0;
    std::size_t op = 0;
    while (ip < in.size() && op < out.size()) {
        const std::uint8_t flags = in[ip++];
        for (unsigned bit = 0; bit < 8 && ip < in.size() && op < out.size(); ++bit) {
            if ((flags >> bit & 1) == 0) {
                out[op++] = in[ip++];
                continue;
            }
            if (!InBounds(in.size(), ip, 2))
                return -1;
            // A reference needs something to refer to.
            if (op == 0)
                return -1;
            const std::uint16_t token = static_cast<std::uint16_t>(in[ip] | (in[ip + 1] << 8));
            ip += 2;
            const unsigned lengthBits = LengthBits(op);
            const std::size_t back = (static_cast<std::size_t>(token) >> lengthBits) + 1;
            const std::size_t length = (token & ((1u << lengthBits) - 1)) + kMinMatch;
            if (back > op || length > out.size() - op)
                return -1;
            // Byte by byte: a reference may overlap what it produces.
            for (std::size_t i = 0; i < length; ++i, ++op)
                out[op] = out[op - back];
        }
    }
    return static_cast<std::ptrdiff_t>(op);
}

} // namespace

TLznt1Result Lznt1Decompress(ByteSpan in, std::span<std::uint8_t> out) noexcept
{
    std::size_t ip = 0;
    std::size_t op = 0;
    // Every chunk takes at least three bytes of input and stands for 4096
    // bytes of output, so the loop ends with either.
    while (op < out.size() && InBounds(in.size(), ip, kChunkHeaderBytes)) {
        const std::uint16_t header = static_cast<std::uint16_t>(in[ip] | (in[ip + 1] << 8));
        if (header == 0)
            break;  // the end of the unit's data: the rest reads as zeros
        if ((header & kChunkSignatureMask) != kChunkSignature)
            return TLznt1Result::Corrupt;
        const std::size_t size = (header & kChunkSizeMask) + 1u;
        ip += kChunkHeaderBytes;
        if (!InBounds(in.size(), ip, size))
            return TLznt1Result::Corrupt;
        const ByteSpan data = in.subspan(ip, size);
        const auto chunkOut = out.subspan(op, std::min(kLznt1ChunkBytes, out.size() - op));
        std::size_t produced = 0;
        if ((header & kChunkCompressed) != 0) {
            const std::ptrdiff_t n = DecodeChunk(data, chunkOut);
            if (n < 0)
                return TLznt1Result::Corrupt;
            produced = static_cast<std::size_t>(n);
        } else {
            // A chunk that would not compress is stored as it is.
            if (size > chunkOut.size())
                return TLznt1Result::Corrupt;
            std::copy(data.begin(), data.end(), chunkOut.begin());
            produced = size;
        }
        // A chunk that produced less than 4096 bytes is padded with zeros.
        std::fill(chunkOut.begin() + static_cast<std::ptrdiff_t>(produced), chunkOut.end(), std::uint8_t{0});
        op += chunkOut.size();
        ip += size;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(op), out.end(), std::uint8_t{0});
    return TLznt1Result::Ok;
}

} // namespace salvage::ntfs
