#include "salvage/recover/RecoveryJob.h"

#include "salvage/search/FoundFileModel.h"

#include <algorithm>

namespace salvage {

std::vector<std::string> NodePath(const TTreeNode& folder)
{
    std::vector<std::string> names;
    for (const TTreeNode* p = folder.Parent(); p != nullptr && p->Text() != kRootText; p = p->Parent())
        names.push_back(p->Text());
    std::reverse(names.begin(), names.end());
    return names;
}

bool BuildRecoveryJob(const TRecoverySelection& selection, const std::string& target, bool recoverAll,
                      bool restoreStructure, TRecoveryJob& job)
{
    if (selection.SelectedFolder == nullptr)
        return false;
    const TTreeNode& folder = *selection.SelectedFolder;
    job.TargetPath = target;
    job.TargetSubfolders.clear();
    if (restoreStructure) {
        job.TargetSubfolders = NodePath(folder);
        if (selection.HasListSelection && folder.Text() != kRootText)
            job.TargetSubfolders.push_back(folder.Text());
    }
    job.SelectedFolders.clear();
    job.SelectedFiles.clear();
    if (selection.HasListSelection) {
        job.SelectedFolders = selection.ListFolders;
        job.SelectedFiles = selection.ListFiles;
    } else {
        job.SelectedFolders.push_back(&folder);
    }
    job.RecoverAll = recoverAll;
    return true;
}

TRecoveryJob WholeTreeJob(const TResultsTree& tree, const std::string& target, bool recoverAll)
{
    TRecoveryJob job;
    job.TargetPath = target;
    job.RecoverAll = recoverAll;
    for (std::size_t i = 0; i < tree.TopLevelCount(); ++i)
        job.SelectedFolders.push_back(tree.TopLevel(i));
    return job;
}

namespace {

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        parts.push_back(path.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return parts;
}

const TTreeNode* ChildNamed(const TResultsTree& tree, const TTreeNode* parent, const std::string& name)
{
    const std::size_t count = parent ? parent->ChildCount() : tree.TopLevelCount();
    for (std::size_t i = 0; i < count; ++i) {
        const TTreeNode* child = parent ? parent->Child(i) : tree.TopLevel(i);
        if (child != nullptr && child->Text() == name)
            return child;
    }
    return nullptr;
}

} // namespace

TPathMatch FindByPath(const TResultsTree& tree, const std::string& path)
{
    TPathMatch match;
    const std::vector<std::string> parts = SplitPath(path);
    const TTreeNode* node = nullptr;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const TTreeNode* child = ChildNamed(tree, node, parts[i]);
        if (child != nullptr) {
            node = child;
            continue;
        }
        // Only the last part may name files.
        if (i + 1 == parts.size() && node != nullptr) {
            const std::vector<TFileInfo>& files = node->Data().Files;
            for (std::size_t f = 0; f < files.size(); ++f)
                if (files[f].Name == parts[i])
                    match.Files.push_back({node, f});
            if (!match.Files.empty())
                match.FilesFolder = node;
        }
        return match;
    }
    match.Folder = node;
    return match;
}

} // namespace salvage
