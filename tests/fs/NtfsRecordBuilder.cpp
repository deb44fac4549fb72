#include "tests/fs/NtfsRecordBuilder.h"

#include <stdexcept>

namespace testntfs {

namespace {
constexpr std::size_t kUsaOffset = 48;
}

void PutLE(Bytes& b, std::size_t off, std::uint64_t value, int width)
{
    if (b.size() < off + static_cast<std::size_t>(width))
        b.resize(off + static_cast<std::size_t>(width));
    for (int i = 0; i < width; ++i)
        b[off + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

RecordBuilder::RecordBuilder(std::size_t size, std::uint16_t flags, std::uint32_t number) : size_(size)
{
    const std::size_t usaCount = size / 512 + 1;
    const std::size_t first = (kUsaOffset + 2 * usaCount + 7) / 8 * 8;
    head_.assign(first, 0);
    head_[0] = 'F', head_[1] = 'I', head_[2] = 'L', head_[3] = 'E';
    PutLE(head_, 4, kUsaOffset, 2);
    PutLE(head_, 6, usaCount, 2);
    PutLE(head_, 20, first, 2);
    PutLE(head_, 22, flags, 2);
    PutLE(head_, 44, number, 4);
}

RecordBuilder& RecordBuilder::Resident(std::uint32_t type, const Bytes& value, const std::u16string& name)
{
    const std::size_t nameOffset = 24;
    const std::size_t valueOffset = (nameOffset + 2 * name.size() + 7) / 8 * 8;
    const std::size_t length = (valueOffset + value.size() + 7) / 8 * 8;
    Bytes a(length, 0);
    PutLE(a, 0, type, 4);
    PutLE(a, 4, length, 4);
    a[9] = static_cast<std::uint8_t>(name.size());
    PutLE(a, 10, nameOffset, 2);
    PutLE(a, 16, value.size(), 4);
    PutLE(a, 20, valueOffset, 2);
    for (std::size_t i = 0; i < name.size(); ++i)
        PutLE(a, nameOffset + 2 * i, name[i], 2);
    std::copy(value.begin(), value.end(), a.begin() + static_cast<long>(valueOffset));
    return Raw(a);
}

RecordBuilder& RecordBuilder::NonResident(std::uint32_t type, std::uint64_t lowestVcn, std::uint64_t highestVcn,
                                          std::uint64_t realSize, const Bytes& runs)
{
    const std::size_t runOffset = 64;
    const std::size_t length = (runOffset + runs.size() + 7) / 8 * 8;
    Bytes a(length, 0);
    PutLE(a, 0, type, 4);
    PutLE(a, 4, length, 4);
    a[8] = 1;
    PutLE(a, 10, runOffset, 2);
    PutLE(a, 16, lowestVcn, 8);
    PutLE(a, 24, highestVcn, 8);
    PutLE(a, 32, runOffset, 2);
    PutLE(a, 40, (highestVcn + 1) * 4096, 8);
    PutLE(a, 48, realSize, 8);
    PutLE(a, 56, realSize, 8);
    std::copy(runs.begin(), runs.end(), a.begin() + static_cast<long>(runOffset));
    return Raw(a);
}

RecordBuilder& RecordBuilder::Raw(const Bytes& bytes)
{
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    return *this;
}

Bytes RecordBuilder::Plain() const
{
    Bytes r = head_;
    r.insert(r.end(), body_.begin(), body_.end());
    PutLE(r, r.size(), 0xFFFFFFFF, 4);
    if (r.size() > size_ - 2)
        throw std::length_error("attributes do not fit the record");
    r.resize(size_, 0);
    return r;
}

Bytes RecordBuilder::Build(std::uint16_t sequence) const
{
    Bytes r = Plain();
    PutLE(r, kUsaOffset, sequence, 2);
    for (std::size_t i = 1; i <= size_ / 512; ++i) {
        const std::size_t end = i * 512 - 2;
        r[kUsaOffset + 2 * i] = r[end];
        r[kUsaOffset + 2 * i + 1] = r[end + 1];
        PutLE(r, end, sequence, 2);
    }
    return r;
}

Bytes FileNameValue(std::uint64_t parent, const std::u16string& name, std::uint8_t nameSpace)
{
    Bytes v(66 + 2 * name.size(), 0);
    PutLE(v, 0, parent, 8);
    v[64] = static_cast<std::uint8_t>(name.size());
    v[65] = nameSpace;
    for (std::size_t i = 0; i < name.size(); ++i)
        PutLE(v, 66 + 2 * i, name[i], 2);
    return v;
}

Bytes StdInfoValue(std::uint64_t created, std::uint64_t written)
{
    Bytes v(72, 0);
    PutLE(v, 0, created, 8);
    PutLE(v, 8, written, 8);
    return v;
}

Bytes ListEntry(std::uint32_t type, std::uint64_t record, std::uint16_t instance)
{
    Bytes e(32, 0);
    PutLE(e, 0, type, 4);
    PutLE(e, 4, 32, 2);
    PutLE(e, 16, record, 8);
    PutLE(e, 24, instance, 2);
    return e;
}

} // namespace testntfs
