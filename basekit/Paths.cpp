#include "basekit/Paths.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include "platform/Utf16.h"
#include <windows.h>
#else
#endif

namespace {

bool IsSeparator(char c)
{
#if defined(_WIN32)
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

} // namespace

std::string GetAppFile()
{
#if defined(_WIN32)
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return {};
    return platform::Utf16ToUtf8(std::u16string(buffer.begin(), buffer.begin() + n));
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
#endif
}

bool GetAppPath(std::string& folder)
{
    folder = CVPathFolder(GetAppFile());
    return !folder.empty();
}

bool DoesPathExists(const std::string& path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(std::u8string(path.begin(), path.end())), ec);
}

std::string GetWinDir()
{
#if defined(_WIN32)
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH)
        return {};
    return platform::Utf16ToUtf8(std::u16string(buffer, buffer + n));
#else
    return {};
#endif
}

bool IsOsWinNT()
{
    return true;
}

void CVPathAppend(std::string& path, std::string_view part)
{
    while (!part.empty() && IsSeparator(part.front()))
        part.remove_prefix(1);
    if (path.empty()) {
        path = part;
        return;
    }
    while (path.size() > 1 && IsSeparator(path.back()) && IsSeparator(path[path.size() - 2]))
        path.pop_back();
    if (!IsSeparator(path.back()))
        path += kPathSeparator;
    path += part;
}

namespace {

std::size_t LastSeparator(const std::string& path)
{
#if defined(_WIN32)
    return path.find_last_of("\\/");
#else
    return path.find_last_of('/');
#endif
}

} // namespace

std::string CVPathFolder(const std::string& path)
{
    const std::size_t cut = LastSeparator(path);
    if (cut == std::string::npos)
        return {};
    if (cut == 0)
        return path.substr(0, 1);  // the root itself
    return path.substr(0, cut);
}

std::string CVPathFileName(const std::string& path)
{
    const std::size_t cut = LastSeparator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}
