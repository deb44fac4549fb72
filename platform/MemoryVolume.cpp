#include "platform/Volume.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

class MemoryVolume final : public Volume {
public:
    explicit MemoryVolume(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
            return false;
        if (!out.empty())
            std::memcpy(out.data(), bytes_.data() + offset, out.size());
        return true;
    }

    std::uint64_t Size() const override { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

class WindowVolume final : public Volume {
public:
    WindowVolume(VolumePtr base, std::uint64_t offset, std::uint64_t length)
        : base_(std::move(base)), offset_(offset), length_(length) {}

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (offset > length_ || out.size() > length_ - offset)
            return false;
        return base_->ReadAt(offset_ + offset, out);
    }

    std::uint64_t Size() const override { return length_; }

private:
    VolumePtr base_;
    std::uint64_t offset_;
    std::uint64_t length_;
};

} // namespace

VolumePtr MakeMemoryVolume(std::vector<std::uint8_t> bytes)
{
    return std::make_shared<MemoryVolume>(std::move(bytes));
}

VolumePtr MakeWindowVolume(VolumePtr base, std::uint64_t offset, std::uint64_t length)
{
    if (!base)
        return nullptr;
    const std::uint64_t baseSize = base->Size();
    if (baseSize != 0) {
        if (offset > baseSize)
            length = 0;
        else
            length = std::min(length, baseSize - offset);
    }
    return std::make_shared<WindowVolume>(std::move(base), offset, length);
}

} // namespace platform
