#pragma once
// Hand-built MFT records for the exact corner cases of one structure
// (attribute headers, names, lists, update sequences). Whole volumes come
// from mkntfs and ntfsgen instead.

#include <cstdint>
#include <string>
#include <vector>

namespace testntfs {

using Bytes = std::vector<std::uint8_t>;

class RecordBuilder {
public:
    // flags: 1 in use, 2 directory. `number` goes into the header's own
    // record-number field.
    explicit RecordBuilder(std::size_t size = 1024, std::uint16_t flags = 1, std::uint32_t number = 0);

    RecordBuilder& Resident(std::uint32_t type, const Bytes& value, const std::u16string& name = u"");
    RecordBuilder& NonResident(std::uint32_t type, std::uint64_t lowestVcn, std::uint64_t highestVcn,
                               std::uint64_t realSize, const Bytes& runs);
    // Bytes put in as they are, for broken attribute headers.
    RecordBuilder& Raw(const Bytes& bytes);

    // The record as stored on disk: end marker, then the update sequence
    // applied (sequence number `sequence` at the end of every 512-byte block).
    [[nodiscard]] Bytes Build(std::uint16_t sequence = 1) const;
    // The same before the update sequence is applied (what fixups give back).
    [[nodiscard]] Bytes Plain() const;

private:
    std::size_t size_;
    Bytes head_;
    Bytes body_;
};

void PutLE(Bytes& b, std::size_t off, std::uint64_t value, int width);

// A $FILE_NAME value.
[[nodiscard]] Bytes FileNameValue(std::uint64_t parent, const std::u16string& name, std::uint8_t nameSpace);
// A $STANDARD_INFORMATION value with the two times the reader uses.
[[nodiscard]] Bytes StdInfoValue(std::uint64_t created, std::uint64_t written);
// One attribute-list entry.
[[nodiscard]] Bytes ListEntry(std::uint32_t type, std::uint64_t record, std::uint16_t instance);

} // namespace testntfs
