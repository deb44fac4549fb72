#include "salvage/search/SizeText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace salvage {

namespace {

constexpr std::int64_t kKb = 1024;
constexpr std::int64_t kMb = 1024 * 1024;
constexpr std::int64_t kGb = 1024 * 1024 * 1024;
constexpr std::int64_t kTenGb = 10 * kGb;

std::string Scaled(std::int64_t bytes, std::int64_t unit, const char* suffix, char decimal)
{
    char text[64];
    std::snprintf(text, sizeof text, "%1.2f %s", static_cast<double>(bytes) / static_cast<double>(unit), suffix);
    std::string s = text;
    if (decimal != '.')
        if (const auto dot = s.find('.'); dot != std::string::npos)
            s[dot] = decimal;
    return s;
}

} // namespace

std::string FormatSize(std::int64_t bytes, char decimal)
{
    if (bytes < 0)
        return {};
    if (bytes > kTenGb)
        return Scaled(bytes, kGb, "Gb", decimal);
    if (bytes > kMb)
        return Scaled(bytes, kMb, "Mb", decimal);
    if (bytes > kKb)
        return Scaled(bytes, kKb, "kb", decimal);
    return std::to_string(bytes) + " bytes";
}

std::int64_t ParseSize(std::string_view text, char decimal)
{
    if (text.empty())
        return 0;
    std::string number(text.substr(0, text.find(' ')));
    if (decimal != '.')
        for (char& c : number)
            if (c == decimal)
                c = '.';
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end == number.data() || !std::isfinite(value))
        return 0;
    if (text.find("Gb") != std::string_view::npos)
        value *= static_cast<double>(kGb);
    else if (text.find("Mb") != std::string_view::npos)
        value *= static_cast<double>(kMb);
    else if (text.find("kb") != std::string_view::npos)
        value *= static_cast<double>(kKb);
    value = std::trunc(value);
    // Clamp rather than overflow on texts no FormatSize could have made.
    if (value >= 9.2e18)
        return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2e18)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

} // namespace salvage
