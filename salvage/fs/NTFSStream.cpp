// A file's data streams with all their extents (attribute lists), the
// compression units of compressed streams, and their condition estimate.

#include "salvage/fs/NTFS.h"

#include "salvage/fs/Lznt1.h"

#include <algorithm>
#include <limits>
#include <map>

namespace salvage {

using namespace ntfs;

namespace {

// Attribute-list entries of one stream: where each extent starts and which
// record holds it.
struct ExtentEntry {
    std::uint64_t Vcn = 0;
    std::uint64_t Record = 0;
};

// Extent records read for one stream are kept while it is collected; a list
// of many fragments names the same few records over and over.
constexpr std::size_t kMaxCachedExtentRecords = 64;

[[nodiscard]] bool NameIs(const TNTFSAttribute& attribute, std::u16string_view name) noexcept
{
    return NameMatches(attribute.NameBytes(), name);
}

// The $DATA attribute `name` of `record` that starts at `vcn`.
[[nodiscard]] std::optional<TNTFSAttribute> ExtentIn(ByteSpan record, std::u16string_view name, std::uint64_t vcn)
{
    std::optional<TNTFSAttribute> found;
    TNTFS::ForEachAttribute(record, [&](const TNTFSAttribute& attribute) {
        if (attribute.Type() != kData || !NameIs(attribute, name))
            return true;
        const std::uint64_t lowest = attribute.NonResident() ? attribute.LowestVcn() : 0;
        if (lowest != vcn)
            return true;
        found = attribute;
        return false;
    });
    return found;
}

} // namespace

bool TNTFS::BuildStream(const TNTFSAttribute& first, TNTFSStream& stream) const
{
    stream.Flags = first.Flags();
    if (!first.NonResident()) {
        stream.Resident = true;
        const ByteSpan value = first.Value();
        stream.Value.assign(value.begin(), value.end());
        stream.Size = stream.ValidSize = value.size();
        return true;
    }
    stream.Size = first.RealSize();
    stream.ValidSize = std::min(first.ValidSize(), stream.Size);
    if ((stream.Flags & kAttrCompressionMask) != 0 && first.CompressionUnitShift() != 0) {
        // NTFS writes units of 16 clusters of at most 4 KiB; up to 256
        // clusters and 1 MiB are decoded, larger units are refused.
        if (first.CompressionUnitShift() > kMaxCompressionUnitShift ||
            (std::uint64_t{1} << first.CompressionUnitShift()) * ClusterBytes() > kMaxCompressionUnitBytes)
            return false;
        stream.CompressionUnit = 1u << first.CompressionUnitShift();
    }
    return true;
}

std::optional<TNTFSStream> TNTFS::ReadStream(ByteSpan record, std::uint64_t n, std::u16string_view name) const
{
    return CollectStream(
        record, n, name, [this](std::uint64_t r, std::span<std::uint8_t> buffer) { return FetchRecord(r, buffer); },
        {});
}

std::optional<TNTFSStream>
TNTFS::CollectStream(ByteSpan record, std::uint64_t n, std::u16string_view name,
                     const std::function<bool(std::uint64_t, std::span<std::uint8_t>)>& fetch,
                     const std::function<void(const TNTFSStream&)>& grown) const
{
    std::optional<TNTFSAttribute> list;
    std::optional<TNTFSAttribute> own;  // the stream's first extent in the record itself
    ForEachAttribute(record, [&](const TNTFSAttribute& attribute) {
        if (attribute.Type() == kAttributeList && !list)
            list = attribute;
        else if (attribute.Type() == kData && !own && NameIs(attribute, name) &&
                 (!attribute.NonResident() || attribute.LowestVcn() == 0))
            own = attribute;
        return true;
    });

    // The entries of the list that name this stream, by VCN.
    std::vector<ExtentEntry> entries;
    std::vector<std::uint8_t> listStorage;
    ByteSpan listBytes;
    if (list && ReadListEntries(*list, listStorage, listBytes)) {
        for (std::size_t pos = 0; InBounds(listBytes.size(), pos, kAlMinEntrySize);) {
            const std::size_t length = LoadLE16(listBytes, pos + kAlLength);
            if (length < kAlMinEntrySize || !InBounds(listBytes.size(), pos, length))
                break;
            const ByteSpan entry = listBytes.subspan(pos, length);
            if (LoadLE32(entry, kAlType) == kData && ListEntryNameMatches(entry, name))
                entries.push_back({LoadLE64(entry, kAlLowestVcn), RecordNumberOf(LoadLE64(entry, kAlRecord))});
            pos += length;
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const ExtentEntry& a, const ExtentEntry& b) { return a.Vcn < b.Vcn; });
    }

