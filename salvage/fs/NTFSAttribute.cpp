// MFT record structure: update-sequence fixups, the attribute walk and
// attribute-list following.

#include "salvage/fs/NTFS.h"

#include "salvage/fs/NTFSWalk.h"

#include <algorithm>

namespace salvage {

using namespace ntfs;

namespace {

// Attribute lists of a few thousand fragments are real; megabytes of list
// are not.
constexpr std::uint64_t kMaxAttributeListBytes = 4u << 20;

} // namespace

bool NameMatches(ByteSpan nameBytes, std::u16string_view name) noexcept
{
    if (nameBytes.size() != name.size() * 2)
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (LoadLE16(nameBytes, 2 * i) != name[i])
            return false;
    return true;
}

bool ListEntryNameMatches(ByteSpan entry, std::u16string_view name) noexcept
{
    const std::size_t units = LoadU8(entry, kAlNameLength);
    const std::size_t offset = LoadU8(entry, kAlNameOffset);
    if (units != 0 && !InBounds(entry.size(), offset, units * 2))
        return false;
    return NameMatches(units == 0 ? ByteSpan{} : entry.subspan(offset, units * 2), name);
}

TFixupResult ApplyFixups(std::span<std::uint8_t> record) noexcept
{
    const std::size_t usaOffset = LoadLE16(record, kRecUsaOffset);
    const std::size_t usaCount = LoadLE16(record, kRecUsaCount);
    if (usaCount < 2)
        return TFixupResult::Applied;
    // The array (sequence number + one value per block) lies inside the
    // record, after the fields it would otherwise overwrite, and names no
    // block past the record's end.
    if (usaOffset < kRecUsaCount + 2 || !InBounds(record.size(), usaOffset, usaCount * 2) ||
        (usaCount - 1) > record.size() / kFixupBlock)
        return TFixupResult::Malformed;
    const std::uint16_t sequence = LoadLE16(record, usaOffset);
    for (std::size_t i = 1; i < usaCount; ++i) {
        const std::size_t pos = i * kFixupBlock - 2;
        if (LoadLE16(record, pos) != sequence)
            return TFixupResult::Torn;
    }
    for (std::size_t i = 1; i < usaCount; ++i) {
        const std::size_t pos = i * kFixupBlock - 2;
        record[pos] = record[usaOffset + 2 * i];
        record[pos + 1] = record[usaOffset + 2 * i + 1];
    }
    return TFixupResult::Applied;
}

ByteSpan TNTFSAttribute::NameBytes() const noexcept
{
    const std::size_t units = LoadU8(bytes_, kAttrNameLength);
    if (units == 0)
        return {};
    return bytes_.subspan(LoadLE16(bytes_, kAttrNameOffset), units * 2);  // checked by At()
}

ByteSpan TNTFSAttribute::Value() const noexcept
{
    if (NonResident())
        return {};
    return bytes_.subspan(LoadLE16(bytes_, kAttrValueOffset), ValueLength());  // checked by At()
}

ByteSpan TNTFSAttribute::RunList() const noexcept
{
    if (!NonResident())
        return {};
    return bytes_.subspan(LoadLE16(bytes_, kAttrRunOffset));  // checked by At()
}

std::optional<TNTFSAttribute> TNTFSAttribute::At(ByteSpan record, std::size_t offset)
{
    if (!InBounds(record.size(), offset, kResidentHeaderSize))
        return std::nullopt;
    const std::size_t length = LoadLE32(record, offset + kAttrLength);
    if (length < kResidentHeaderSize || !InBounds(record.size(), offset, length))
        return std::nullopt;
    const ByteSpan bytes = record.subspan(offset, length);
    const std::size_t nameUnits = LoadU8(bytes, kAttrNameLength);
    if (nameUnits != 0 && !InBounds(length, LoadLE16(bytes, kAttrNameOffset), nameUnits * 2))
        return std::nullopt;
    if (LoadU8(bytes, kAttrNonResident) == 0) {
        if (!InBounds(length, LoadLE16(bytes, kAttrValueOffset), LoadLE32(bytes, kAttrValueLength)))
            return std::nullopt;
    } else {
        if (length < kNonResidentHeaderSize || LoadLE16(bytes, kAttrRunOffset) > length)
            return std::nullopt;
    }
    return TNTFSAttribute(bytes);
}

void TNTFS::ForEachAttribute(ByteSpan record, const std::function<bool(const TNTFSAttribute&)>& visit)
{
    WalkAttributes(record, [&visit](const TNTFSAttribute& attribute, std::size_t) { return visit(attribute); });
}

std::optional<TNTFSAttribute> TNTFS::FindAttribute(ByteSpan record, std::uint32_t type,
                                                   std::optional<std::u16string_view> name, bool followList,
                                                   std::uint32_t index) const
{
    std::uint32_t matched = 0;
    std::optional<TNTFSAttribute> found;
    std::optional<TNTFSAttribute> list;
    ForEachAttribute(record, [&](const TNTFSAttribute& attribute) {
        if (attribute.Type() == type && (!name || NameMatches(attribute.NameBytes(), *name))) {
            if (matched == index) {
                found = attribute;
                return false;
            }
            ++matched;
        }
        if (followList && attribute.Type() == kAttributeList)
            list = attribute;
        return true;
    });
    if (found)
        return found;
    if (!list)
        return std::nullopt;
    return FindInList(*list, type, name, index - matched);
}

bool TNTFS::ReadListEntries(const TNTFSAttribute& list, std::vector<std::uint8_t>& storage, ByteSpan& entries) const
{
    if (!list.NonResident()) {
        entries = list.Value();
        return true;
    }
    if (!ReadAttributeData(list, storage, kMaxAttributeListBytes))
        return false;
    // Only the real size holds entries; the rest of the last cluster is slack.
    storage.resize(static_cast<std::size_t>(std::min<std::uint64_t>(storage.size(), list.RealSize())));
    entries = storage;
    return true;
}

std::optional<TNTFSAttribute> TNTFS::FindInList(const TNTFSAttribute& list, std::uint32_t type,
                                                std::optional<std::u16string_view> name,
                                                std::uint32_t index) const
{
    std::vector<std::uint8_t> listValue;
    ByteSpan entries;
    if (!ReadListEntries(list, listValue, entries))
        return std::nullopt;

    // Entries are walked by their length, which is at least an entry header,
    // so the walk ends within the list.
    for (std::size_t pos = 0; InBounds(entries.size(), pos, kAlMinEntrySize);) {
        const std::size_t length = LoadLE16(entries, pos + kAlLength);
        if (length < kAlMinEntrySize || !InBounds(entries.size(), pos, length))
            break;
        // The entry of an attribute's first extent is the one that starts at
        // VCN 0 (the instance number says nothing about that: it is the
        // attribute's number inside its record).
        if (LoadLE32(entries, pos + kAlType) == type && LoadLE64(entries, pos + kAlLowestVcn) == 0 &&
            (!name || ListEntryNameMatches(entries.subspan(pos, length), *name))) {
            auto target = std::make_shared<std::vector<std::uint8_t>>(recordSize_);
            if (!FetchRecord(RecordOfReference(LoadLE64(entries, pos + kAlRecord)), *target))
                return std::nullopt;
            // The target's own lists are not followed: an extension record has
            // none, and a list naming its own record must not loop.
            auto found = FindAttribute(*target, type, name, false, index);
            if (found)
                found->owner_ = std::move(target);
            return found;
        }
        pos += length;
    }
    return std::nullopt;
}

} // namespace salvage
