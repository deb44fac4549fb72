#pragma once
// TListInteger: 32-bit signed integers kept in ascending order, duplicates
// allowed (the FAT search's VisitedDirs).
//
// Values that arrive in order are appended; others wait in a small sorted
// side list that is merged in when it grows, so a volume with very many
// directories does not pay a full shift of the list for every insertion.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace salvage {

class TListInteger {
public:
    void Add(std::int32_t value);
    [[nodiscard]] bool Contains(std::int32_t value) const;
    void Clear() noexcept;

    [[nodiscard]] std::size_t Count() const noexcept { return main_.size() + side_.size(); }
    // The value at `index` in ascending order.
    [[nodiscard]] std::int32_t operator[](std::size_t index) const;
    // Every value in ascending order.
    [[nodiscard]] const std::vector<std::int32_t>& Items() const;

private:
    void Merge() const;

    mutable std::vector<std::int32_t> main_;  // ascending
    mutable std::vector<std::int32_t> side_;  // ascending, merged into main_ when large
};

} // namespace salvage
