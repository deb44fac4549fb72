// What the search takes out of an MFT record, and the condition estimate of
// a deleted file.

#include "salvage/fs/NTFS.h"

#include "salvage/fs/NTFSWalk.h"

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

// A $FILE_NAME value of the record itself, not copied: the name is taken
// out once the choice among the record's names is made.
struct NameInRecord {
    ByteSpan units;  // the name's UTF-16LE bytes
    std::uint64_t parent = 0;
    std::uint8_t nameSpace = 0;
};

[[nodiscard]] std::optional<NameInRecord> FileNameIn(const TNTFSAttribute& attribute) noexcept
{
    const ByteSpan value = attribute.Value();
    const std::size_t units = LoadU8(value, kFnNameLength);
    if (attribute.NonResident() || !InBounds(value.size(), kFnName, units * 2))
        return std::nullopt;
    return NameInRecord{value.subspan(kFnName, units * 2), LoadLE64(value, kFnParent), LoadU8(value, kFnNamespace)};
}

void AssignUtf16(std::u16string& name, ByteSpan bytes)
{
    name.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < name.size(); ++i)
        name[i] = static_cast<char16_t>(LoadLE16(bytes, 2 * i));
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
    info.Flags = 0;
    info.ParentRef = 0;
    info.Size = 0;
    info.StdInfo.fill(0);
    info.Sequence = LoadLE16(record, kRecSequence);
    info.DataFlags = 0;
    info.Streams.clear();
    info.DataAt = 0;
    info.Listed = false;
    // An extent record holds attributes of the file whose base record it
    // names: it is not a file of its own, whatever names it holds.
    if (LoadLE64(record, kRecBaseRecord) != 0) {
        info.Name.clear();
        return false;
    }
    // One walk over the record (a crafted record can hold hundreds of
    // names) finds everything the search reports and where the data's runs
    // are. A Win32 name after the first ends the choice of name; otherwise
    // the longest wins (a DOS 8.3 name loses to the long name). What the
    // record lacks may lie in other records, named by its list.
    std::optional<NameInRecord> chosen;
    bool nameSeen = false;
    bool nameChosen = false;
    bool stdInfoSeen = false;
    bool dataSeen = false;
    WalkAttributes(record, [&](const TNTFSAttribute& attribute, std::size_t offset) {
        switch (attribute.Type()) {
        case kFileName: {
            if (nameChosen)
                break;
            const auto fn = FileNameIn(attribute);
            const bool firstName = !nameSeen;
            nameSeen = true;
            if (!fn)
                break;
            if (firstName || !chosen) {
                chosen = fn;
            } else if (fn->nameSpace == kNamespaceWin32) {
                chosen = fn;
                nameChosen = true;
            } else if (fn->units.size() > chosen->units.size()) {
                chosen = fn;
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
                    info.DataAt = static_cast<std::uint32_t>(offset);
                }
            } else {
                info.Streams.push_back({Utf16Name(attribute.NameBytes()), AttributeDataSize(attribute), attribute.Flags()});
            }
            break;
        case kAttributeList:
            info.Listed = true;
            break;
        default:
            break;
        }
        return true;
    });
    if (info.Listed) {
        // Only a record without any name of its own takes the first one its list names.
        std::optional<TNTFSFileName> listed;
        FromList(record, !nameSeen ? &listed : nullptr, !dataSeen, info);
        if (listed) {
            info.Name = std::move(listed->Name);
            info.ParentRef = listed->Parent;
            info.Flags = LoadLE16(record, kRecFlags);
            return true;
        }
    }
    if (!chosen) {
        info.Name.clear();
        return false;
    }
    AssignUtf16(info.Name, chosen->units);
    info.ParentRef = chosen->parent;
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

std::uint8_t TNTFS::EstimateRecordCondition(ByteSpan record, std::uint64_t n, std::u16string_view stream)
{
    return EstimateRecordCondition(record, n, stream, bitmapBlock_);
}

