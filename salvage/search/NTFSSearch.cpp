#include "salvage/search/NTFSSearch.h"

#include "salvage/fs/DateTime.h"
#include "salvage/fs/NTFS.h"
#include "salvage/fs/TextConvert.h"
#include "salvage/search/MftReadAhead.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <vector>

namespace salvage {

namespace {

// The MFT is read in chunks of about this many bytes: one large read instead
// of one per record, a chunk held by each reader thread and one by the
// search's own (larger chunks, fewer hand-overs between the threads).
constexpr std::size_t kChunkBytes = 1u << 19;

// round(current / (count - 1) x 100), halves to even.
int ProgressPercent(std::uint64_t current, std::uint64_t count)
{
    if (count <= 1)
        return 100;
    return static_cast<int>(std::nearbyint(static_cast<double>(current) / static_cast<double>(count - 1) * 100.0));
}

void FillWork(TFileInfo& work, std::uint64_t record, const TNTFSRecordInfo& info, TFileTimeConverter& local)
{
    work.FileRef = static_cast<std::uint32_t>(record);
    work.FullRef = ntfs::MakeReference(record, info.Sequence);
    work.ParentRef = ntfs::RecordOfReference(info.ParentRef);
    work.Name = Utf16UnitsToUtf8(info.Name);
    work.Modified = local(info.LastWriteTime());
    work.Created = local(info.CreationTime());
    work.Accessed = local(info.LastAccessTime());
    work.StreamAt = 0;
    work.Encrypted = ntfs::HasFlag(info.DataFlags, ntfs::AttrFlag::Encrypted);
    work.Compressed = (info.DataFlags & ntfs::kAttrCompressionMask) != 0;
}

// A stream that belongs to the file system's own bookkeeping: one of a
// metadata file ($Secure:$SDS, $UpCase:$Info, $Bad:$Bad), or a "$" stream
// of a "$" file ($Extend's $UsnJrnl:$J, $Repair:$Config, ...).
bool IsSystemStream(std::uint64_t record, const std::u16string& name, const std::u16string& stream)
{
    return record < ntfs::kFirstUserRecord ||
           (!name.empty() && name[0] == u'$' && !stream.empty() && stream[0] == u'$');
}

} // namespace

TNTFSSearch::TNTFSSearch(TNTFS& ntfs, TSearchSink& sink, bool estimateCondition)
    : borrowed_(&ntfs), sink_(sink), estimateCondition_(estimateCondition)
{
}

TNTFSSearch::TNTFSSearch(const TLogicalDisk& disk, TSearchSink& sink, bool estimateCondition)
    : disk_(disk), sink_(sink), estimateCondition_(estimateCondition)
{
}

TNTFSSearch::TNTFSSearch(platform::VolumePtr volume, TSearchSink& sink, bool estimateCondition)
    : volume_(std::move(volume)), sink_(sink), estimateCondition_(estimateCondition)
{
}

TNTFSSearch::~TNTFSSearch()
{
    Stop();
}

void TNTFSSearch::Execute()
{
    {
        // A reader of our own lives for the visit only: leaving this block
        // closes it, also after an exception.
        TNTFS own;
        TNTFS* ntfs = borrowed_;
        if (!ntfs) {
            std::uint64_t count = 0;
            const TNTFSOpenResult opened =
                volume_ ? own.OpenNTFSVolume(volume_, count) : own.OpenNTFSVolume(disk_, count);
            if (opened.Ok())
                ntfs = &own;
            else
                sink_.Failed(opened.Message);
        }
        if (ntfs) {
            recordCount_.store(ntfs->RecordCount(), std::memory_order_release);
            try {
                Visit(*ntfs);
            } catch (const std::exception& e) {
                // A range or read error ends the visit; what was found stays.
                sink_.Failed(ScanEndedEarlyMessage(e.what()));
            }
        }
    }
    if (!StopRequested())
        sink_.Done();
}

namespace {

// What the records of one chunk report, in record order: made on a reader
// thread, handed to the sink on the search's.
struct TDecodedChunk {
    // The first Used are this chunk's (the rest keep their memory), each
    // with the record it came from.
    std::vector<TNtfsFound> Entries;
    std::vector<std::uint64_t> Records;
    std::size_t Used = 0;
    // What ended the decoding at record FailedAt (the entries before it stay).
    std::exception_ptr Failure;
    std::uint64_t FailedAt = 0;

