// fuzz_seedtool touched|whole IMAGE OUT: writes a seed in the chunk layout
// (ChunkVolume.h) for a volume image.
//   touched  the sectors the analysis reads (boot sector, MFT records, the
//            bitmaps; FAT and directories), found by running it on the
//            image, and on NTFS the first compression units of compressed
//            files; MFT records that are free and nameless are left out
//   whole    every sector of the image
// fuzz_seedtool units IMAGE OUTDIR: the stored bytes of every compressed
// unit of the NTFS volume's compressed files, one file each (LZNT1 seeds,
// with the unit-size byte the LZNT1 target reads first).
// Sectors of zeros are left out either way: the chunk volume reads them as
// zeros anyway, and the seed stays small enough for mutations to matter.

#include "ChunkVolume.h"
#include "FuzzCommon.h"

#include "salvage/fs/Lznt1.h"
#include "salvage/fs/NTFS.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

using fuzzsupport::kChunkSectorSize;

// Passes reads through and notes the sectors they cover.
class RecordingVolume final : public platform::Volume {
public:
    explicit RecordingVolume(platform::VolumePtr base) : base_(std::move(base)) {}

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (!out.empty()) {
            std::lock_guard lock(mutex_);
            for (std::uint64_t s = offset / kChunkSectorSize; s <= (offset + out.size() - 1) / kChunkSectorSize; ++s)
                sectors_.insert(s);
        }
        return base_->ReadAt(offset, out);
    }
    std::uint64_t Size() const override { return base_->Size(); }

    std::set<std::uint64_t> Sectors() const
    {
        std::lock_guard lock(mutex_);
        return sectors_;
    }

private:
    platform::VolumePtr base_;
    mutable std::mutex mutex_;
    mutable std::set<std::uint64_t> sectors_;
};

// The sectors of MFT records that are free and hold no name: a formatted
// MFT has many, and as zeros they are skipped by the search just the same.
std::set<std::uint64_t> BlankRecordSectors(const platform::VolumePtr& volume)
{
    std::set<std::uint64_t> blank;
    salvage::TNTFS ntfs;
    std::uint64_t records = 0;
    if (!ntfs.OpenNTFSVolume(volume, records).Ok())
        return blank;
    const auto mft = ntfs.FindAttribute(ntfs.MFTRecord(), salvage::ntfs::kData, std::nullopt, false, 0);
    if (!mft)
        return blank;
    const std::uint64_t clusterBytes = ntfs.ClusterBytes();
    salvage::TNTFSRecordInfo info;
    for (std::uint64_t n = 0; n < records; ++n) {
        if (ntfs.IsRecordInUse(n) || ntfs.GetDeletedRecordInfo(n, info))
            continue;
        const std::uint64_t at = n * ntfs.RecordSize();
        // A record lies in one run (records never straddle a run's end).
        const auto m = ntfs.MapVCN(*mft, at / clusterBytes);
        if (!m || m->Sparse)
            continue;
        const std::uint64_t offset = m->Lcn * clusterBytes + at % clusterBytes;
        for (std::uint64_t s = offset / kChunkSectorSize; s < (offset + ntfs.RecordSize()) / kChunkSectorSize; ++s)
            blank.insert(s);
    }
    return blank;
}

// Calls visit(ntfs, stream) for the unnamed data of every record that has
// compressed data.
template <typename Visit>
void ForEachCompressedStream(const platform::VolumePtr& volume, Visit visit)
{
    salvage::TNTFS ntfs;
    std::uint64_t records = 0;
    if (!ntfs.OpenNTFSVolume(volume, records).Ok())
        return;
    std::vector<std::uint8_t> record(ntfs.RecordSize());
    for (std::uint64_t n = 0; n < records; ++n) {
        if (!ntfs.ReadMFTRecord(n, record))
            continue;
        const auto stream = ntfs.ReadStream(record, n, u"");
        if (stream && stream->Compressed())
            visit(ntfs, *stream);
    }
}

// The number of a unit's clusters that are on the disk.
std::uint64_t StoredClusters(const salvage::TNTFSStream& stream, std::uint64_t unit)
{
    std::uint64_t stored = 0;
    for (std::uint64_t vcn = unit * stream.CompressionUnit; vcn < (unit + 1) * stream.CompressionUnit; ++vcn) {
        const auto m = salvage::ntfs::MapVcnInRuns(stream.Runs, vcn);
        if (m && !m->Sparse)
            ++stored;
    }
    return stored;
}

