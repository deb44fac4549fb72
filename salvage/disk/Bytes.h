#pragma once
// Little-endian field loads from byte spans. Every load is bounds-checked:
// a field that does not lie inside the span reads as 0, so a forgotten check
// can give a wrong value but never an overread. Parsers still check structure
// bounds first (header, then offsets, then lengths by subtraction).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace salvage {

using ByteSpan = std::span<const std::uint8_t>;

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
// Written so that it cannot overflow.
[[nodiscard]] constexpr bool InBounds(std::size_t size, std::size_t offset, std::size_t length) noexcept
{
    return offset <= size && length <= size - offset;
}

[[nodiscard]] inline std::uint8_t LoadU8(ByteSpan b, std::size_t off) noexcept
{
    return off < b.size() ? b[off] : 0;
}

[[nodiscard]] inline std::uint16_t LoadLE16(ByteSpan b, std::size_t off) noexcept
{
    if (!InBounds(b.size(), off, 2))
        return 0;
    return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

[[nodiscard]] inline std::uint32_t LoadLE32(ByteSpan b, std::size_t off) noexcept
{
    if (!InBounds(b.size(), off, 4))
        return 0;
    return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
           (static_cast<std::uint32_t>(b[off + 2]) << 16) | (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

[[nodiscard]] inline std::uint64_t LoadLE64(ByteSpan b, std::size_t off) noexcept
{
    if (!InBounds(b.size(), off, 8))
        return 0;
    return static_cast<std::uint64_t>(LoadLE32(b, off)) | (static_cast<std::uint64_t>(LoadLE32(b, off + 4)) << 32);
}

// Unsigned little-endian integer of 0 to 8 bytes (data-run fields).
[[nodiscard]] inline std::uint64_t LoadLEVar(ByteSpan b, std::size_t off, std::size_t width) noexcept
{
    if (width > 8 || !InBounds(b.size(), off, width))
        return 0;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v |= static_cast<std::uint64_t>(b[off + i]) << (8 * i);
    return v;
}

// Signed little-endian integer of 1 to 8 bytes, sign-extended from its top byte.
[[nodiscard]] inline std::int64_t LoadLEVarSigned(ByteSpan b, std::size_t off, std::size_t width) noexcept
{
    if (width == 0 || width > 8 || !InBounds(b.size(), off, width))
        return 0;
    std::uint64_t v = LoadLEVar(b, off, width);
    if (width < 8 && (b[off + width - 1] & 0x80) != 0)
        v |= ~std::uint64_t{0} << (8 * width);
    return static_cast<std::int64_t>(v);
}

// A fixed-width text field, trimmed of spaces and control characters at both
// ends (type texts in boot sectors are space-padded).
[[nodiscard]] inline std::string_view TrimmedField(ByteSpan b, std::size_t off, std::size_t width) noexcept
{
    if (!InBounds(b.size(), off, width))
        return {};
    const char* p = reinterpret_cast<const char*>(b.data() + off);
    std::size_t first = 0;
    std::size_t last = width;
    while (first < last && static_cast<unsigned char>(p[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(p[last - 1]) <= 0x20)
        --last;
    return {p + first, last - first};
}

} // namespace salvage
