#pragma once
// What a recovery writes and where: built from the selection in the results
// (the folder selected in the tree and the rows selected in its list), the
// same way for the windows and the command-line tool.

#include "platform/TargetFolder.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/fs/FATPlacement.h"
#include "salvage/fs/FileSystemKind.h"
#include "salvage/search/FileInfo.h"
#include "salvage/search/ResultsTree.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace salvage {

class TAnalysis;

struct TFolderDates {
    TDateTime Modified = 0;
    TDateTime Accessed = 0;
};

struct TRecoveryJob {
    // The folder the user chose; recovered items go into it.
    std::string TargetPath;
    // Opens the folder the items go into instead of TargetPath (a read into
    // memory); null with a message when it cannot. Unset: the folder at
    // TargetPath, created when missing.
    std::function<std::unique_ptr<platform::TargetFolder>(std::string& error)> OpenTarget;
    // Folders below TargetPath (names from the disk) that the items go into,
    // when the folder structure is restored.
    std::vector<std::string> TargetSubfolders;
    // Their found dates (the same order), given to the folders the job creates.
    std::vector<TFolderDates> TargetSubfolderDates;
    // Files written directly into the target, and folders recovered with their contents.
    std::vector<TFileLocation> SelectedFiles;
    std::vector<const TTreeNode*> SelectedFolders;
    // When false, folder recovery takes only deleted entries.
    bool RecoverAll = true;
    // The analysis the selection comes from: its volume and reader, which the
    // recovery leases while it runs.
    std::shared_ptr<TAnalysis> Analysis;
    // Writes no more than this many bytes of one file (0: no limit). Only
    // bounded runs (fuzzing) set it: a damaged record can claim exabytes.
    std::uint64_t MaxFileBytes = 0;
    // FAT: how a deleted file's clusters are placed (its chain is gone).
    TFatClusterRule FatClusters = TFatClusterRule::FreeGaps;
    // FAT: a stop ends the file under way too (a read into memory keeps
    // nothing of a stopped file). Unset, the file is finished and the stop
    // takes effect before the next one.
    bool StopInsideFatFiles = false;
};

// The selection a recovery starts from.
struct TRecoverySelection {
    const TTreeNode* SelectedFolder = nullptr;     // the folder selected in the tree
    bool HasListSelection = false;                 // rows are selected in its list
    std::vector<const TTreeNode*> ListFolders;     // selected rows that are subfolders
    std::vector<TFileLocation> ListFiles;          // selected rows that are files
};

// The names of a folder's ancestors below the volume's root, top down (the
// walk up stops at the root "."; the folder itself is not included).
[[nodiscard]] std::vector<std::string> NodePath(const TTreeNode& folder);

// Fills the job's target and selection. With restoreStructure the items go
// below the selected folder's path (and, when list rows are selected and the
// folder is not the root, below the folder's own name too). Without a list
// selection the selected folder itself is recovered. False when no folder is
// selected.
bool BuildRecoveryJob(const TRecoverySelection& selection, const std::string& target, bool recoverAll,
                      bool restoreStructure, TRecoveryJob& job);

// A job for every top-level folder of a results tree (the whole volume).
[[nodiscard]] TRecoveryJob WholeTreeJob(const TResultsTree& tree, const std::string& target, bool recoverAll);

// What a "/"-joined path (as salvage-cli list prints it, from the top-level
// node: "./?IR1/MULT2.DAT", or the same without the leading "./") names: a
// folder, or the files of that name in a folder. Both empty when nothing matches.
struct TPathMatch {
    const TTreeNode* Folder = nullptr;
    const TTreeNode* FilesFolder = nullptr;  // the folder that holds Files
    std::vector<TFileLocation> Files;
};
[[nodiscard]] TPathMatch FindByPath(const TResultsTree& tree, const std::string& path);

} // namespace salvage
