#include "salvage/search/ResultsTree.h"

#include <algorithm>
#include <cassert>

namespace salvage {

// The child lists: treaps ordered by position, each node holding the size of
// its subtree, so position <-> node is a walk of expected O(log n) steps.
struct ChildListOps {
    static std::uint32_t Size(const TTreeNode* n) noexcept { return n ? n->size_ : 0; }

    static void Update(TTreeNode* n) noexcept { n->size_ = 1 + Size(n->left_) + Size(n->right_); }

    // Lifts x one level above its list parent.
    static void RotateUp(TChildList& list, TTreeNode* x) noexcept
    {
        TTreeNode* p = x->up_;
        TTreeNode* g = p->up_;
        if (p->left_ == x) {
            p->left_ = x->right_;
            if (x->right_)
                x->right_->up_ = p;
            x->right_ = p;
        } else {
            p->right_ = x->left_;
            if (x->left_)
                x->left_->up_ = p;
            x->left_ = p;
        }
        p->up_ = x;
        x->up_ = g;
        if (!g)
            list.root = x;
        else if (g->left_ == p)
            g->left_ = x;
        else
            g->right_ = x;
        Update(p);
        Update(x);
    }

    static void InsertAt(TChildList& list, TTreeNode* node, std::size_t pos) noexcept
    {
        node->left_ = node->right_ = node->up_ = nullptr;
        node->size_ = 1;
        if (!list.root) {
            list.root = node;
            return;
        }
        TTreeNode* cur = list.root;
        for (;;) {
            ++cur->size_;
            const std::size_t leftSize = Size(cur->left_);
            if (pos <= leftSize) {
                if (!cur->left_) {
                    cur->left_ = node;
                    break;
                }
                cur = cur->left_;
            } else {
                pos -= leftSize + 1;
                if (!cur->right_) {
                    cur->right_ = node;
                    break;
                }
                cur = cur->right_;
            }
        }
        node->up_ = cur;
        while (node->up_ && node->up_->priority_ < node->priority_)
            RotateUp(list, node);
    }

    static void Erase(TChildList& list, TTreeNode* node) noexcept
    {
        // Rotate the node down until it is a leaf, then cut it off.
        while (node->left_ || node->right_) {
            TTreeNode* child = node->left_;
            if (!child || (node->right_ && node->right_->priority_ > child->priority_))
                child = node->right_;
            RotateUp(list, child);
        }
        TTreeNode* p = node->up_;
        if (!p) {
            list.root = nullptr;
        } else {
            if (p->left_ == node)
                p->left_ = nullptr;
            else
                p->right_ = nullptr;
            for (TTreeNode* x = p; x; x = x->up_)
                --x->size_;
        }
        node->up_ = nullptr;
        node->size_ = 1;
    }

    static TTreeNode* At(const TChildList& list, std::size_t pos) noexcept
    {
        TTreeNode* cur = list.root;
        while (cur) {
            const std::size_t leftSize = Size(cur->left_);
            if (pos < leftSize) {
                cur = cur->left_;
            } else if (pos == leftSize) {
                return cur;
            } else {
                pos -= leftSize + 1;
                cur = cur->right_;
            }
        }
        return nullptr;
    }

    static std::size_t Rank(const TTreeNode* node) noexcept
    {
        std::size_t r = Size(node->left_);
        for (const TTreeNode* x = node; x->up_; x = x->up_)
            if (x->up_->right_ == x)
                r += Size(x->up_->left_) + 1;
        return r;
    }

    static TTreeNode* First(const TChildList& list) noexcept
    {
        TTreeNode* cur = list.root;
        while (cur && cur->left_)
            cur = cur->left_;
        return cur;
    }

    static TTreeNode* Next(const TTreeNode* node) noexcept
    {
        if (node->right_) {
            TTreeNode* cur = node->right_;
            while (cur->left_)
                cur = cur->left_;
            return cur;
        }
        const TTreeNode* x = node;
        while (x->up_ && x->up_->right_ == x)
            x = x->up_;
        return x->up_;
    }

