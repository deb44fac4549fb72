// The NTFS reader and the whole NTFS analysis over a volume described in the
// chunk layout (ChunkVolume.h): the boot sector, record fixups, attributes
// (named and through attribute lists), data runs, the MFT and volume
// bitmaps, and then the search over every record with condition estimates.

#include "ChunkVolume.h"
#include "FuzzCommon.h"

#include "salvage/disk/Errors.h"
#include "salvage/fs/NTFS.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

using namespace salvage;

namespace {

// The reader's calls on the first records: the search itself takes most of
// them only on the paths a real record leads to.
constexpr std::uint64_t kRecordsExercised = 48;
constexpr std::uint64_t kDataLimit = 1u << 20;
constexpr std::uint64_t kUnitsExercised = 4;
constexpr std::array<std::uint32_t, 5> kTypes = {ntfs::kStandardInformation, ntfs::kAttributeList, ntfs::kFileName,
                                                 ntfs::kData, ntfs::kBitmap};

void ExerciseAttribute(const TNTFS& ntfs, const TNTFSAttribute& attribute, std::vector<std::uint8_t>& buffer)
{
    (void)attribute.NameBytes();
    (void)attribute.Value();
    (void)TNTFS::AttributeDataSize(attribute);
    try {
        (void)TNTFS::AttributeAllocatedSize(attribute);
    } catch (const ERangeError&) {
        // A size beyond 32 bits is refused with the range error.
    }
    if (attribute.NonResident()) {
        (void)ntfs.MapVCN(attribute, attribute.LowestVcn());
        (void)ntfs.MapVCN(attribute, attribute.HighestVcn());
        (void)ntfs.MapVCN(attribute, attribute.LowestVcn() / 2 + attribute.HighestVcn() / 2);
    }
    (void)ntfs.ReadAttributeData(attribute, buffer, kDataLimit);
}

// A stream with every extent of its attribute list, its first bytes and
// compression units, and its condition.
void ExerciseStream(TNTFS& ntfs, ByteSpan record, std::uint64_t n, std::u16string_view name)
{
    const auto stream = ntfs.ReadStream(record, n, name);
    if (!stream)
        return;
    for (std::size_t i = 1; i < stream->Runs.size(); ++i)
        if (stream->Runs[i].Vcn != stream->Runs[i - 1].Vcn + stream->Runs[i - 1].Length)
            fuzzsupport::Fail("a stream's runs are out of VCN order or overlap");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(stream->Size, 8192)));
    (void)ntfs.ReadRunBytes(stream->Runs, stream->MappedClusters, 0, bytes);
    if (stream->Compressed()) {
        std::vector<std::uint8_t> unit(stream->CompressionUnit * std::size_t{ntfs.ClusterBytes()});
        for (std::uint64_t u = 0; u < kUnitsExercised && u * stream->CompressionUnit < stream->MappedClusters; ++u)
            (void)ntfs.ReadCompressionUnit(*stream, u, unit);
    }
    (void)ntfs.EstimateStreamCondition(*stream);
}

void ExerciseReader(TNTFS& ntfs, std::uint64_t records)
{
    std::vector<std::uint8_t> record(ntfs.RecordSize());
    std::vector<std::uint8_t> buffer;
    TNTFSRecordInfo info;
    const std::u16string streamName = u"$I30";
    for (std::uint64_t n = 0; n < records && n < kRecordsExercised; ++n) {
        (void)ntfs.IsRecordInUse(n);
        (void)ntfs.GetDeletedRecordInfo(n, info);
        (void)ntfs.GetLiveRecordInfo(n, info);
        if (!ntfs.ReadMFTRecord(n, record))
            continue;
        for (const std::uint32_t type : kTypes) {
            for (std::uint32_t index = 0; index < 3; ++index) {
                const auto attribute = ntfs.FindAttribute(record, type, std::nullopt, true, index);
                if (!attribute)
                    break;
                ExerciseAttribute(ntfs, *attribute, buffer);
            }
            if (const auto named = ntfs.FindAttribute(record, type, streamName, true, 0))
                ExerciseAttribute(ntfs, *named, buffer);
            (void)ntfs.ReadAttributeClusters(record, type, 1, buffer, 0);
        }
        const std::uint8_t reread = ntfs.EstimateNTFSCondition(n);
        if (ntfs.GetRecordInfo(record, info)) {
            ExerciseStream(ntfs, record, n, u"");
            for (const TNTFSNamedStream& s : info.Streams)
                ExerciseStream(ntfs, record, n, s.Name);
            // The estimate on the record as read is the one on the record read again.
            if (ntfs.EstimateRecordCondition(record, n, info) != reread)
                fuzzsupport::Fail("the condition of a record as read differs from its estimate");
        }
    }
    const std::uint64_t clusters = ntfs.ClusterCount();
    for (const std::uint64_t lcn : {std::uint64_t{0}, clusters / 2, clusters - 1, clusters,
                                    std::numeric_limits<std::uint64_t>::max()})
        (void)ntfs.IsClusterInUse(lcn);
    // A range of clusters at once answers as its clusters one by one.
    for (const std::uint64_t lcn : {std::uint64_t{0}, clusters / 3, clusters > 40000 ? clusters - 40000 : 0}) {
        const std::uint64_t count = std::min<std::uint64_t>(clusters - std::min(lcn, clusters), 70000);
        bool any = false;
        for (std::uint64_t i = 0; i < count && !any; ++i)
            any = ntfs.IsClusterInUse(lcn + i);
        if (ntfs.AnyClusterInUse(lcn, count) != any)
            fuzzsupport::Fail("a range of clusters answers otherwise than its clusters");
    }
    buffer.resize(4 * ntfs.RecordSize());
    (void)ntfs.ReadRawMFTRecords(0, 4, buffer);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::QuietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const platform::VolumePtr volume = fuzzsupport::MakeChunkVolume(std::span(data, size));
    {
        TNTFS ntfs;
        std::uint64_t records = 0;
        if (!ntfs.OpenNTFSVolume(volume, records).Ok())
            return 0;
        ExerciseReader(ntfs, records);
    }
    TFoundFileModel model;
    if (fuzzsupport::AnalyseVolume(volume, model, true)) {
        fuzzsupport::WalkTree(model.Tree());
        fuzzsupport::WalkTree(model.FilterTree());
    }
    return 0;
}