    TFileInfo& Add(std::uint64_t record, bool directory)
    {
        if (Used == Entries.size()) {
            Entries.emplace_back();
            Records.emplace_back();
        }
        Records[Used] = record;
        TNtfsFound& e = Entries[Used++];
        e.Directory = directory;
        return e.Info;
    }
};

// A reader thread's own: what it takes each record apart with.
struct TDecoderState {
    TNTFSRecordInfo Info;
    TFileTimeConverter Local;
    TBitmapBlock Bitmap;
    std::vector<std::uint8_t> Single;  // a record of a chunk that could not be read whole
    TFileInfo Work;
};

// What a record is taken apart with besides its bytes.
struct TDecodeSettings {
    std::size_t RecordSize = 0;
    bool SystemStreams = false;
    const std::atomic<bool>& EstimateCondition;  // read again for every deleted file
};

// Takes record `current` of `chunk` apart, in place, with the reader's const
// calls only (they may run on several threads at once), and adds what it
// reports to `out`.
void DecodeRecord(const TNTFS& reader, const TMftReadAhead::Chunk& chunk, std::uint64_t current,
                  const TDecodeSettings& settings, TDecoderState& st, TDecodedChunk& out)
{
    const std::size_t recordSize = settings.RecordSize;
    TFileInfo& work = st.Work;
    TNTFSRecordInfo& info = st.Info;
    // A chunk that cannot be read in one go is read record by record,
    // so one bad sector costs only the records it holds.
    std::span<std::uint8_t> raw;
    if (chunk.Read)
        raw = chunk.Bytes.subspan(static_cast<std::size_t>(current - chunk.First) * recordSize, recordSize);
    else if (reader.ReadRawMFTRecords(current, 1, st.Single))
        raw = st.Single;

    work.Condition = 0;
    const bool free = !raw.empty() && reader.GetDeletedRecordInfo(current, raw, info);
    // A directory goes to the tree as a folder; a file with its size and,
    // when deleted and asked for, the estimate of its clusters.
    // Named streams follow as files of their own ("name:stream"), in the
    // folder that holds the file (or beside the folder they belong to).
    auto report = [&](bool fromRaw) {
        FillWork(work, current, info, st.Local);
        if (info.Directory()) {
            work.Size = 0;
            out.Add(current, true) = work;
        } else {
            work.Size = info.Size;
            if (work.Deleted && settings.EstimateCondition.load(std::memory_order_relaxed))
                work.Condition = fromRaw ? reader.EstimateRecordCondition(raw, current, info, st.Bitmap)
                                         : reader.EstimateNTFSCondition(current, u"", st.Bitmap);
            out.Add(current, false) = work;
        }
        if (info.Streams.empty())
            return;
        const std::string fileName = work.Name;
        for (const TNTFSNamedStream& stream : info.Streams) {
            if (!settings.SystemStreams && IsSystemStream(current, info.Name, stream.Name))
                continue;
            const std::string streamName = Utf16UnitsToUtf8(stream.Name);
            // A name longer than the offset can say is not one NTFS writes.
            if (fileName.size() + 1 > std::numeric_limits<std::uint16_t>::max() || streamName.empty())
                continue;
            work.Name = fileName + ":" + streamName;
            work.StreamAt = static_cast<std::uint16_t>(fileName.size() + 1);
            work.Size = stream.Size;
            work.Encrypted = ntfs::HasFlag(stream.Flags, ntfs::AttrFlag::Encrypted);
            work.Compressed = (stream.Flags & ntfs::kAttrCompressionMask) != 0;
            work.Condition = !work.Deleted || !settings.EstimateCondition.load(std::memory_order_relaxed)
                                 ? kNotAssessed
                             : fromRaw ? reader.EstimateRecordCondition(raw, current, stream.Name, st.Bitmap)
                                       : reader.EstimateNTFSCondition(current, stream.Name, st.Bitmap);
            out.Add(current, false) = work;
        }
    };
    if (free && !info.Name.empty()) {
        // Free in the MFT bitmap but still flagged in use in its header:
        // not deleted.
        work.Deleted = !info.InUse();
        report(true);
        return;
    }
    // A live record: from the chunk, or (the file system's own copy on
    // Windows, a record that could not be read) by itself.
    const bool live = raw.empty() ? reader.GetLiveRecordInfo(current, info)
                                  : reader.GetLiveRecordInfo(current, raw, info);
    if (live) {
        work.Deleted = false;
        report(false);
    }
}

} // namespace

void TNTFSSearch::Visit(TNTFS& ntfs)
{
    const std::uint64_t count = ntfs.RecordCount();
    const std::size_t recordSize = ntfs.RecordSize();
    const std::size_t perChunk =
        recordsPerRead_ != 0 ? recordsPerRead_ : std::max<std::size_t>(1, kChunkBytes / recordSize);
    const unsigned workers = std::max(decodeThreads_, 1u);
    std::vector<TDecoderState> states(workers);
    // By slot: the reader holds at most one chunk per thread and the one handed out.
    std::vector<TDecodedChunk> decoded(workers + 1);
    const TNTFS& reader = ntfs;
    const TDecodeSettings settings{recordSize, systemStreams_, estimateCondition_};

    // Each record is taken apart once, on the thread that read its chunk;
    // the condition estimate works on the same fixed-up bytes.
    auto decode = [&](const TMftReadAhead::Chunk& chunk, unsigned worker) {
        TDecoderState& st = states[worker];
        TDecodedChunk& out = decoded[chunk.Slot];
        out.Used = 0;
        out.Failure = nullptr;
        st.Single.resize(recordSize);
        std::uint64_t current = chunk.First;
        try {
            for (; current < chunk.First + chunk.Count && !StopRequested(); ++current)
                DecodeRecord(reader, chunk, current, settings, st, out);
        } catch (...) {
            out.Failure = std::current_exception();
            out.FailedAt = current;
        }
    };

    // The next chunks are read and taken apart while the sink hears of this one.
    TMftReadAhead chunks(ntfs, count, perChunk, workers, decode);
    int lastPercent = -1;
    for (TMftReadAhead::Chunk chunk = chunks.Next(); chunk.Count != 0 && !Terminated(); chunk = chunks.Next()) {
        const TDecodedChunk& out = decoded[chunk.Slot];
        // The sink hears of the records between two changes of the
        // percentage at once; a stop leaves the records before it.
        std::size_t from = 0, next = 0;
        auto hand = [&] {
            if (next > from)
                sink_.NtfsFound(std::span(out.Entries).subspan(from, next - from));
            from = next;
        };
        for (std::uint64_t current = chunk.First; current < chunk.First + chunk.Count; ++current) {
            if (const int percent = ProgressPercent(current, count); percent != lastPercent) {
                hand();
                if (Terminated())
                    return;
                sink_.Progress(percent);
                lastPercent = percent;
            } else if (Terminated()) {
                hand();
                return;
            }
            while (next < out.Used && out.Records[next] == current)
                ++next;
            if (out.Failure && current == out.FailedAt) {
                // As if met here: what came before it stays reported.
                hand();
                std::rethrow_exception(out.Failure);
            }
        }
        hand();
    }
}

} // namespace salvage
