#pragma once
// The results of an analysis: the tree of every folder found with the files
// found in each, the filtered copy that holds only deleted material, and the
// NTFS directory index. The operations below turn search reports into tree
// nodes and file records; they run on one thread (the main thread in the
// windows), never at the same time as a reader of the trees.

#include "salvage/search/FileInfo.h"
#include "salvage/search/ResultsTree.h"
#include "salvage/search/TreeNodesList.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace salvage {

// The text of the root folder's node.
inline constexpr const char* kRootText = ".";
// Placeholder folders read "$$folder_" followed by the record number.
inline constexpr const char* kPlaceholderPrefix = "$$folder_";

class TFoundFileModel {
public:
    TFoundFileModel() = default;
    TFoundFileModel(const TFoundFileModel&) = delete;
    TFoundFileModel& operator=(const TFoundFileModel&) = delete;

    // Every folder found (the unfiltered tree).
    [[nodiscard]] TResultsTree& Tree() noexcept { return tree_; }
    [[nodiscard]] const TResultsTree& Tree() const noexcept { return tree_; }
    // Deleted folders, folders holding deleted items and their deleted files;
    // rebuilt by BuildFilterTree.
    [[nodiscard]] TResultsTree& FilterTree() noexcept { return filter_; }
    [[nodiscard]] const TResultsTree& FilterTree() const noexcept { return filter_; }

    // Empties both trees, NodeIndex and its cache (before each analysis).
    void Clear();

    // Node and each ancestor: HasDeleted set; image 4 unless it is 2. True
    // when an image changed.
    bool MarkDeletedUp(TTreeNode* node);

    // FAT: a folder record under parent (null: the top level). Deleted
    // folders get image 2 and mark their ancestors.
    TTreeNode* AddDirRecord(const TFileInfo& record, TTreeNode* parent);
    // FAT: a copy of the record joins the folder's Files.
    void AddFileRecord(const TFileInfo& record, TTreeNode& dir);
    // The same with `name` as the copy's Name (record.Name is replaced).
    void AddFileRecord(const TFileInfo& record, std::string_view name, TTreeNode& dir);

    // NTFS: the folder registered for ref, through a one-entry cache (ref 0
    // never answers from the cache).
    [[nodiscard]] TTreeNode* FindNodeByRef(std::uint32_t ref);
    void RegisterNode(std::uint32_t ref, TTreeNode* node);
    // A top-level "$$folder_<ref>" node (image 2) for a parent not seen yet.
    TTreeNode* AddPlaceholder(std::uint32_t ref);
    // NTFS: a file record, filed under its parent (or its parent's placeholder).
    void AddNTFSFile(const TFileInfo& record);
    // NTFS: a folder record; a placeholder made for it earlier becomes the
    // folder and moves under its own parent, keeping its files and children.
    TTreeNode* AddNTFSDir(const TFileInfo& record);
    [[nodiscard]] const TTreeNodesList& NodeIndex() const noexcept { return nodeIndex_; }

    // Rebuilds the filtered tree from the unfiltered one and links every
    // copied folder with its original through TwinIndex (absolute indexes).
    // The filtered tree's observers see it inside BeginRebuild/EndRebuild;
    // TwinIndex changes are not notified (no view shows them).
    //
    // The first build after Clear() takes the deleted FAT records as they
    // were when they arrived (copied then, see TArrivedFiles). Records are
    // not changed in place but for the FAT conditions revised at the end of
    // a search: revise them after this build, in both trees, as
    // TSearchDriver does.
    void BuildFilterTree();

private:
    void MarkPlaceholderDeleted(TTreeNode& placeholder);

    // The deleted FAT records of each folder, copied for the filtered tree as
    // they arrive: while the search reads on, this thread has time, and the
    // first BuildFilterTree after Clear() then takes each folder's list whole
    // instead of passing over every record.
    struct TArrivedFiles {
        std::vector<TFileInfo> Deleted;  // copies, in arrival order
        std::size_t Count = 0;           // records of the folder that arrived, deleted or not
    };
    void Arrived(TTreeNode& dir);
    // Moves the copies of the records source's filtered twin shows (every
    // record of a deleted folder, else the deleted ones) into `files`; false
    // when they do not stand for the folder's records as they are now (a
    // record came another way), and the build copies them itself.
    bool TakeArrived(const TTreeNode& source, bool everything, std::vector<TFileInfo>& files);
    void ForgetArrivals() noexcept;
    std::vector<TArrivedFiles> arrived_;  // by the folder's Serial()
    const TTreeNode* lastArrivedNode_ = nullptr;  // the folder of the last record, most often the next one's
    TArrivedFiles* lastArrived_ = nullptr;
    bool collecting_ = true;  // until the first build after Clear()

    TResultsTree tree_;
    TResultsTree filter_;
    TTreeNodesList nodeIndex_;
    std::uint32_t cacheRef_ = 0;  // 0: the cache is empty
    TTreeNode* cacheNode_ = nullptr;
};

// True for the images of folders that hold deleted material (2 or 4).
[[nodiscard]] inline bool ShowsDeleted(const TTreeNode& node) noexcept
{
    return node.ImageIndex() == kImageDeletedFolder || node.ImageIndex() == kImageHasDeleted;
}

} // namespace salvage
