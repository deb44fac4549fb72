#pragma once
// Where the launcher finds its folders, and how it waits while keeping its
// windows alive (shared by the dashboard and the program manager).

#include "kestrel/ToolInstaller.h"

#include <functional>

// Gives the current folders; called again before every install or removal.
using CFolderSource = std::function<CSuiteFolders()>;

// The folders of the running launcher (its own folder is the tool folder).
[[nodiscard]] CFolderSource LauncherFolders();

// An installer over freshly built folders and table, which dispatches the
// pending events while it waits.
[[nodiscard]] CToolInstaller MakeInstaller(const CFolderSource& folders);

// Registers the launcher's artwork (":/kestrel/..."); the dialogs call it.
void InitKestrelArt();

// Dispatches pending events for about this long.
void PumpEvents(int milliseconds);
