// The parts of the registry layer that are the same on every system.
#include "platform/Registry.h"
#include "platform/RegistryHooks.h"
#include "platform/Utf16.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex reportMutex;
RegistryReport reportHook;

} // namespace

const char* RegRootName(RegRoot root)
{
    return root == RegRoot::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path)
{
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    if (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    std::vector<std::string> names;
    if (path.empty())
        return names;
    while (true) {
        const std::size_t sep = path.find('\\');
        const std::string_view name = path.substr(0, sep);
        if (name.empty() || !IsValidUtf8(name))
            return std::nullopt;
        for (const char c : name) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7F)
                return std::nullopt;
        }
        names.emplace_back(name);
        if (sep == std::string_view::npos)
            return names;
        path.remove_prefix(sep + 1);
    }
}

bool SameRegName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

void SetRegistryReport(RegistryReport report)
{
    std::lock_guard lock(reportMutex);
    reportHook = std::move(report);
}

// The store reports through here (RegistryHooks.h).
void ReportRegistryProblem(const std::string& message)
{
    RegistryReport hook;
    {
        std::lock_guard lock(reportMutex);
        hook = reportHook;
    }
    if (hook)
        hook(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

} // namespace platform
