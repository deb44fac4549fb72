#include "salvage/fs/TextConvert.h"

#include "platform/Utf16.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

namespace salvage {
namespace {

// Code page 437, bytes 0x80 to 0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

} // namespace

std::string Utf16UnitsToUtf8(std::u16string_view units)
{
    // Unpaired surrogates, and the padding value 0xFFFF of long names,
    // cannot stand in a name: they become "?". The text is made on the
    // stack (three bytes a unit at most) and copied into a string of its
    // exact size: a volume's worth of names is kept.
    std::array<char, 1024> onStack;
    std::unique_ptr<char[]> onHeap;
    char* out = onStack.data();
    if (units.size() * 3 > onStack.size()) {
        onHeap = std::make_unique<char[]>(units.size() * 3);
        out = onHeap.get();
    }
    char* p = out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u < 0x80) {
            *p++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *p++ = static_cast<char>(0xC0 | (u >> 6));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (u == 0xFFFF) {
            *p++ = '?';
        } else if (u < 0xD800 || u > 0xDFFF) {
            *p++ = static_cast<char>(0xE0 | (u >> 12));
            *p++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
            *p++ = static_cast<char>(0xF0 | (cp >> 18));
            *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *p++ = '?';  // a surrogate without its other half
        }
    }
    return std::string(out, p);
}

std::string Utf16LeToUtf8(ByteSpan bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(LoadLE16(bytes, i));
    return Utf16UnitsToUtf8(units);
}

std::string OemToUtf8(std::string_view oem)
{
    std::string out;
    out.reserve(oem.size());
    for (const char ch : oem) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else
            platform::AppendUtf8(out, kCp437High[b - 0x80]);
    }
    return out;
}

void ReplaceFirstChar(std::string& text, char c)
{
    if (text.empty())
        return;
    std::size_t len = 1;
    while (static_cast<unsigned char>(text[0]) >= 0xC0 && len < text.size() && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80)
        ++len;
    text.replace(0, len, 1, c);
}

} // namespace salvage
