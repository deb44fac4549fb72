// What the search takes out of an MFT record, and the condition estimate of
// a deleted file.

#include "salvage/fs/NTFS.h"

#include <algorithm>
#include <limits>

namespace salvage {

using namespace ntfs;

namespace {

struct FileName {
    std::u16string Name;
    std::uint64_t Parent = 0;
    std::uint8_t Namespace = 0;
};

// A $FILE_NAME value whose name lies inside it.
[[nodiscard]] std::optional<FileName> DecodeFileName(const TNTFSAttribute& attribute)
{
    const ByteSpan value = attribute.Value();
    const std::size_t units = LoadU8(value, kFnNameLength);
    if (attribute.NonResident() || !InBounds(value.size(), kFnName, units * 2))
        return std::nullopt;
    FileName fn;
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
    info = TNTFSRecordInfo{};
    // The first name may come through an attribute list, the others from the
    // record itself. A Win32 name after the first ends the choice; otherwise
    // the longest wins (a DOS 8.3 name loses to the long name).
    std::optional<FileName> chosen;
    if (const auto first = FindAttribute(record, kFileName, std::nullopt, true, 0))
        chosen = DecodeFileName(*first);
    // One walk over the record (a crafted record can hold hundreds of names).
    bool first = true;
    ForEachAttribute(record, [&](const TNTFSAttribute& attribute) {
        if (attribute.Type() != kFileName)
            return true;
        if (first) {
            first = false;  // the first name was taken above
            return true;
        }
        auto fn = DecodeFileName(attribute);
        if (!fn)
            return true;
        if (!chosen || fn->Namespace == kNamespaceWin32) {
            const bool win32 = chosen && fn->Namespace == kNamespaceWin32;
            chosen = std::move(fn);
            return !win32;
        }
        if (fn->Name.size() > chosen->Name.size())
            chosen = std::move(fn);
        return true;
    });
    if (!chosen)
        return false;
    info.Name = std::move(chosen->Name);
    info.ParentRef = chosen->Parent;
    info.Flags = LoadLE16(record, kRecFlags);
    if (const auto si = FindAttribute(record, kStandardInformation, std::nullopt, false, 0)) {
        const ByteSpan value = si->Value();
        std::copy_n(value.begin(), std::min(value.size(), info.StdInfo.size()), info.StdInfo.begin());
    }
    if (const auto data = FindAttribute(record, kData, std::nullopt, true, 0))
        info.Size = AttributeDataSize(*data);
    return true;
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

std::uint8_t TNTFS::EstimateNTFSCondition(std::uint64_t n)
{
    if (!volume_)
        return kConditionPoor;
    std::vector<std::uint8_t> record(recordSize_);
    if (!ReadMFTRecord(n, record))
        return kConditionPoor;
    const auto data = FindAttribute(record, kData, std::nullopt, true, 0);
    if (!data)
        return kConditionPoor;
    if (!data->NonResident() || data->HighestVcn() == std::numeric_limits<std::uint64_t>::max())
        return kConditionGood;

    // Run by run from VCN 0; an unmappable VCN ends the walk. A file cannot
    // own more clusters than the volume has, which bounds a crafted list.
    const TRunList runs = DecodeDataRuns(data->RunList(), data->LowestVcn(), clusterCount_);
    std::uint64_t vcn = 0;
    std::uint64_t remaining = data->HighestVcn() + 1;
    std::uint64_t checked = 0;
    while (remaining > 0 && vcn <= data->HighestVcn() && vcn >= data->LowestVcn()) {
        const auto m = MapVcnInRuns(runs.Runs, vcn);
        if (!m)
            break;
        const std::uint64_t count = std::min(m->RunRemaining, remaining);
        if (!m->Sparse) {
            if (count > clusterCount_ - std::min(checked, clusterCount_))
                return kConditionPoor;
            for (std::uint64_t i = 0; i < count; ++i)
                if (IsClusterInUse(m->Lcn + i))
                    return kConditionPoor;
            checked += count;
        }
        vcn += count;
        remaining -= count;
    }
    return kConditionGood;
}

} // namespace salvage
