#pragma once
// The results tree: folders found by an analysis, each node carrying its text,
// its image (the folder state) and its TDirNode. It stands in for the tree
// control of the windows, which follow it through TTreeObserver.
//
// Children keep the order the tree control would give them; a node's
// position among its siblings, the child at a position and the sorted
// insertion all cost O(log n), so folders with very many subfolders stay fast.

#include "salvage/search/FileInfo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace salvage {

// Tree and list images; the tree images double as folder state.
inline constexpr int kImageFolder = 0;
inline constexpr int kImageFile = 1;           // list only
inline constexpr int kImageDeletedFolder = 2;  // also every placeholder folder
inline constexpr int kImageDeletedFile = 3;    // list only
inline constexpr int kImageHasDeleted = 4;     // not deleted, holds something deleted

class TResultsTree;
class TTreeNode;

// The children of one node (or the top level), in order. A treap keyed by
// position, threaded through the nodes themselves.
struct TChildList {
    TTreeNode* root = nullptr;
};

class TTreeNode {
public:
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;

    [[nodiscard]] const std::string& Text() const noexcept { return text_; }
    // The image; the selected image always equals it.
    [[nodiscard]] int ImageIndex() const noexcept { return image_; }
    [[nodiscard]] bool Expanded() const noexcept { return expanded_; }
    [[nodiscard]] TTreeNode* Parent() const noexcept { return parent_; }
    [[nodiscard]] TDirNode& Data() noexcept { return data_; }
    [[nodiscard]] const TDirNode& Data() const noexcept { return data_; }
    [[nodiscard]] TResultsTree& Owner() const noexcept { return *tree_; }

    [[nodiscard]] std::size_t ChildCount() const noexcept;
    // The child at `row`, or null when there is none.
    [[nodiscard]] TTreeNode* Child(std::size_t row) const noexcept;
    [[nodiscard]] TTreeNode* FirstChild() const noexcept;
    [[nodiscard]] TTreeNode* NextSibling() const noexcept;
    // Position among the siblings (the top-level nodes for a top-level node).
    [[nodiscard]] std::size_t Index() const noexcept;
    // Position in the whole tree, counted depth-first from the first top-level node.
    [[nodiscard]] std::int32_t AbsoluteIndex() const;
    // True when `ancestor` lies above this node.
    [[nodiscard]] bool HasAsParent(const TTreeNode* ancestor) const noexcept;
    // The node's place in creation order (0 for the first node made since
    // the tree was cleared): dense and fixed, for tables kept beside the tree.
    [[nodiscard]] std::uint32_t Serial() const noexcept { return serial_; }

private:
    friend class TResultsTree;
    friend struct ChildListOps;

    TTreeNode(TResultsTree& tree, std::string text, TDirNode data, std::uint32_t priority)
        : tree_(&tree), text_(std::move(text)), data_(std::move(data)), priority_(priority)
    {
    }

    TResultsTree* tree_;
    TTreeNode* parent_ = nullptr;
    std::string text_;
    TDirNode data_;
    TChildList children_;
    // Links in the parent's child list.
    TTreeNode* left_ = nullptr;
    TTreeNode* right_ = nullptr;
    TTreeNode* up_ = nullptr;
    std::uint32_t size_ = 1;  // nodes in this subtree of the child list
    std::uint32_t priority_;
    std::int32_t absoluteIndex_ = -1;
    std::uint32_t serial_ = 0;
    std::uint8_t image_ = kImageFolder;
    bool expanded_ = false;
};

// A file of the results, named by its folder and its position in the
// folder's Files. Files grow while a search runs, so a pointer to a TFileInfo
// would not stay valid; nodes stay where they are, and so do positions.
struct TFileLocation {
    const TTreeNode* Folder = nullptr;
    std::size_t Index = 0;

    // The file, or null when the location names none.
    [[nodiscard]] const TFileInfo* File() const noexcept
    {
        return Folder && Index < Folder->Data().Files.size() ? &Folder->Data().Files[Index] : nullptr;
    }
    friend bool operator==(const TFileLocation&, const TFileLocation&) = default;
};

