#pragma once
// The size texts shown wherever a size appears, and their inverse used to
// compare them.

#include <cstdint>
#include <string>
#include <string_view>

namespace salvage {

// Negative: empty. Above 10 GiB "%1.2f Gb" (of 2^30), above 1 MiB "%1.2f Mb",
// above 1024 "%1.2f kb", else "%u bytes". Gb is used only above 10 GiB, so
// 5 GiB reads "5120.00 Mb". `decimal` is the user's decimal separator.
[[nodiscard]] std::string FormatSize(std::int64_t bytes, char decimal = '.');

// The number before the first blank (or the whole text), times 2^30, 2^20 or
// 1024 when the text holds "Gb", "Mb" or "kb" (tested in that order),
// truncated toward zero. Empty text, and text that is not a number, give 0.
[[nodiscard]] std::int64_t ParseSize(std::string_view text, char decimal = '.');

} // namespace salvage