    // Where AddChildSorted puts `text`: before the first child whose
    // upper-cased text is greater. The children are in that order already, so
    // this is the upper bound.
    static std::size_t UpperBound(const TChildList& list, std::string_view text) noexcept
    {
        std::size_t pos = 0;
        const TTreeNode* cur = list.root;
        while (cur) {
            if (CompareUpper(cur->text_, text) > 0) {
                cur = cur->left_;
            } else {
                pos += Size(cur->left_) + 1;
                cur = cur->right_;
            }
        }
        return pos;
    }
};

namespace {

std::uint8_t UpperByte(std::string_view s, std::size_t i) noexcept
{
    const auto c = static_cast<std::uint8_t>(s[i]);
    if (c >= 'a' && c <= 'z')
        return static_cast<std::uint8_t>(c - 0x20);
    // Latin-1 small letters U+00E0..U+00FE (not U+00F7) are C3 A0..C3 BE in
    // UTF-8; their capitals are C3 80..C3 9E.
    if (i > 0 && static_cast<std::uint8_t>(s[i - 1]) == 0xC3 && c >= 0xA0 && c <= 0xBE && c != 0xB7)
        return static_cast<std::uint8_t>(c - 0x20);
    return c;
}

} // namespace

int CompareUpper(std::string_view a, std::string_view b) noexcept
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t x = UpperByte(a, i);
        const std::uint8_t y = UpperByte(b, i);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// ---- TTreeNode

std::size_t TTreeNode::ChildCount() const noexcept
{
    return ChildListOps::Size(children_.root);
}

TTreeNode* TTreeNode::Child(std::size_t row) const noexcept
{
    return ChildListOps::At(children_, row);
}

TTreeNode* TTreeNode::FirstChild() const noexcept
{
    return ChildListOps::First(children_);
}

TTreeNode* TTreeNode::NextSibling() const noexcept
{
    return ChildListOps::Next(this);
}

std::size_t TTreeNode::Index() const noexcept
{
    return ChildListOps::Rank(this);
}

std::int32_t TTreeNode::AbsoluteIndex() const
{
    tree_->Renumber();
    return absoluteIndex_;
}

bool TTreeNode::HasAsParent(const TTreeNode* ancestor) const noexcept
{
    if (!ancestor)
        return false;
    for (const TTreeNode* p = parent_; p; p = p->parent_)
        if (p == ancestor)
            return true;
    return false;
}

// ---- TResultsTree

TResultsTree::TResultsTree() = default;

TResultsTree::~TResultsTree() = default;

TTreeNode* TResultsTree::NewNode(std::string text, TDirNode data, int image)
{
    // xorshift32: treap priorities only need to look random.
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    nodes_.push_back(std::unique_ptr<TTreeNode>(new TTreeNode(*this, std::move(text), std::move(data), random_)));
    nodes_.back()->image_ = static_cast<std::uint8_t>(image);
    nodes_.back()->serial_ = static_cast<std::uint32_t>(nodes_.size() - 1);
    return nodes_.back().get();
}

TChildList& TResultsTree::ListOf(TTreeNode* parent) noexcept
{
    return parent ? parent->children_ : top_;
}

void TResultsTree::Link(TTreeNode& node, TTreeNode* parent, std::size_t row)
{
    node.parent_ = parent;
    ChildListOps::InsertAt(ListOf(parent), &node, row);
    numbered_ = false;
}

void TResultsTree::Unlink(TTreeNode& node)
{
    ChildListOps::Erase(ListOf(node.parent_), &node);
    node.parent_ = nullptr;
    numbered_ = false;
}

TTreeNode* TResultsTree::AddChildSorted(TTreeNode* parent, std::string text, TDirNode data, int image)
{
    if (!parent)
        return AddChild(nullptr, std::move(text), std::move(data), image);
    const std::size_t row = ChildListOps::UpperBound(parent->children_, text);
    Notify(&TTreeObserver::NodeAboutToBeAdded, parent, row);
    TTreeNode* node = NewNode(std::move(text), std::move(data), image);
    Link(*node, parent, row);
    Notify(&TTreeObserver::NodeAdded, *node);
    return node;
}

TTreeNode* TResultsTree::AddChild(TTreeNode* parent, std::string text, TDirNode data, int image)
{
    const std::size_t row = ChildListOps::Size(ListOf(parent).root);
    Notify(&TTreeObserver::NodeAboutToBeAdded, parent, row);
    TTreeNode* node = NewNode(std::move(text), std::move(data), image);
    Link(*node, parent, row);
    Notify(&TTreeObserver::NodeAdded, *node);
    return node;
}

void TResultsTree::MoveChildSorted(TTreeNode& node, TTreeNode* newParent)
{
    assert(node.tree_ == this);
    if (newParent == &node || (newParent && newParent->HasAsParent(&node)))
        return;
    const std::size_t oldRow = node.Index();
    const bool sameList = newParent == node.parent_;
    // The destination as counted without the node, then as counted with it.
    std::size_t row = 0;
    if (newParent) {
        if (sameList) {
            Unlink(node);
            row = ChildListOps::UpperBound(newParent->children_, node.text_);
            Link(node, newParent, oldRow);
        } else {
            row = ChildListOps::UpperBound(newParent->children_, node.text_);
        }
    } else {
        row = ChildListOps::Size(top_.root) - (sameList ? 1 : 0);
    }
    const std::size_t destination = sameList && row >= oldRow ? row + 1 : row;
    if (sameList && (destination == oldRow || destination == oldRow + 1))
        return;  // already in place
    Notify(&TTreeObserver::NodeAboutToMove, node, newParent, destination);
    Unlink(node);
    Link(node, newParent, row);
    Notify(&TTreeObserver::NodeMoved, node);
}

void TResultsTree::SetImage(TTreeNode& node, int image)
{
    if (node.image_ == image)
        return;
    node.image_ = static_cast<std::uint8_t>(image);
    Notify(&TTreeObserver::ImageChanged, node);
}

void TResultsTree::SetText(TTreeNode& node, std::string text)
{
    if (node.text_ == text)
        return;
    node.text_ = std::move(text);
    Notify(&TTreeObserver::TextChanged, node);
}

void TResultsTree::SetExpanded(TTreeNode& node, bool expanded)
{
    if (node.expanded_ == expanded)
        return;
    node.expanded_ = expanded;
    Notify(&TTreeObserver::ExpandedChanged, node);
}

void TResultsTree::AppendFile(TTreeNode& node, const TFileInfo& file)
{
    node.data_.Files.push_back(file);
    Notify(&TTreeObserver::FileAppended, node, node.data_.Files.size() - 1);
}

void TResultsTree::AppendFile(TTreeNode& node, const TFileInfo& file, std::string_view name)
{
    // The name is made once, in place (a record handed over without one
    // copies no string).
    TFileInfo& added = node.data_.Files.emplace_back(file);
    added.Name.assign(name);
    Notify(&TTreeObserver::FileAppended, node, node.data_.Files.size() - 1);
}

void TResultsTree::AddObserver(TTreeObserver* observer)
{
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void TResultsTree::RemoveObserver(TTreeObserver* observer) noexcept
{
    std::erase(observers_, observer);
}

void TResultsTree::DataChanged(TTreeNode& node)
{
    assert(node.tree_ == this);
    Notify(&TTreeObserver::DataChanged, node);
}

void TResultsTree::BeginRebuild()
{
    Notify(&TTreeObserver::AboutToRebuild);
}

void TResultsTree::EndRebuild()
{
    Notify(&TTreeObserver::Rebuilt);
}

void TResultsTree::Clear()
{
    Notify(&TTreeObserver::AboutToClear);
    top_.root = nullptr;
    nodes_.clear();
    byIndex_.clear();
    numbered_ = true;
    Notify(&TTreeObserver::Cleared);
}

std::size_t TResultsTree::TopLevelCount() const noexcept
{
    return ChildListOps::Size(top_.root);
}

TTreeNode* TResultsTree::TopLevel(std::size_t row) const noexcept
{
    return ChildListOps::At(top_, row);
}

TTreeNode* TResultsTree::First() const noexcept
{
    return ChildListOps::First(top_);
}

TTreeNode* TResultsTree::NextDepthFirst(const TTreeNode& node) const noexcept
{
    if (TTreeNode* child = node.FirstChild())
        return child;
    // The depth of the tree bounds this climb.
    for (const TTreeNode* n = &node; n; n = n->parent_)
        if (TTreeNode* next = n->NextSibling())
            return next;
    return nullptr;
}

TTreeNode* TResultsTree::NodeAt(std::int32_t absoluteIndex) const
{
    Renumber();
    if (absoluteIndex < 0 || static_cast<std::size_t>(absoluteIndex) >= byIndex_.size())
        return nullptr;
    return byIndex_[static_cast<std::size_t>(absoluteIndex)];
}

void TResultsTree::Renumber() const
{
    if (numbered_)
        return;
    byIndex_.clear();
    byIndex_.reserve(nodes_.size());
    for (TTreeNode* n = First(); n; n = NextDepthFirst(*n)) {
        n->absoluteIndex_ = static_cast<std::int32_t>(byIndex_.size());
        byIndex_.push_back(n);
    }
    numbered_ = true;
}

} // namespace salvage
