#include "kestrel/ToolTable.h"

#include "basekit/Paths.h"
#include "platform/UserFolders.h"

#include <cstdlib>

#if defined(_WIN32)
#include "platform/Utf16.h"
#include <shlobj.h>
#include <windows.h>
#endif

namespace {

struct Entry {
    const char* file;
    const char* name;
};

constexpr Entry kTools[kToolCount] = {
    {"memflux", "Memory Balancer"},   {"deskforge", "Desktop Tuner"},  {"sysprobe", "System Inspector"},
    {"salvage", "Razuzuda Rezer"},    {"sweeper", "Drive Sweeper"},    {"hivedense", "Hive Condenser"},
    {"bootwarden", "Boot Warden"},    {"eraseguard", "Erase Guard"},   {"tracewipe", "Trace Wiper"},
    {"glyphdeck", "Glyph Deck"},      {"dockveil", "Dock Veil"},
};

std::string ShortcutFolder()
{
#if defined(_WIN32)
    std::string folder;
    wchar_t buffer[MAX_PATH] = {};
    // Every system Qt 6 runs on has the all-users Start menu; the old
    // profile folders are the fallback when the shell does not answer.
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_STARTMENU, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
        folder = platform::Utf16ToUtf8(reinterpret_cast<const char16_t*>(buffer));
        CVPathAppend(folder, "Programs\\Kestrel\\Kestrel Tools");
    } else {
        folder = GetWinDir();
        CVPathAppend(folder, IsOsWinNT() ? "Profiles\\All Users\\Start Menu\\Programs\\Kestrel\\Kestrel Tools"
                                         : "Start Menu\\Programs\\Kestrel\\Kestrel Tools");
    }
    return folder;
#else
    std::string folder;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') {
        folder = dataHome;
    } else {
        folder = platform::HomeFolder();
        CVPathAppend(folder, ".local/share");
    }
    CVPathAppend(folder, "applications/Kestrel Tools");
    return folder;
#endif
}

} // namespace

CToolTable BuildToolTable()
{
    CToolTable table;
    for (int i = 0; i < kToolCount; ++i)
        table[i] = {std::string(kTools[i].file) + std::string(kProgramSuffix), kTools[i].name};
    return table;
}

CSuiteFolders ComputeSuiteFolders(const std::string& launcherFolder)
{
    CSuiteFolders folders;
    folders.tool = launcherFolder;
    folders.setup = launcherFolder;
    CVPathAppend(folders.setup, "setup");
    folders.shortcut = ShortcutFolder();
    return folders;
}

std::string ShortcutPath(const CSuiteFolders& folders, const CToolRow& row)
{
    std::string path = folders.shortcut;
#if defined(_WIN32)
    CVPathAppend(path, row.displayName + ".LNK");
#else
    CVPathAppend(path, row.displayName + ".desktop");
#endif
    return path;
}

std::string UpdaterPath(const std::string& launcherFolder)
{
    std::string path = launcherFolder;
    CVPathAppend(path, "kestrelupdate" + std::string(kProgramSuffix));
    return path;
}
