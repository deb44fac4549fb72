#pragma once
// The launcher's fixed tool table and the three folders all suite
// management works in. The row index is a tool's identity everywhere: its
// button, its row in the program manager, its shortcut.

#include <array>
#include <string>

struct CToolRow {
    std::string fileName;     // the program's file name, with the platform's suffix
    std::string displayName;  // also the shortcut's name
};

inline constexpr int kToolCount = 11;
inline constexpr int kSalvageRow = 3;
using CToolTable = std::array<CToolRow, kToolCount>;

// The eleven rows in their fixed order.
[[nodiscard]] CToolTable BuildToolTable();

struct CSuiteFolders {
    std::string tool;      // installed tools, beside the launcher
    std::string setup;     // the installable copies: tool folder + "setup"
    std::string shortcut;  // the suite's menu folder
};

// The folders for a launcher living in launcherFolder. The shortcut folder
// is the user's applications-menu folder "Kestrel Tools"
// ($XDG_DATA_HOME/applications, ~/.local/share/applications by default) on
// Linux, the all-users Start menu's Programs\Kestrel\Kestrel Tools on Windows.
[[nodiscard]] CSuiteFolders ComputeSuiteFolders(const std::string& launcherFolder);

// The shortcut of a tool: shortcut folder + display name + ".desktop" on
// Linux (a desktop entry), ".LNK" on Windows.
[[nodiscard]] std::string ShortcutPath(const CSuiteFolders& folders, const CToolRow& row);

// The updater beside the launcher: "kestrelupdate" (".exe" on Windows).
[[nodiscard]] std::string UpdaterPath(const std::string& launcherFolder);