    TNTFSStream stream;
    stream.Name = std::u16string(name);
    auto append = [&](const TNTFSAttribute& extent) -> bool {
        const TRunList runs = DecodeDataRuns(extent.RunList(), extent.LowestVcn(), clusterCount_);
        // The extent must map every VCN it claims, no more and no less.
        const std::uint64_t end = runs.Runs.empty() ? extent.LowestVcn() : runs.Runs.back().Vcn + runs.Runs.back().Length;
        const bool whole = !runs.Corrupt && extent.HighestVcn() != std::numeric_limits<std::uint64_t>::max() &&
                           end == extent.HighestVcn() + 1;
        for (const TDataRun& run : runs.Runs)
            if (run.Vcn <= extent.HighestVcn())
                stream.Runs.push_back(run);
        stream.MappedClusters = std::min(end, extent.HighestVcn() + 1);
        if (grown)
            grown(stream);
        return whole;
    };

    if (entries.empty()) {
        // No list, or one that does not name the stream: the record's own.
        if (!own || !BuildStream(*own, stream))
            return std::nullopt;
        if (!stream.Resident && own->HighestVcn() != std::numeric_limits<std::uint64_t>::max() && !append(*own))
            stream.ExtentMissing = true;
        return stream;
    }

    // Every extent in VCN order, each following the one before without a
    // gap; the list's size bounds the walk.
    std::map<std::uint64_t, std::vector<std::uint8_t>> records;
    std::uint64_t expected = 0;
    bool first = true;
    for (const ExtentEntry& e : entries) {
        if (!first && e.Vcn < expected)
            continue;  // an entry for a VCN already mapped
        if (e.Vcn != expected) {
            stream.ExtentMissing = true;
            break;
        }
        ByteSpan holder = record;
        if (e.Record != n) {
            auto it = records.find(e.Record);
            if (it == records.end()) {
                if (records.size() >= kMaxCachedExtentRecords)
                    records.erase(records.begin());
                std::vector<std::uint8_t> buffer(recordSize_);
                // An extent record names its file's base record; the sequence
                // part is not compared, because deleting the file bumps the
                // base record's own.
                if (!fetch(e.Record, buffer) || LoadLE32(buffer, 0) != LoadLE32(kFileSignature, 0) ||
                    RecordNumberOf(LoadLE64(buffer, kRecBaseRecord)) != n) {
                    stream.ExtentMissing = true;
                    break;
                }
                it = records.emplace(e.Record, std::move(buffer)).first;
            }
            holder = it->second;
        }
        const auto extent = ExtentIn(holder, name, e.Vcn);
        if (!extent) {
            stream.ExtentMissing = true;
            break;
        }
        if (first) {
            first = false;
            if (!BuildStream(*extent, stream))
                return std::nullopt;
            if (stream.Resident)
                return stream;  // a resident attribute has one extent
        } else if (!extent->NonResident()) {
            stream.ExtentMissing = true;
            break;
        }
        if (extent->HighestVcn() == std::numeric_limits<std::uint64_t>::max())
            break;  // an empty stream
        if (!append(*extent)) {
            stream.ExtentMissing = true;
            break;
        }
        expected = extent->HighestVcn() + 1;
    }
    if (first)
        return std::nullopt;  // not even the first extent was found
    return stream;
}

