#include "salvage/search/MatchName.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace salvage {

namespace {

// A byte that does not start a valid UTF-8 sequence stands for itself, in a
// range no real character uses, so it matches only the same byte.
constexpr char32_t kRawByte = 0x110000;

std::vector<char32_t> Decode(std::string_view text)
{
    std::vector<char32_t> out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        if (b < 0x80) {
            length = 1;
            c = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1Fu;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0Fu;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07u;
        }
        bool valid = length != 0 && length <= text.size() - i;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            if ((next & 0xC0u) != 0x80u)
                valid = false;
            else
                c = (c << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no characters.
        if (valid && ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
                      (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out.push_back(kRawByte + b);
            ++i;
            continue;
        }
        out.push_back(c);
        i += length;
    }
    return out;
}

// Upper case of the letters names are written in: Latin (ASCII, Latin-1,
// Latin Extended-A), Greek and Cyrillic. Other characters stay as they are.
char32_t Upper(char32_t c)
{
    if (c >= U'a' && c <= U'z')
        return c - 0x20;
    if (c < 0x80)
        return c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Pairs of capital and small letter; the pairs shift by one between
        // U+0139 and U+0148 and again from U+0179.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 0) ? c - 1 : c;
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;  // dotless i, kra, 'n, long s: no pair here
        return (c % 2 == 1) ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9)
        return c == 0x3C2 ? 0x3A3 : c - 0x20;  // final sigma is a sigma
    if (c >= 0x3AC && c <= 0x3AF) {
        static constexpr char32_t kTonos[] = {0x386, 0x388, 0x389, 0x38A};
        return kTonos[c - 0x3AC];
    }
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

std::vector<char32_t> UpperText(std::string_view text)
{
    std::vector<char32_t> out = Decode(text);
    std::transform(out.begin(), out.end(), out.begin(), Upper);
    return out;
}

// Where the set that opens at mask[at] ("[") ends (the index of its "]"),
// or 0 when no complete set opens there. A "]" right after "[" or "[!" is
// a member, not the end.
std::size_t SetEnd(const std::vector<char32_t>& mask, std::size_t at)
{
    std::size_t i = at + 1;
    if (i < mask.size() && mask[i] == U'!')
        ++i;
    if (i < mask.size() && mask[i] == U']')
        ++i;
    for (; i < mask.size(); ++i)
        if (mask[i] == U']')
            return i;
    return 0;
}

// Whether c is in the set mask[at] .. mask[end] ("[" ... "]").
bool InSet(const std::vector<char32_t>& mask, std::size_t at, std::size_t end, char32_t c)
{
    std::size_t i = at + 1;
    const bool negated = mask[i] == U'!';
    if (negated)
        ++i;
    bool found = false;
    for (; i < end; ++i) {
        char32_t low = mask[i];
        char32_t high = low;
        // "a-z": a range; a "-" first or last in the set is a member.
        if (i + 2 < end && mask[i + 1] == U'-') {
            high = mask[i + 2];
            i += 2;
        }
        if (low > high)
            std::swap(low, high);
        if (c >= low && c <= high)
            found = true;
    }
    return found != negated;
}

bool MatchUpper(const std::vector<char32_t>& name, const std::vector<char32_t>& mask, bool sets)
{
    // The classic walk with one remembered star: on a mismatch the last star
    // takes one more character. Linear in the mask for each star position,
    // so at most name x mask steps, and names are short.
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size()) {
            const char32_t p = mask[m];
            if (p == U'*') {
                starMask = m++;
                starName = n;
                continue;
            }
            if (p == U'?') {
                ++m;
                ++n;
                continue;
            }
            if (p == U'[' && sets) {
                if (const std::size_t end = SetEnd(mask, m); end != 0) {
                    if (InSet(mask, m, end, name[n])) {
                        m = end + 1;
                        ++n;
                        continue;
                    }
                } else if (p == name[n]) {
                    ++m;
                    ++n;
                    continue;
                }
            } else if (p == name[n]) {
                ++m;
                ++n;
                continue;
            }
        }
        if (starMask == std::string_view::npos)
            return false;
        m = starMask + 1;
        n = ++starName;
    }
    while (m < mask.size() && mask[m] == U'*')
        ++m;
    return m == mask.size();
}

} // namespace

bool MatchMask(std::string_view name, std::string_view mask, bool sets)
{
    return MatchUpper(UpperText(name), UpperText(mask), sets);
}

bool MatchName(std::string_view name, std::string_view pattern, bool sets)
{
    if (pattern.empty())
        return true;
    if (pattern.find_first_of("*?") != std::string_view::npos)
        return MatchMask(name, pattern, sets);
    const std::vector<char32_t> upperName = UpperText(name);
    const std::vector<char32_t> upperPattern = UpperText(pattern);
    return std::search(upperName.begin(), upperName.end(), upperPattern.begin(), upperPattern.end()) !=
           upperName.end();
}

} // namespace salvage
