#pragma once
// TTreeNodesList: the NTFS directory index, (reference, tree node) pairs in
// ascending order of reference. A balanced tree, so registering many folders
// in any order stays O(log n) each.

#include <cstddef>
#include <cstdint>
#include <map>

namespace salvage {

class TTreeNode;

class TTreeNodesList {
public:
    using Map = std::map<std::uint32_t, TTreeNode*>;

    // Registers a pair. The first node registered for a reference keeps it.
    void Add(std::uint32_t ref, TTreeNode* node) { pairs_.emplace(ref, node); }
    // The node registered for ref, or null.
    [[nodiscard]] TTreeNode* Find(std::uint32_t ref) const
    {
        const auto it = pairs_.find(ref);
        return it == pairs_.end() ? nullptr : it->second;
    }
    void Clear() noexcept { pairs_.clear(); }
    [[nodiscard]] std::size_t Count() const noexcept { return pairs_.size(); }
    // Ascending by reference.
    [[nodiscard]] Map::const_iterator begin() const noexcept { return pairs_.begin(); }
    [[nodiscard]] Map::const_iterator end() const noexcept { return pairs_.end(); }

private:
    Map pairs_;
};

} // namespace salvage
