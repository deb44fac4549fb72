#include "salvage/search/FoundFileModel.h"

#include <utility>
#include <vector>

namespace salvage {

namespace {

TDirNode DirFromRecord(const TFileInfo& record)
{
    TDirNode dir = NewDirNode();
    dir.DirRef = record.FileRef;
    dir.Name = record.Name;
    dir.ParentRef = record.ParentRef;
    dir.Deleted = record.Deleted;
    dir.Modified = record.Modified;
    dir.Created = record.Created;
    dir.Accessed = record.Accessed;
    return dir;
}

// Every field but the files, which the copy collects for itself.
TDirNode CopyWithoutFiles(const TDirNode& source)
{
    TDirNode copy = NewDirNode();
    copy.DirRef = source.DirRef;
    copy.ParentRef = source.ParentRef;
    copy.Name = source.Name;
    copy.Modified = source.Modified;
    copy.Created = source.Created;
    copy.Accessed = source.Accessed;
    copy.Deleted = source.Deleted;
    copy.HasDeleted = source.HasDeleted;
    copy.TwinIndex = source.TwinIndex;
    return copy;
}

} // namespace

void TFoundFileModel::Clear()
{
    cacheRef_ = 0;
    cacheNode_ = nullptr;
    nodeIndex_.Clear();
    filter_.Clear();
    tree_.Clear();
    ForgetArrivals();
    collecting_ = true;
}

void TFoundFileModel::ForgetArrivals() noexcept
{
    arrived_.clear();
    lastArrivedNode_ = nullptr;
    lastArrived_ = nullptr;
}

bool TFoundFileModel::MarkDeletedUp(TTreeNode* node)
{
    bool changed = false;
    for (TTreeNode* n = node; n; n = n->Parent()) {
        if (!n->Data().HasDeleted) {
            n->Data().HasDeleted = true;
            n->Owner().DataChanged(*n);
        }
        if (n->ImageIndex() != kImageDeletedFolder && n->ImageIndex() != kImageHasDeleted) {
            n->Owner().SetImage(*n, kImageHasDeleted);
            changed = true;
        }
    }
    return changed;
}

TTreeNode* TFoundFileModel::AddDirRecord(const TFileInfo& record, TTreeNode* parent)
{
    const int image = record.Deleted ? kImageDeletedFolder : kImageFolder;
    TTreeNode* node = tree_.AddChildSorted(parent, record.Name, DirFromRecord(record), image);
    if (parent && parent->Text() == kRootText)
        tree_.SetExpanded(*parent, true);
    if (record.Deleted)
        MarkDeletedUp(parent);
    return node;
}

void TFoundFileModel::AddFileRecord(const TFileInfo& record, TTreeNode& dir)
{
    dir.Owner().AppendFile(dir, record);
    Arrived(dir);
    if (record.Deleted)
        MarkDeletedUp(&dir);
}

void TFoundFileModel::AddFileRecord(const TFileInfo& record, std::string_view name, TTreeNode& dir)
{
    dir.Owner().AppendFile(dir, record, name);
    Arrived(dir);
    if (record.Deleted)
        MarkDeletedUp(&dir);
}

void TFoundFileModel::Arrived(TTreeNode& dir)
{
    if (!collecting_ || &dir.Owner() != &tree_)
        return;
    if (lastArrivedNode_ != &dir) {
        if (dir.Serial() >= arrived_.size())
            arrived_.resize(static_cast<std::size_t>(dir.Serial()) + 1);
        lastArrivedNode_ = &dir;
        lastArrived_ = &arrived_[dir.Serial()];
    }
    const TFileInfo& added = dir.Data().Files.back();
    if (added.Deleted)
        lastArrived_->Deleted.push_back(added);
    ++lastArrived_->Count;
}

bool TFoundFileModel::TakeArrived(const TTreeNode& source, bool everything, std::vector<TFileInfo>& files)
{
    const std::vector<TFileInfo>& all = source.Data().Files;
    if (&source.Owner() != &tree_ || source.Serial() >= arrived_.size())
        return all.empty();
    TArrivedFiles& arrived = arrived_[source.Serial()];
    if (arrived.Count != all.size() || (everything && arrived.Deleted.size() != all.size()))
        return false;
    files = std::move(arrived.Deleted);
    return true;
}

TTreeNode* TFoundFileModel::FindNodeByRef(std::uint32_t ref)
{
    if (ref == cacheRef_ && cacheRef_ != 0)
        return cacheNode_;
    TTreeNode* node = nodeIndex_.Find(ref);
    if (node) {
        cacheRef_ = ref;
        cacheNode_ = node;
    }
    return node;
}

void TFoundFileModel::RegisterNode(std::uint32_t ref, TTreeNode* node)
{
    nodeIndex_.Add(ref, node);
}

TTreeNode* TFoundFileModel::AddPlaceholder(std::uint32_t ref)
{
    TDirNode dir = NewDirNode();
    dir.DirRef = ref;
    dir.ParentRef = 0;
    dir.Deleted = true;
    TTreeNode* node = tree_.AddChild(nullptr, kPlaceholderPrefix + std::to_string(ref), std::move(dir),
                                     kImageDeletedFolder);
    RegisterNode(ref, node);
    return node;
}

void TFoundFileModel::AddNTFSFile(const TFileInfo& record)
{
    TTreeNode* parent = FindNodeByRef(record.ParentRef);
    if (parent) {
        if (record.Deleted)
            MarkDeletedUp(parent);
    } else {
        parent = AddPlaceholder(record.ParentRef);
        if (record.Deleted)
            MarkPlaceholderDeleted(*parent);
    }
    tree_.AppendFile(*parent, record);
}

TTreeNode* TFoundFileModel::AddNTFSDir(const TFileInfo& record)
{
    TTreeNode* parent = FindNodeByRef(record.ParentRef);
    if (!parent) {
        parent = AddPlaceholder(record.ParentRef);
        if (record.Deleted)
            MarkPlaceholderDeleted(*parent);
    }
    const int image = record.Deleted ? kImageDeletedFolder : kImageFolder;

    TTreeNode* node = FindNodeByRef(record.FileRef);
    if (node) {
        // A placeholder made for an earlier child becomes the folder itself.
        TDirNode& dir = node->Data();
        dir.DirRef = record.FileRef;
        dir.Name = record.Name;
        dir.ParentRef = record.ParentRef;
        dir.Deleted = record.Deleted;
        dir.Modified = record.Modified;
        dir.Created = record.Created;
        dir.Accessed = record.Accessed;
        tree_.DataChanged(*node);
        tree_.SetImage(*node, image);
        tree_.SetText(*node, record.Name);
        if (parent->Text() == kRootText)
            tree_.SetExpanded(*parent, true);
        tree_.MoveChildSorted(*node, parent);
        if (node->Parent() != parent && node->Parent())
            // The record names the node itself or a folder below it as its
            // parent: it stays, re-sorted under its new text.
            tree_.MoveChildSorted(*node, node->Parent());
    } else {
        node = tree_.AddChildSorted(parent, record.Name, DirFromRecord(record), image);
        if (parent->Text() == kRootText)
            tree_.SetExpanded(*parent, true);
        RegisterNode(record.FileRef, node);
    }

    if (node->Data().HasDeleted)
        MarkDeletedUp(node);
    else if (record.Deleted)
        MarkDeletedUp(node->Parent());
    return node;
}

void TFoundFileModel::MarkPlaceholderDeleted(TTreeNode& placeholder)
{
    // A placeholder sits at the top level and already shows the deleted
    // image: only the flag changes.
    if (placeholder.Data().HasDeleted)
        return;
    placeholder.Data().HasDeleted = true;
    tree_.DataChanged(placeholder);
}

void TFoundFileModel::BuildFilterTree()
{
    filter_.BeginRebuild();
    filter_.Clear();
    for (TTreeNode* n = tree_.First(); n; n = tree_.NextDepthFirst(*n))
        n->Data().TwinIndex = -1;

    // CopyNode, depth-first without recursion (trees can be very deep). Each
    // copy remembers its original, which pairs them exactly even where two
    // folders share a reference.
    struct Frame {
        TTreeNode* source;
        TTreeNode* copy;
        TTreeNode* nextChild;
    };
    std::vector<std::pair<TTreeNode*, TTreeNode*>> twins;  // (original, copy)
    std::vector<Frame> stack;
    auto copyNode = [&](TTreeNode& source, TTreeNode* parentCopy) {
        TDirNode data = CopyWithoutFiles(source.Data());
        const bool everything = source.ImageIndex() == kImageDeletedFolder;
        if (!collecting_ || !TakeArrived(source, everything, data.Files))
            for (const TFileInfo& file : source.Data().Files)
                if (everything || file.Deleted)
                    data.Files.push_back(file);
        TTreeNode* copy = filter_.AddChild(parentCopy, source.Text(), std::move(data), source.ImageIndex());
        twins.emplace_back(&source, copy);
        stack.push_back({&source, copy, source.FirstChild()});
    };

    for (std::size_t row = 0; row < tree_.TopLevelCount(); ++row) {
        TTreeNode* top = tree_.TopLevel(row);
        if (!ShowsDeleted(*top))
            continue;
        copyNode(*top, nullptr);
        while (!stack.empty()) {
            Frame& f = stack.back();
            TTreeNode* child = f.nextChild;
            if (!child) {
                stack.pop_back();
                continue;
            }
            f.nextChild = child->NextSibling();
            TTreeNode* parentCopy = f.copy;  // f does not survive the push below
            // Below a deleted folder everything is copied.
            const int copyImage = parentCopy->ImageIndex();
            if (ShowsDeleted(*child) || copyImage == kImageFolder || copyImage == kImageDeletedFolder)
                copyNode(*child, parentCopy);
        }
    }

    for (auto& [original, copy] : twins) {
        copy->Data().TwinIndex = original->AbsoluteIndex();
        original->Data().TwinIndex = copy->AbsoluteIndex();
        filter_.SetExpanded(*copy, original->Expanded());
    }
    filter_.EndRebuild();
    // Later builds copy from the tree.
    collecting_ = false;
    ForgetArrivals();
}

} // namespace salvage
