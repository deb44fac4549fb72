#pragma once
// Names from the disk, converted to the program's UTF-8 strings. What cannot
// be represented becomes "?".

#include "salvage/disk/Bytes.h"

#include <string>
#include <string_view>

namespace salvage {

// UTF-16LE units taken from `bytes` (an odd trailing byte is ignored).
// Unpaired surrogates and the padding value 0xFFFF become "?".
[[nodiscard]] std::string Utf16LeToUtf8(ByteSpan bytes);

// Appends one UTF-16 code unit sequence (already decoded to units).
[[nodiscard]] std::string Utf16UnitsToUtf8(std::u16string_view units);

// A short name in the OEM character set (code page 437) as UTF-8.
[[nodiscard]] std::string OemToUtf8(std::string_view oem);

// Replaces the first character (a whole UTF-8 sequence) of text by `c`.
void ReplaceFirstChar(std::string& text, char c);

} // namespace salvage
