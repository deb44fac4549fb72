// What the search takes out of an MFT record, and the condition estimate of
// a deleted file.

#include "salvage/fs/NTFS.h"

#include <algorithm>
#include <limits>

namespace salvage {

using namespace ntfs;

namespace {

// A record with more named streams than this behind its list is a crafted one.
constexpr std::size_t kMaxListedStreams = 256;

std::u16string Utf16Name(ByteSpan bytes)
{
    std::u16string name(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < name.size(); ++i)
        name[i] = static_cast<char16_t>(LoadLE16(bytes, 2 * i));
    return name;
}

// A $FILE_NAME value whose name lies inside it.
[[nodiscard]] std::optional<TNTFSFileName> DecodeFileName(const TNTFSAttribute& attribute)
{
    const ByteSpan value = attribute.Value();
    const std::size_t units = LoadU8(value, kFnNameLength);
    if (attribute.NonResident() || !InBounds(value.size(), kFnName, units * 2))
        return std::nullopt;
    TNTFSFileName fn;
    fn.Parent = LoadLE64(value, kFnParent);
    fn.Namespace = LoadU8(value, kFnNamespace);
    fn.Name.resize(units);
    for (std::size_t i = 0; i < units; ++i)
        fn.Name[i] = static_cast<char16_t>(LoadLE16(value, kFnName + 2 * i));
    return fn;
}

[[nodiscard]] bool HasFileSignature(ByteSpan record) noexcept
{
    return record.size() >= kFileSignature.size() &&
           std::equal(kFileSignature.begin(), kFileSignature.end(), record.begin());
}

[[nodiscard]] bool IsOwnRecord(ByteSpan record, std::uint64_t n) noexcept
{
    return LoadLE16(record, kRecUsaOffset) < kRecNumberedUsaOffset ||
           LoadLE32(record, kRecNumber) == static_cast<std::uint32_t>(n);
}

} // namespace

bool TNTFS::GetRecordInfo(ByteSpan record, TNTFSRecordInfo& info) const
{
    info.Name.clear();
    info.Flags = 0;
    info.ParentRef = 0;
    info.Size = 0;
    info.StdInfo.fill(0);
    info.Sequence = LoadLE16(record, kRecSequence);
    info.DataFlags = 0;
    info.Streams.clear();
    // An extent record holds attributes of the file whose base record it
    // names: it is not a file of its own, whatever names it holds.
    if (LoadLE64(record, kRecBaseRecord) != 0)
        return false;
    // One walk over the record (a crafted record can hold hundreds of
    // names). A Win32 name after the first ends the choice of name;
    // otherwise the longest wins (a DOS 8.3 name loses to the long name).
    // What the record lacks may lie in other records, named by its list.
    std::optional<TNTFSFileName> chosen;
    bool nameSeen = false;
    bool nameChosen = false;
    bool stdInfoSeen = false;
    bool dataSeen = false;
    bool hasList = false;
    ForEachAttribute(record, [&](const TNTFSAttribute& attribute) {
        switch (attribute.Type()) {
        case kFileName: {
            if (nameChosen)
                break;
            auto fn = DecodeFileName(attribute);
            const bool firstName = !nameSeen;
            nameSeen = true;
            if (!fn)
                break;
            if (firstName || !chosen) {
                chosen = std::move(fn);
            } else if (fn->Namespace == kNamespaceWin32) {
                chosen = std::move(fn);
                nameChosen = true;
            } else if (fn->Name.size() > chosen->Name.size()) {
                chosen = std::move(fn);
            }
            break;
        }
        case kStandardInformation:
            if (!stdInfoSeen) {
                stdInfoSeen = true;
                const ByteSpan value = attribute.Value();
                std::copy_n(value.begin(), std::min(value.size(), info.StdInfo.size()), info.StdInfo.begin());
            }
            break;
        case kData:
            if (attribute.NonResident() && attribute.LowestVcn() != 0)
                break;  // a later extent: the first one has the size
            if (attribute.NameBytes().empty()) {
                if (!dataSeen) {
                    dataSeen = true;
                    info.Size = AttributeDataSize(attribute);
                    info.DataFlags = attribute.Flags();
                }
            } else {
                info.Streams.push_back({Utf16Name(attribute.NameBytes()), AttributeDataSize(attribute), attribute.Flags()});
            }
            break;
        case kAttributeList:
            hasList = true;
            break;
        default:
            break;
        }
        return true;
    });
    if (hasList)
        FromList(record, !nameSeen ? &chosen : nullptr, !dataSeen, info);
    if (!chosen)
        return false;
    info.Name = std::move(chosen->Name);
    info.ParentRef = chosen->Parent;
    info.Flags = LoadLE16(record, kRecFlags);
    return true;
}

void TNTFS::FromList(ByteSpan record, std::optional<TNTFSFileName>* name, bool data, TNTFSRecordInfo& info) const
{
    if (name != nullptr)
        if (const auto first = FindAttribute(record, kFileName, std::nullopt, true, 0))
            *name = DecodeFileName(*first);
    if (data) {
        if (const auto first = FindAttribute(record, kData, std::u16string_view(), true, 0)) {
            info.Size = AttributeDataSize(*first);
            info.DataFlags = first->Flags();
        }
    }
    // Named streams kept in other records: the list names each one's first
    // extent (VCN 0).
    std::vector<std::uint8_t> storage;
    ByteSpan entries;
    std::optional<TNTFSAttribute> list = FindAttribute(record, kAttributeList, std::nullopt, false, 0);
    if (!list || !ReadListEntries(*list, storage, entries))
        return;
    std::size_t listed = 0;
    for (std::size_t pos = 0; InBounds(entries.size(), pos, kAlMinEntrySize) && listed < kMaxListedStreams;) {
        const std::size_t length = LoadLE16(entries, pos + kAlLength);
        if (length < kAlMinEntrySize || !InBounds(entries.size(), pos, length))
            break;
        const ByteSpan entry = entries.subspan(pos, length);
        const std::size_t units = LoadU8(entry, kAlNameLength);
        pos += length;
        if (LoadLE32(entry, kAlType) != kData || LoadLE64(entry, kAlLowestVcn) != 0 || units == 0 ||
            !InBounds(entry.size(), LoadU8(entry, kAlNameOffset), units * 2))
            continue;
        const std::u16string streamName = Utf16Name(entry.subspan(LoadU8(entry, kAlNameOffset), units * 2));
        if (std::any_of(info.Streams.begin(), info.Streams.end(),
                        [&](const TNTFSNamedStream& s) { return s.Name == streamName; }))
            continue;  // in the record itself
        ++listed;
        if (const auto attribute = FindAttribute(record, kData, std::u16string_view(streamName), true, 0))
            info.Streams.push_back({streamName, AttributeDataSize(*attribute), attribute->Flags()});
    }
}

bool TNTFS::GetDeletedRecordInfo(std::uint64_t n, TNTFSRecordInfo& info)
{
    if (!volume_ || IsRecordInUse(n))
        return false;
    std::vector<std::uint8_t> record(recordSize_);
    return ReadMFTRecord(n, record) && HasFileSignature(record) && GetRecordInfo(record, info);
}

bool TNTFS::GetDeletedRecordInfo(std::uint64_t n, std::span<std::uint8_t> raw, TNTFSRecordInfo& info)
{
    if (!volume_ || IsRecordInUse(n) || raw.size() < recordSize_)
        return false;
    const auto record = raw.first(recordSize_);
    return ApplyFixups(record) == TFixupResult::Applied && HasFileSignature(record) && GetRecordInfo(record, info);
}

bool TNTFS::GetLiveRecordInfo(std::uint64_t n, TNTFSRecordInfo& info)
{
    // A free record is not what the file system would answer for N.
    if (!volume_ || !IsRecordInUse(n))
        return false;
    std::vector<std::uint8_t> record(recordSize_);
    return FetchRecord(n, record) && GetRecordInfo(record, info);
}

bool TNTFS::GetLiveRecordInfo(std::uint64_t n, std::span<std::uint8_t> raw, TNTFSRecordInfo& info)
{
    if (fsHandle_)
        return GetLiveRecordInfo(n, info);  // the file system's own copy
    if (!volume_ || !IsRecordInUse(n) || raw.size() < recordSize_)
        return false;
    const auto record = raw.first(recordSize_);
    return ApplyFixups(record) == TFixupResult::Applied && HasFileSignature(record) && IsOwnRecord(record, n) &&
           GetRecordInfo(record, info);
}

} // namespace salvage
