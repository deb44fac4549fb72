#include "platform/TargetFolder.h"

#include <algorithm>
#include <vector>

namespace platform {
namespace {

// Characters Windows refuses in a name (besides the separators and the colon).
bool RefusedOnWindows(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' ||
           c == '*';
}

// Names of devices, in any case and with any extension: "nul.txt" opens
// the null device, not a file.
bool DeviceNameOnWindows(std::string_view name)
{
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    std::string upper(stem);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" ||
        upper == "CONOUT$")
        return true;
    if (upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")))
        return upper[3] >= '0' && upper[3] <= '9';
    // COM and LPT with a superscript digit (UTF-8 C2 B9, C2 B2, C2 B3) too.
    return upper.size() == 5 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] == '\xC2' &&
           (upper[4] == '\xB9' || upper[4] == '\xB2' || upper[4] == '\xB3');
}

} // namespace

bool OutputFile::WriteZeros(std::uint64_t count)
{
    static const std::vector<std::uint8_t> zeros(1 << 20, 0);
    while (count > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, zeros.size()));
        if (!Write(std::span(zeros.data(), n)))
            return false;
        count -= n;
    }
    return true;
}

std::string SafeComponentName(std::string_view name, NameRules rules)
{
    if (name.empty())
        return "_";
    if (name == "." || name == "..")
        return std::string(name.size(), '_');
    // A NUL ends the name where the system reads it, so "..", NUL, "x"
    // would name the parent folder: it is replaced like a separator.
    const bool windows = rules == NameRules::Windows;
    std::string safe(name);
    for (char& c : safe) {
        // On Windows a colon would name a stream of another file.
        if (c == '/' || c == '\0' || (windows && (c == '\\' || c == ':' || RefusedOnWindows(c))))
            c = '_';
    }
    // A device name keeps its letters and gets a "_" after its stem.
    if (windows && DeviceNameOnWindows(safe))
        safe.insert(std::min(safe.find('.'), safe.size()), "_");
    // Windows drops trailing dots and blanks from a name, so ". ." or "..."
    // would become ".." there.
    if (windows)
        for (auto it = safe.rbegin(); it != safe.rend() && (*it == '.' || *it == ' '); ++it)
            *it = '_';
    return safe;
}

std::string NumberedName(std::string_view name, unsigned n)
{
    // The number goes before the extension; a leading dot starts no extension.
    const std::size_t dot = name.rfind('.');
    const std::size_t split = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
    std::string numbered(name.substr(0, split));
    numbered += " (" + std::to_string(n) + ")";
    numbered += name.substr(split);
    return numbered;
}

std::string TargetFolder::ChildPath(std::string_view name) const
{
    return path_ + kPathSeparator + SafeComponentName(name);
}

unsigned TargetFolder::FirstNumberFor(const std::string& component) const
{
    const auto it = numbers_.find(component);
    return it == numbers_.end() ? 2 : it->second + 1;
}

std::string SafeComponentName(std::string_view name)
{
#if defined(_WIN32)
    return SafeComponentName(name, NameRules::Windows);
#else
    return SafeComponentName(name, NameRules::Posix);
#endif
}

} // namespace platform
