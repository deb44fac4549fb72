#pragma once
// Installing and removing the suite's tools. A tool is installed when its
// program file lies in the tool folder; installing copies it there from the
// setup folder and creates its menu shortcut; removing deletes the shortcut,
// ends the running copies of that very file and deletes it.

#include "kestrel/ToolTable.h"

#include <functional>

class CToolInstaller {
public:
    // Waits about this long while the user interface keeps working (the
    // launcher dispatches its pending events); the default just sleeps.
    using Pump = std::function<void(int milliseconds)>;

    CToolInstaller(CSuiteFolders folders, CToolTable table, Pump pump = {});

    // True when afterwards both the program in the tool folder and its
    // shortcut exist. An installed program is not copied again; a missing
    // shortcut is made (and its folder with it).
    bool Install(int row);

    // True when afterwards neither exists. Only processes whose program is
    // this tool's own file in the tool folder are ended; a program of the
    // same name elsewhere is left alone.
    bool Remove(int row);

    [[nodiscard]] std::string InstalledPath(int row) const;
    [[nodiscard]] std::string SetupPath(int row) const;
    [[nodiscard]] std::string Shortcut(int row) const;
    [[nodiscard]] bool IsInstalled(int row) const;

    // The file the manager describes: the installed program, else the copy
    // in the setup folder (whether or not it exists).
    [[nodiscard]] std::string ExaminedPath(int row) const;

    [[nodiscard]] const CSuiteFolders& Folders() const { return folders_; }
    [[nodiscard]] const CToolTable& Table() const { return table_; }

private:
    void Wait(int milliseconds) const;
    // Ends every process running the installed file; how many were ended.
    int EndRunningCopies(const std::string& installed, const struct CFileIdentity& identity) const;

    CSuiteFolders folders_;
    CToolTable table_;
    Pump pump_;
};