std::uint8_t TNTFS::EstimateRecordCondition(ByteSpan record, std::uint64_t n, std::u16string_view stream,
                                            TBitmapBlock& block) const
{
    if (!volume_)
        return kConditionPoor;
    const auto collected = ReadStream(record, n, stream);
    return collected ? EstimateStreamCondition(*collected, block) : kConditionPoor;
}

std::uint8_t TNTFS::EstimateRecordCondition(ByteSpan record, std::uint64_t n, const TNTFSRecordInfo& info)
{
    return EstimateRecordCondition(record, n, info, bitmapBlock_);
}

std::uint8_t TNTFS::EstimateRecordCondition(ByteSpan record, std::uint64_t n, const TNTFSRecordInfo& info,
                                            TBitmapBlock& block) const
{
    // With a list the extents may lie in other records, and without the
    // data in the record there is nothing to take apart here.
    if (info.Listed || info.DataAt == 0)
        return EstimateRecordCondition(record, n, std::u16string_view(), block);
    const auto data = TNTFSAttribute::At(record, info.DataAt);
    if (!volume_ || !data)
        return kConditionPoor;
    if (!data->NonResident())
        return kConditionGood;
    // Compression units that are not decoded make the stream unusable.
    const unsigned shift = data->CompressionUnitShift();
    if ((data->Flags() & kAttrCompressionMask) != 0 && shift != 0 &&
        (shift > kMaxCompressionUnitShift || (std::uint64_t{1} << shift) * ClusterBytes() > kMaxCompressionUnitBytes))
        return kConditionPoor;
    const std::uint64_t highest = data->HighestVcn();
    if (highest == std::numeric_limits<std::uint64_t>::max())
        return kConditionGood;  // empty
    // The runs as they are decoded: a cluster in use, or more clusters than
    // the volume has, make it poor; so does a run list that does not map
    // exactly VCNs 0 to the highest (an extent missing).
    TRunDecoder decoder(data->RunList(), data->LowestVcn(), clusterCount_);
    TDataRun run;
    std::uint64_t end = data->LowestVcn();
    std::uint64_t checked = 0;
    const std::size_t steps = data->RunList().size();
    for (std::size_t i = 0;; ++i) {
        if (i > steps)
            return kConditionPoor;  // cannot happen: every run takes two bytes
        const auto step = decoder.Next(run);
        if (step == TRunDecoder::Step::Corrupt)
            return kConditionPoor;
        if (step == TRunDecoder::Step::End)
            break;
        end = run.Vcn + run.Length;
        if (run.Sparse)
            continue;
        if (run.Length > clusterCount_ - std::min(checked, clusterCount_) || AnyClusterInUse(run.Lcn, run.Length, block))
            return kConditionPoor;
        checked += run.Length;
    }
    return end == highest + 1 ? kConditionGood : kConditionPoor;
}

bool TNTFS::GetDeletedRecordInfo(std::uint64_t n, TNTFSRecordInfo& info) const
{
    if (!volume_ || IsRecordInUse(n))
        return false;
    std::vector<std::uint8_t> record(recordSize_);
    return ReadMFTRecord(n, record) && HasFileSignature(record) && GetRecordInfo(record, info);
}

bool TNTFS::GetDeletedRecordInfo(std::uint64_t n, std::span<std::uint8_t> raw, TNTFSRecordInfo& info) const
{
    if (!volume_ || IsRecordInUse(n) || raw.size() < recordSize_)
        return false;
    const auto record = raw.first(recordSize_);
    return ApplyFixups(record) == TFixupResult::Applied && HasFileSignature(record) && GetRecordInfo(record, info);
}

bool TNTFS::GetLiveRecordInfo(std::uint64_t n, TNTFSRecordInfo& info) const
{
    // A free record is not what the file system would answer for N.
    if (!volume_ || !IsRecordInUse(n))
        return false;
    std::vector<std::uint8_t> record(recordSize_);
    return FetchRecord(n, record) && GetRecordInfo(record, info);
}

bool TNTFS::GetLiveRecordInfo(std::uint64_t n, std::span<std::uint8_t> raw, TNTFSRecordInfo& info) const
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
