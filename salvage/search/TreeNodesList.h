#pragma once
// TTreeNodesList: the NTFS directory index, tree nodes by reference (MFT
// record number), in ascending order of reference. Record numbers are dense,
// so the index is a table in pages of 4096 slots: registering and finding a
// folder cost O(1) whatever the order folders arrive in, and a reference
// near 2^32 costs at most an 8 MiB page directory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace salvage {

class TTreeNode;

class TTreeNodesList {
public:
    // Registers a pair. The first node registered for a reference keeps it.
    void Add(std::uint32_t ref, TTreeNode* node)
    {
        if (!node)
            return;
        const std::size_t page = ref >> kPageBits;
        if (page >= pages_.size())
            pages_.resize(page + 1);
        if (!pages_[page])
            pages_[page] = std::make_unique<Page>();
        TTreeNode*& slot = (*pages_[page])[ref & kPageMask];
        if (!slot) {
            slot = node;
            ++count_;
        }
    }
    // The node registered for ref, or null.
    [[nodiscard]] TTreeNode* Find(std::uint32_t ref) const noexcept
    {
        const std::size_t page = ref >> kPageBits;
        return page < pages_.size() && pages_[page] ? (*pages_[page])[ref & kPageMask] : nullptr;
    }
    void Clear() noexcept
    {
        pages_.clear();
        count_ = 0;
    }
    [[nodiscard]] std::size_t Count() const noexcept { return count_; }
    // Calls f(ref, node) for every pair, ascending by reference.
    template <class F>
    void ForEach(F&& f) const
    {
        for (std::size_t page = 0; page < pages_.size(); ++page) {
            if (!pages_[page])
                continue;
            for (std::size_t i = 0; i < kPageSize; ++i)
                if (TTreeNode* node = (*pages_[page])[i])
                    f(static_cast<std::uint32_t>((page << kPageBits) | i), node);
        }
    }

private:
    static constexpr unsigned kPageBits = 12;
    static constexpr std::size_t kPageSize = std::size_t{1} << kPageBits;
    static constexpr std::uint32_t kPageMask = kPageSize - 1;
    using Page = std::array<TTreeNode*, kPageSize>;

    std::vector<std::unique_ptr<Page>> pages_;
    std::size_t count_ = 0;
};

} // namespace salvage
