#pragma once
// A byte buffer with a read position: the in-memory copy of a cluster or of a
// whole directory.

#include "salvage/disk/Bytes.h"
#include "salvage/disk/Errors.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace salvage {

class TMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::size_t size) : data_(size, 0) {}
    explicit TMemoryStream(std::vector<std::uint8_t> data) : data_(std::move(data)) {}

    [[nodiscard]] std::size_t Size() const noexcept { return data_.size(); }
    [[nodiscard]] std::size_t Position() const noexcept { return position_; }
    void Seek(std::size_t position) noexcept { position_ = std::min(position, data_.size()); }

    // Reads exactly `count` bytes or throws EReadError, leaving the position unchanged.
    void ReadBuffer(void* out, std::size_t count)
    {
        if (!InBounds(data_.size(), position_, count))
            throw EReadError();
        if (count != 0)
            std::memcpy(out, data_.data() + position_, count);
        position_ += count;
    }

    // Appends bytes at the end without moving the position.
    void Append(ByteSpan bytes) { data_.insert(data_.end(), bytes.begin(), bytes.end()); }

    [[nodiscard]] ByteSpan Bytes() const noexcept { return data_; }
    [[nodiscard]] std::vector<std::uint8_t>& Buffer() noexcept { return data_; }

private:
    std::vector<std::uint8_t> data_;
    std::size_t position_ = 0;
};

} // namespace salvage