// Told about every change of a tree, so that a view can follow it. Rows are
// positions among siblings; a null parent is the top level. The "about to"
// calls come before the change (the tree still shows the old state).
class TTreeObserver {
public:
    virtual ~TTreeObserver() = default;
    virtual void NodeAboutToBeAdded(TTreeNode* /*parent*/, std::size_t /*row*/) {}
    virtual void NodeAdded(TTreeNode& /*node*/) {}
    // destinationRow counts the children of newParent before the move (as a
    // view's move notification wants it).
    virtual void NodeAboutToMove(TTreeNode& /*node*/, TTreeNode* /*newParent*/, std::size_t /*destinationRow*/) {}
    virtual void NodeMoved(TTreeNode& /*node*/) {}
    virtual void ImageChanged(TTreeNode& /*node*/) {}
    virtual void TextChanged(TTreeNode& /*node*/) {}
    // Fields of the node's TDirNode changed (HasDeleted, or a placeholder
    // took its folder's name, dates and references).
    virtual void DataChanged(TTreeNode& /*node*/) {}
    virtual void ExpandedChanged(TTreeNode& /*node*/) {}
    // The file at `fileIndex` of node.Data().Files was appended.
    virtual void FileAppended(TTreeNode& /*node*/, std::size_t /*fileIndex*/) {}
    virtual void AboutToClear() {}
    virtual void Cleared() {}
    // Around a rebuild of the whole tree (the filtered copy): the calls in
    // between describe it node by node; a view may reset once at Rebuilt().
    virtual void AboutToRebuild() {}
    virtual void Rebuilt() {}
};

// Upper-cased byte-wise comparison, the order of sibling folders: ASCII and
// Latin-1 letters are upper-cased, everything else compares as it is.
[[nodiscard]] int CompareUpper(std::string_view a, std::string_view b) noexcept;

class TResultsTree {
public:
    TResultsTree();
    TResultsTree(const TResultsTree&) = delete;
    TResultsTree& operator=(const TResultsTree&) = delete;
    ~TResultsTree();

    // Observers are told in the order they were added. Each must stay
    // registered no longer than it lives, and none may add or remove an
    // observer from inside a notification.
    void AddObserver(TTreeObserver* observer);
    void RemoveObserver(TTreeObserver* observer) noexcept;

    // Under a parent: before the first child whose upper-cased text compares
    // greater, else last. At the top level (parent null): appended.
    TTreeNode* AddChildSorted(TTreeNode* parent, std::string text, TDirNode data, int image = kImageFolder);
    // Appended as the last child (or top-level node), whatever its text.
    TTreeNode* AddChild(TTreeNode* parent, std::string text, TDirNode data, int image = kImageFolder);
    // Moves node (with its subtree) under newParent where AddChildSorted would
    // put it. Nothing moves when newParent is node itself or lies below it
    // (that would cut the subtree off the tree).
    void MoveChildSorted(TTreeNode& node, TTreeNode* newParent);

    void SetImage(TTreeNode& node, int image);
    void SetText(TTreeNode& node, std::string text);
    void SetExpanded(TTreeNode& node, bool expanded);
    // Appends a copy of the record to the node's Files.
    void AppendFile(TTreeNode& node, const TFileInfo& file);
    // The same with `name` as the copy's Name: file.Name, empty for a record
    // handed over without its name, is replaced. `name` must not lie in the
    // node's own Files.
    void AppendFile(TTreeNode& node, const TFileInfo& file, std::string_view name);
    // Tells the observers that node.Data() was changed in place.
    void DataChanged(TTreeNode& node);

    // Brackets a rebuild: observers get AboutToRebuild() and Rebuilt().
    void BeginRebuild();
    void EndRebuild();

    // Frees every node and its records.
    void Clear();

    [[nodiscard]] std::size_t Count() const noexcept { return nodes_.size(); }
    [[nodiscard]] bool Empty() const noexcept { return nodes_.empty(); }
    [[nodiscard]] std::size_t TopLevelCount() const noexcept;
    [[nodiscard]] TTreeNode* TopLevel(std::size_t row) const noexcept;
    [[nodiscard]] TTreeNode* First() const noexcept;
    // The node after `node` depth-first (its first child, else its next
    // sibling or an ancestor's); null at the end.
    [[nodiscard]] TTreeNode* NextDepthFirst(const TTreeNode& node) const noexcept;
    // The node at a depth-first position; null outside the tree.
    [[nodiscard]] TTreeNode* NodeAt(std::int32_t absoluteIndex) const;

private:
    friend class TTreeNode;

    TTreeNode* NewNode(std::string text, TDirNode data, int image);
    [[nodiscard]] TChildList& ListOf(TTreeNode* parent) noexcept;
    void Link(TTreeNode& node, TTreeNode* parent, std::size_t row);
    void Unlink(TTreeNode& node);
    void Renumber() const;
    template <class... Params, class... Args>
    void Notify(void (TTreeObserver::*event)(Params...), Args&&... args)
    {
        for (TTreeObserver* observer : observers_)
            (observer->*event)(args...);
    }

    std::vector<std::unique_ptr<TTreeNode>> nodes_;  // every node, in creation order
    TChildList top_;
    std::vector<TTreeObserver*> observers_;
    std::uint32_t random_ = 0x9E3779B9u;
    // Depth-first numbering, rebuilt on demand after the shape changed.
    mutable std::vector<TTreeNode*> byIndex_;
    mutable bool numbered_ = true;
};

} // namespace salvage
