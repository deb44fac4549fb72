#pragma once
// A set of cluster numbers as a bitmap in pages of 65,536 clusters, each
// made when a cluster in it is first added: a walk that reads a few
// thousand directory clusters of a volume of millions keeps a few pages,
// and a look-up is a shift and a mask.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace salvage {

class TClusterSet {
public:
    // True when the cluster was not in the set before.
    bool Insert(std::uint32_t cluster)
    {
        const std::size_t page = cluster >> kPageShift;
        if (page >= pages_.size())
            pages_.resize(page + 1);
        if (!pages_[page])
            pages_[page] = std::make_unique<std::uint64_t[]>(kWordsPerPage);  // zeroed
        std::uint64_t& word = pages_[page][(cluster & kInPage) / 64];
        const std::uint64_t bit = std::uint64_t{1} << (cluster % 64);
        const bool fresh = (word & bit) == 0;
        word |= bit;
        return fresh;
    }

    [[nodiscard]] bool Contains(std::uint32_t cluster) const noexcept
    {
        const std::size_t page = cluster >> kPageShift;
        return page < pages_.size() && pages_[page] &&
               (pages_[page][(cluster & kInPage) / 64] >> (cluster % 64) & 1) != 0;
    }

    void Erase(std::uint32_t cluster) noexcept
    {
        const std::size_t page = cluster >> kPageShift;
        if (page < pages_.size() && pages_[page])
            pages_[page][(cluster & kInPage) / 64] &= ~(std::uint64_t{1} << (cluster % 64));
    }

    void Clear() noexcept { pages_.clear(); }

private:
    static constexpr unsigned kPageShift = 16;
    static constexpr std::uint32_t kInPage = (1u << kPageShift) - 1;
    static constexpr std::size_t kWordsPerPage = (std::size_t{1} << kPageShift) / 64;
    std::vector<std::unique_ptr<std::uint64_t[]>> pages_;
};

} // namespace salvage