int WriteUnits(const std::vector<std::uint8_t>& image, const std::string& outDir)
{
    int written = 0;
    ForEachCompressedStream(platform::MakeMemoryVolume(image), [&](const salvage::TNTFS& ntfs,
                                                                     const salvage::TNTFSStream& stream) {
        for (std::uint64_t unit = 0; unit * stream.CompressionUnit < stream.MappedClusters; ++unit) {
            const std::uint64_t stored = StoredClusters(stream, unit);
            if (stored == 0 || stored == stream.CompressionUnit)
                continue;  // a hole, or stored plainly
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stored * ntfs.ClusterBytes()));
            if (!ntfs.ReadRunBytes(stream.Runs, stream.MappedClusters, unit * stream.CompressionUnit * ntfs.ClusterBytes(),
                                   bytes))
                continue;
            bytes.insert(bytes.begin(), static_cast<std::uint8_t>(stream.CompressionUnit * ntfs.ClusterBytes() /
                                                                      salvage::ntfs::kLznt1ChunkBytes - 1));
            std::ofstream out(outDir + "/unit" + std::to_string(written++) + ".lznt1", std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
    });
    return written != 0 ? 0 : 1;
}

bool IsZero(std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t b : bytes)
        if (b != 0)
            return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 4 ? argv[1] : "";
    if (mode != "touched" && mode != "whole" && mode != "units") {
        std::cerr << "usage: fuzz_seedtool touched|whole IMAGE OUT | units IMAGE OUTDIR\n";
        return 2;
    }
    fuzzsupport::QuietMessages();
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::uint64_t sectorCount = image.size() / kChunkSectorSize;
    if (!in.is_open() || sectorCount == 0 || sectorCount > fuzzsupport::kMaxVolumeSectors) {
        std::cerr << argv[2] << ": not readable, empty, or larger than a fuzz volume can be\n";
        return 1;
    }

    if (mode == "units")
        return WriteUnits(image, argv[3]);

    std::set<std::uint64_t> wanted;
    if (mode == "touched") {
        auto recording = std::make_shared<RecordingVolume>(platform::MakeMemoryVolume(image));
        salvage::TFoundFileModel model;
        if (!fuzzsupport::AnalyseVolume(recording, model, true)) {
            std::cerr << argv[2] << ": the analysis refuses the volume\n";
            return 1;
        }
        // What a recovery reads first of a compressed file.
        ForEachCompressedStream(recording, [](const salvage::TNTFS& ntfs, const salvage::TNTFSStream& stream) {
            std::vector<std::uint8_t> unit(stream.CompressionUnit * std::size_t{ntfs.ClusterBytes()});
            for (std::uint64_t u = 0; u < 2; ++u)
                (void)ntfs.ReadCompressionUnit(stream, u, unit);
        });
        wanted = recording->Sectors();
        for (const std::uint64_t s : BlankRecordSectors(platform::MakeMemoryVolume(image)))
            wanted.erase(s);
    } else {
        for (std::uint64_t s = 0; s < sectorCount; ++s)
            wanted.insert(s);
    }

    // Runs of consecutive non-zero sectors become one chunk each.
    std::vector<std::uint8_t> seed;
    fuzzsupport::AppendHeader(seed, static_cast<std::uint32_t>(sectorCount));
    auto sector = [&](std::uint64_t s) {
        return std::span(image).subspan(static_cast<std::size_t>(s * kChunkSectorSize), kChunkSectorSize);
    };
    for (auto it = wanted.begin(); it != wanted.end();) {
        if (*it >= sectorCount || IsZero(sector(*it))) {
            ++it;
            continue;
        }
        const std::uint64_t first = *it;
        std::uint64_t last = first;
        while (++it != wanted.end() && *it == last + 1 && *it < sectorCount && !IsZero(sector(*it)))
            last = *it;
        fuzzsupport::AppendChunks(seed, static_cast<std::uint32_t>(first),
                                  std::span(image).subspan(static_cast<std::size_t>(first * kChunkSectorSize),
                                                           static_cast<std::size_t>((last - first + 1) * kChunkSectorSize)));
    }
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
    return out ? 0 : 1;
}