TUnitResult TNTFS::ReadCompressionUnit(const TNTFSStream& stream, std::uint64_t unit,
                                       std::span<std::uint8_t> out) const
{
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    const std::uint64_t clusterBytes = ClusterBytes();
    const std::uint64_t perUnit = stream.CompressionUnit;
    if (perUnit == 0 || out.size() != perUnit * clusterBytes || unit > std::numeric_limits<std::uint64_t>::max() / perUnit)
        return TUnitResult::Unreadable;
    const std::uint64_t first = unit * perUnit;
    if (first >= stream.MappedClusters)
        return TUnitResult::Unreadable;

    // How many of the unit's clusters are on the disk: a unit that holds
    // compressed data keeps its clusters first and a sparse tail after them.
    std::uint64_t stored = 0;
    bool sparseSeen = false;
    for (std::uint64_t vcn = first; vcn < first + perUnit;) {
        if (vcn >= stream.MappedClusters)
            return TUnitResult::Unreadable;  // the runs end inside the unit
        const auto m = MapVcnInRuns(stream.Runs, vcn);
        if (!m)
            return TUnitResult::Unreadable;
        const std::uint64_t take = std::min(m->RunRemaining, first + perUnit - vcn);
        if (m->Sparse)
            sparseSeen = true;
        else if (sparseSeen)
            return TUnitResult::Corrupt;  // data after the tail: not a layout NTFS writes
        else
            stored += take;
        vcn += take;
    }
    if (stored == 0)
        return TUnitResult::Ok;  // a hole: zeros
    if (stored == perUnit) {
        // Compression would not have saved a cluster: stored as it is.
        if (!ReadRunBytes(stream.Runs, stream.MappedClusters, first * clusterBytes, out)) {
            std::fill(out.begin(), out.end(), std::uint8_t{0});
            return TUnitResult::Unreadable;
        }
        return TUnitResult::Ok;
    }
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(stored * clusterBytes));
    if (!ReadRunBytes(stream.Runs, stream.MappedClusters, first * clusterBytes, packed))
        return TUnitResult::Unreadable;
    if (Lznt1Decompress(packed, out) != TLznt1Result::Ok) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return TUnitResult::Corrupt;
    }
    return TUnitResult::Ok;
}

std::uint8_t TNTFS::EstimateStreamCondition(const TNTFSStream& stream)
{
    return EstimateStreamCondition(stream, bitmapBlock_);
}

std::uint8_t TNTFS::EstimateStreamCondition(const TNTFSStream& stream, TBitmapBlock& block) const
{
    if (stream.ExtentMissing)
        return kConditionPoor;
    // A file cannot own more clusters than the volume has, which bounds a
    // crafted list.
    std::uint64_t checked = 0;
    for (const TDataRun& run : stream.Runs) {
        if (run.Sparse)
            continue;
        if (run.Length > clusterCount_ - std::min(checked, clusterCount_))
            return kConditionPoor;
        for (std::uint64_t i = 0; i < run.Length; ++i)
            if (IsClusterInUse(run.Lcn + i, block))
                return kConditionPoor;
        checked += run.Length;
    }
    return kConditionGood;
}

std::uint8_t TNTFS::EstimateNTFSCondition(std::uint64_t n)
{
    return EstimateNTFSCondition(n, u"");
}

std::uint8_t TNTFS::EstimateNTFSCondition(std::uint64_t n, std::u16string_view name)
{
    return EstimateNTFSCondition(n, name, bitmapBlock_);
}

std::uint8_t TNTFS::EstimateNTFSCondition(std::uint64_t n, std::u16string_view name, TBitmapBlock& block) const
{
    if (!volume_)
        return kConditionPoor;
    std::vector<std::uint8_t> record(recordSize_);
    if (!ReadMFTRecord(n, record))
        return kConditionPoor;
    const auto stream = ReadStream(record, n, name);
    if (!stream)
        return kConditionPoor;
    return EstimateStreamCondition(*stream, block);
}

} // namespace salvage
