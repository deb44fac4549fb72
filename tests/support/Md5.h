#pragma once
// MD5, for checking recovered bytes against published answer keys.

#include <cstdint>
#include <span>
#include <string>

namespace testdata {

[[nodiscard]] std::string Md5Hex(std::span<const std::uint8_t> bytes);

} // namespace testdata
