#include "kestrel/DesktopEntry.h"

#include "basekit/Paths.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#if defined(_WIN32)
#include "platform/Utf16.h"
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path Native(const std::string& path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

bool HasControlCharacter(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

} // namespace

std::string QuoteExecArgument(const std::string& argument)
{
    // Reserved characters force quoting; inside quotes ", `, $ and \ are
    // escaped with a backslash.
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string body;
    bool quote = argument.empty();
    for (const char c : argument) {
        if (reserved.find(c) != std::string_view::npos)
            quote = true;
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            body += '\\';
        body += c;
    }
    // A literal percent sign is written twice (field codes start with one).
    std::string out;
    for (const char c : quote ? body : argument) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return quote ? "\"" + out + "\"" : out;
}

std::string EscapeDesktopValue(const std::string& value)
{
    std::string out;
    for (const char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    // A leading blank would be dropped by readers.
    if (!out.empty() && out.front() == ' ')
        out.replace(0, 1, "\\s");
    return out;
}

std::optional<std::string> DesktopEntryText(const std::string& name, const std::string& target)
{
    if (HasControlCharacter(target) || HasControlCharacter(name))
        return std::nullopt;
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Version=1.0\n";
    text += "Name=" + EscapeDesktopValue(name) + "\n";
    text += "Exec=" + EscapeDesktopValue(QuoteExecArgument(target)) + "\n";
    // The menu hides the entry while the program is gone.
    text += "TryExec=" + EscapeDesktopValue(target) + "\n";
    text += "Icon=application-x-executable\n"
            "Terminal=false\n"
            "Categories=Utility;\n";
    return text;
}

#if defined(_WIN32)

bool CreateToolShortcut(const std::string& shortcutPath, const std::string& target, const std::string&)
{
    std::error_code ec;
    fs::create_directories(Native(shortcutPath).parent_path(), ec);
    wchar_t full[MAX_PATH] = {};
    const std::u16string wideTarget = platform::Utf8ToUtf16(target);
    if (GetFullPathNameW(reinterpret_cast<const wchar_t*>(wideTarget.c_str()), MAX_PATH, full, nullptr) == 0)
        return false;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool saved = false;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        link->SetPath(full);
        link->SetDescription(L"");
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            const std::u16string widePath = platform::Utf8ToUtf16(shortcutPath);
            saved = SUCCEEDED(file->Save(reinterpret_cast<const wchar_t*>(widePath.c_str()), TRUE));
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return saved;
}

#else

bool CreateToolShortcut(const std::string& shortcutPath, const std::string& target, const std::string& name)
{
    std::error_code ec;
    const fs::path full = fs::absolute(Native(target), ec);
    if (ec)
        return false;
    const std::optional<std::string> text = DesktopEntryText(name, full.string());
    if (!text)
        return false;
    const fs::path path = Native(shortcutPath);
    fs::create_directories(path.parent_path(), ec);
    // Written beside its place and renamed over it: a menu never reads half an entry.
    const fs::path temp = path.parent_path() / (".kestrel-" + std::to_string(::getpid()) + ".tmp");
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << *text;
        out.flush();
        if (!out) {
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

#endif
