#pragma once
// UTF-8 <-> UTF-16 for the registry layer: expandable strings are stored as
// UTF-16LE in .reg files, and the Windows registry speaks UTF-16.

#include <string>
#include <string_view>

namespace platform {

// Bytes that are not valid UTF-8 become "?".
[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view text);

// Unpaired surrogates become "?".
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view text);

[[nodiscard]] bool IsValidUtf8(std::string_view text);

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

} // namespace platform
