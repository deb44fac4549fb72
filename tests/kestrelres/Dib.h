#pragma once
// Reading the device-independent bitmaps the resource library stores (in
// BMP, ICO and CUR files, and in Windows' bitmap and icon resources), bounds
// checked. Plain C++: the Qt test and the Windows test share it.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace dib {

inline std::uint32_t Le16(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0] | p[1] << 8);
}

inline std::uint32_t Le32(const unsigned char* p)
{
    return Le16(p) | Le16(p + 2) << 16;
}

// BITMAPINFOHEADER and what follows it.
struct Header {
    int width = 0;
    int height = 0;       // twice the image's height in icons and cursors (colours, then mask)
    int planes = 0;
    int bits = 0;
    int compression = 0;
    int colours = 0;      // entries of the colour table
    std::size_t size = 0; // header, colour table and rows, as the header describes them
};

inline constexpr std::size_t kHeaderSize = 40;

inline std::size_t RowBytes(int width, int bits)
{
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
}

// The header at data, or nothing when it is not a BITMAPINFOHEADER of an
// uncompressed bottom-up bitmap, or its rows run past size. A masked DIB
// (icon, cursor) holds its colour rows, then a one-bit mask, each
// height / 2 rows high.
inline std::optional<Header> Read(const unsigned char* data, std::size_t size, bool masked)
{
    if (size < kHeaderSize || Le32(data) != kHeaderSize)
        return std::nullopt;
    Header h;
    h.width = static_cast<int>(Le32(data + 4));
    h.height = static_cast<int>(Le32(data + 8));
    h.planes = static_cast<int>(Le16(data + 12));
    h.bits = static_cast<int>(Le16(data + 14));
    h.compression = static_cast<int>(Le32(data + 16));
    const std::uint32_t used = Le32(data + 32);
    if (h.width <= 0 || h.width > 4096 || h.height <= 0 || h.height > 4096 || (masked && h.height % 2 != 0))
        return std::nullopt;
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 24 && h.bits != 32)
        return std::nullopt;
    h.colours = h.bits <= 8 ? static_cast<int>(used == 0 ? 1u << h.bits : used) : 0;
    if (h.colours > 256)
        return std::nullopt;
    const int rows = masked ? h.height / 2 : h.height;
    h.size = kHeaderSize + static_cast<std::size_t>(h.colours) * 4 + RowBytes(h.width, h.bits) * rows +
             (masked ? RowBytes(h.width, 1) * rows : 0);
    if (h.size > size)
        return std::nullopt;
    return h;
}

// Whether the mask of a masked DIB clears pixel (x, y), y counted from the top.
inline bool Clear(const unsigned char* data, const Header& h, int x, int y)
{
    const int rows = h.height / 2;
    const std::size_t mask = kHeaderSize + static_cast<std::size_t>(h.colours) * 4 + RowBytes(h.width, h.bits) * rows;
    const unsigned char* row = data + mask + RowBytes(h.width, 1) * static_cast<std::size_t>(rows - 1 - y);
    return (row[x / 8] & (0x80 >> (x % 8))) != 0;
}

} // namespace dib
