#include "salvage/search/ListInteger.h"

#include <algorithm>
#include <cmath>

namespace salvage {

namespace {

// The side list may grow to about the square root of the whole list (at
// least a few thousand), which keeps both merges and side insertions cheap.
std::size_t SideLimit(std::size_t total)
{
    return std::max<std::size_t>(4096, static_cast<std::size_t>(std::sqrt(static_cast<double>(total))) * 8);
}

} // namespace

void TListInteger::Add(std::int32_t value)
{
    // Both lists stay sorted on their own; together they are the list.
    if (main_.empty() || value >= main_.back()) {
        main_.push_back(value);
        return;
    }
    side_.insert(std::upper_bound(side_.begin(), side_.end(), value), value);
    if (side_.size() > SideLimit(main_.size()))
        Merge();
}

bool TListInteger::Contains(std::int32_t value) const
{
    return std::binary_search(main_.begin(), main_.end(), value) ||
           std::binary_search(side_.begin(), side_.end(), value);
}

void TListInteger::Clear() noexcept
{
    main_.clear();
    side_.clear();
}

std::int32_t TListInteger::operator[](std::size_t index) const
{
    return Items().at(index);
}

const std::vector<std::int32_t>& TListInteger::Items() const
{
    Merge();
    return main_;
}

void TListInteger::Merge() const
{
    if (side_.empty())
        return;
    const std::size_t middle = main_.size();
    main_.insert(main_.end(), side_.begin(), side_.end());
    std::inplace_merge(main_.begin(), main_.begin() + static_cast<std::ptrdiff_t>(middle), main_.end());
    side_.clear();
}

} // namespace salvage
