#include "salvage/fs/FAT.h"

#include "salvage/disk/Bytes.h"
#include "salvage/disk/Errors.h"
#include "salvage/disk/Messages.h"
#include "salvage/fs/FATEntryCheck.h"
#include "salvage/fs/TextConvert.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

namespace salvage {

using namespace fat;

TFAT32::TFAT32(const TLogicalDisk& disk, std::uint32_t startSector) : StartSector(startSector)
{
    platform::OpenError error;
    volume_ = OpenLogicalDisk(disk, error);
    if (!volume_) {
        // The boot-sector read is where the program reports an unopenable volume.
        ShowMessageBox(error.message);
        problem_ = error.message;
        return;
    }
    Setup();
}

TFAT32::TFAT32(platform::VolumePtr volume, std::uint32_t startSector)
    : StartSector(startSector), volume_(std::move(volume))
{
    if (!volume_) {
        problem_ = "The volume is not open.";
        return;
    }
    Setup();
}

TFAT32::TFAT32(platform::VolumePtr volume, const BootSectorBytes& bootSector)
    : BootSector(bootSector), StartSector(0), volume_(std::move(volume))
{
    if (!volume_) {
        problem_ = "The volume is not open.";
        return;
    }
    SetupFromBootSector();
}

void TFAT32::Setup()
{
    if (!ReadBootSector(*volume_, BootSector, StartSector)) {
        BootSector.fill(0);
        problem_ = "The boot sector cannot be read.";
        return;
    }
    SetupFromBootSector();
}

void TFAT32::SetupFromBootSector()
{
    // The type is decided by the type texts alone, not by the cluster count.
    if (TrimmedField(BootSector, kTypeText32, kTypeTextLength) == "FAT32")
        FATType = kFAT32;
    else if (TrimmedField(BootSector, kTypeText16, kTypeTextLength) == "FAT16")
        FATType = kFAT16;
    else
        FATType = kFAT12;

    if (BytesPerSector() == 0 || SectorsPerCluster() == 0) {
        problem_ = "The boot sector gives no sector or cluster size: this is not a usable FAT volume.";
        return;
    }
    if (BytesPerSector() != kSectorSize) {
        problem_ = "Volumes with " + std::to_string(BytesPerSector()) +
                   "-byte sectors are not supported: only 512-byte sectors can be read.";
        return;
    }

    FATStart = ReservedSectors();
    std::uint64_t dataStart = static_cast<std::uint64_t>(NumberOfFATs()) * SectorsPerFAT() + ReservedSectors();
    if (FATType != kFAT32)
        dataStart += static_cast<std::uint64_t>(RootEntries()) * kDirEntrySize / BytesPerSector();
    if (dataStart > std::numeric_limits<std::uint32_t>::max()) {
        problem_ = "The boot sector's FAT size puts the data area beyond the volume.";
        return;
    }
    DataStart = static_cast<std::uint32_t>(dataStart);

    std::uint64_t totalSectors = LoadLE16(BootSector, kTotalSectors16);
    if (totalSectors == 0)
        totalSectors = LoadLE32(BootSector, kTotalSectors32);
    if (totalSectors == 0)
        totalSectors = volume_->Size() / kSectorSize;
    const std::uint64_t dataSectors = totalSectors > DataStart ? totalSectors - DataStart : 0;
    std::uint64_t limit = dataSectors / SectorsPerCluster() + 2;
    limit = std::min<std::uint64_t>(limit, EntriesInFAT());
    limit = std::min<std::uint64_t>(limit, EndOfChain());
    clusterLimit_ = static_cast<std::uint32_t>(limit);
}

std::uint32_t TFAT32::BytesPerSector() const noexcept { return LoadLE16(BootSector, kBytesPerSector); }
std::uint32_t TFAT32::SectorsPerCluster() const noexcept { return LoadU8(BootSector, kSectorsPerCluster); }
std::uint32_t TFAT32::ReservedSectors() const noexcept { return LoadLE16(BootSector, kReservedSectors); }
std::uint32_t TFAT32::NumberOfFATs() const noexcept { return LoadU8(BootSector, kNumberOfFATs); }
std::uint32_t TFAT32::RootEntries() const noexcept { return LoadLE16(BootSector, kRootEntries); }
std::uint32_t TFAT32::RootCluster() const noexcept { return LoadLE32(BootSector, kRootCluster); }

std::uint32_t TFAT32::SectorsPerFAT() const noexcept
{
    return FATType == kFAT32 ? LoadLE32(BootSector, kSectorsPerFAT32) : LoadLE16(BootSector, kSectorsPerFAT16);
}

std::uint32_t TFAT32::RootKey() const noexcept
{
    if (FATType == kFAT32)
        return RootCluster();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(NumberOfFATs()) * SectorsPerFAT() +
                                      ReservedSectors());
}

std::uint32_t TFAT32::EndOfChain() const noexcept
{
    switch (FATType) {
    case kFAT32: return kEndOfChain32;
    case kFAT16: return kEndOfChain16;
    default: return kEndOfChain12;
    }
}

std::uint32_t TFAT32::EntriesInFAT() const noexcept
{
    const std::uint64_t bits = FATType == kFAT32 ? 32 : FATType == kFAT16 ? 16 : 12;
    const std::uint64_t entries = static_cast<std::uint64_t>(SectorsPerFAT()) * kSectorSize * 8 / bits;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(entries, std::numeric_limits<std::uint32_t>::max()));
}

bool TFAT32::ReadSectors(std::uint32_t count, std::span<std::uint8_t> buffer, std::uint64_t sector) const
{
    if (!volume_)
        return true;
    return ReadVolumeSectors(*volume_, StartSector, BytesPerSector(), count, buffer, sector);
}

std::uint32_t TFAT32::GetFATEntry(std::uint32_t cluster)
{
    if (!Usable() || cluster >= EntriesInFAT())
        return 0;
    std::uint64_t offset = 0;
    switch (FATType) {
    case kFAT32: offset = static_cast<std::uint64_t>(cluster) * 4; break;
    case kFAT16: offset = static_cast<std::uint64_t>(cluster) * 2; break;
    default: offset = static_cast<std::uint64_t>(cluster) * 3 / 2; break;
    }
    const auto index = static_cast<std::int32_t>(offset / kSectorSize);
    const auto o = static_cast<std::size_t>(offset % kSectorSize);

    if (index != CachedFATSector) {
        if (ReadSectors(1, FATCache, static_cast<std::uint64_t>(FATStart) + static_cast<std::uint32_t>(index))) {
            CachedFATSector = -1;
            return 0;
        }
        CachedFATSector = index;
    }
    if (FATType == kFAT32)
        return LoadLE32(FATCache, o);
    if (FATType == kFAT16)
        return LoadLE16(FATCache, o);

    // FAT12: 12 bits at a byte offset of 1.5 per cluster; an entry near the end
    // of a sector is completed from the start of the next FAT sector, read
    // directly so the cache keeps the current one.
    std::uint32_t v = 0;
    if (o + 3 <= kSectorSize) {
        v = LoadLEVar(FATCache, o, 3);
    } else {
        std::array<std::uint8_t, kSectorSize> next{};
        if (ReadSectors(1, next, static_cast<std::uint64_t>(FATStart) + static_cast<std::uint32_t>(index) + 1))
            return 0;
        const std::size_t head = kSectorSize - o;
        v = static_cast<std::uint32_t>(LoadLEVar(FATCache, o, head));
        v |= static_cast<std::uint32_t>(LoadLEVar(next, 0, o - (kSectorSize - 3))) << (8 * head);
    }
    // The byte offset is cluster * 3 / 2, so an odd cluster's 12 bits are the
    // top three nibbles of the 16-bit word there.
    return (cluster & 1) != 0 ? (v >> 4) & 0xFFF : v & 0xFFF;
}

namespace {

// Sets the bits of clusters [from, to) whose entries, `Width` bytes each
// from `entries`, are not 0 in `inUse`, and of those that are 1 in `ones`
// (made when the first is met). A 64-bit word of the map at a time.
template <std::size_t Width>
void MarkFatEntries(const std::uint8_t* entries, std::uint32_t from, std::uint32_t to,
                    std::vector<std::uint64_t>& inUse, std::vector<std::uint64_t>& ones)
{
    std::uint64_t used = 0;
    std::uint64_t one = 0;
    for (std::uint32_t c = from; c < to; ++c, entries += Width) {
        std::uint32_t v = entries[0] | static_cast<std::uint32_t>(entries[1]) << 8;
        if constexpr (Width == 4)
            v |= static_cast<std::uint32_t>(entries[2]) << 16 | static_cast<std::uint32_t>(entries[3]) << 24;
        const std::uint64_t bit = std::uint64_t{1} << (c % 64);
        used |= v != 0 ? bit : 0;
        one |= v == 1 ? bit : 0;
        if (c % 64 == 63 || c + 1 == to) {
            inUse[c / 64] |= used;
            if (one != 0) {
                if (ones.empty())
                    ones.assign(inUse.size(), 0);
                ones[c / 64] |= one;
            }
            used = one = 0;
        }
    }
}

} // namespace

void TFAT32::BuildClusterMap()
{
    clusterMapBuilt_ = true;
    const std::uint32_t limit = clusterLimit_;
    inUse_.assign((static_cast<std::size_t>(limit) + 63) / 64, 0);
    if (!Usable() || limit == 0)
        return;
    // The FAT sectors that hold entries 0 .. limit - 1 (one more for a FAT12
    // entry across the last one's end), read a run of sectors at a time; a
    // run that fails is read again sector by sector, and the entries of a
    // sector that cannot be read are 0, as GetFATEntry gives them.
    const std::uint64_t bits = FATType == kFAT32 ? 32 : FATType == kFAT16 ? 16 : 12;
    const std::uint64_t bytes = (static_cast<std::uint64_t>(limit) * bits + 7) / 8;
    const std::uint64_t sectors = (bytes + kSectorSize - 1) / kSectorSize + (FATType == kFAT12 ? 1 : 0);
    constexpr std::uint32_t kRun = 128;
    std::vector<std::uint8_t> buffer(kRun * kSectorSize + 2);  // + the next sector's first bytes (FAT12)
    std::vector<bool> readable(kRun + 1);
    auto readRun = [&](std::uint64_t first, std::uint32_t count) {
        const bool failed = ReadSectors(count, std::span(buffer).first(count * kSectorSize), FATStart + first);
        for (std::uint32_t i = 0; i < count; ++i) {
            readable[i] = !failed;
            if (failed)
                readable[i] = !ReadSectors(1, std::span(buffer).subspan(i * kSectorSize, kSectorSize), FATStart + first + i);
        }
    };
    std::uint32_t cluster = 0;
    for (std::uint64_t first = 0; first < sectors && cluster < limit; first += kRun) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kRun, sectors - first));
        readRun(first, count);
        // A FAT12 entry may end in the sector after the run.
        bool nextReadable = false;
        if (FATType == kFAT12 && first + count < sectors + 1) {
            std::array<std::uint8_t, kSectorSize> next{};
            nextReadable = !ReadSectors(1, next, FATStart + first + count);
            buffer[count * kSectorSize] = next[0];
            buffer[count * kSectorSize + 1] = next[1];
        }
        readable[count] = nextReadable;
        const std::uint64_t runStart = first * kSectorSize;
        const std::uint64_t runEnd = runStart + static_cast<std::uint64_t>(count) * kSectorSize;
        if (FATType != kFAT12) {
            // Whole entries per sector: a sector that cannot be read leaves its entries 0.
            const std::size_t width = FATType == kFAT32 ? 4 : 2;
            const std::uint64_t end = std::min<std::uint64_t>(limit, runEnd / width);
            while (cluster < end) {
                const auto at = static_cast<std::size_t>(static_cast<std::uint64_t>(cluster) * width - runStart);
                const std::size_t sector = at / kSectorSize;
                const auto stop = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(end, (runStart + (sector + 1) * kSectorSize) / width));
                if (readable[sector]) {
                    if (width == 4)
                        MarkFatEntries<4>(buffer.data() + at, cluster, stop, inUse_, ones_);
                    else
                        MarkFatEntries<2>(buffer.data() + at, cluster, stop, inUse_, ones_);
                }
                cluster = stop;
            }
            continue;
        }
        for (; cluster < limit; ++cluster) {
            const std::uint64_t offset = FATType == kFAT32   ? static_cast<std::uint64_t>(cluster) * 4
                                         : FATType == kFAT16 ? static_cast<std::uint64_t>(cluster) * 2
                                                             : static_cast<std::uint64_t>(cluster) * 3 / 2;
            if (offset >= runEnd)
                break;
            const auto at = static_cast<std::size_t>(offset - runStart);
            const std::size_t sector = at / kSectorSize;
            std::uint32_t v = 0;
            if (readable[sector]) {
                if (FATType == kFAT32) {
                    v = LoadLE32(buffer, at);
                } else if (FATType == kFAT16) {
                    v = LoadLE16(buffer, at);
                } else if (at % kSectorSize + 3 <= kSectorSize || readable[sector + 1]) {
                    // 12 bits at byte offset cluster * 3 / 2; an entry that
                    // ends in the next sector needs that sector too.
                    const std::uint32_t word = LoadLE16(buffer, at);
                    v = (cluster & 1) != 0 ? (word >> 4) & 0xFFF : word & 0xFFF;
                }
            }
            if (v != 0)
                inUse_[cluster / 64] |= std::uint64_t{1} << (cluster % 64);
            if (v == 1) {
                if (ones_.empty())
                    ones_.assign(inUse_.size(), 0);
                ones_[cluster / 64] |= std::uint64_t{1} << (cluster % 64);
            }
        }
    }
}

bool TFAT32::ClusterInUse(std::uint32_t cluster)
{
    if (cluster >= clusterLimit_)
        return GetFATEntry(cluster) != 0;
    if (!clusterMapBuilt_)
        BuildClusterMap();
    return (inUse_[cluster / 64] >> (cluster % 64) & 1) != 0;
}

bool TFAT32::AnyClusterInUse(std::uint32_t first, std::uint64_t count)
{
    return AnyMapped(first, count, true);
}

bool TFAT32::AnyMapped(std::uint32_t first, std::uint64_t count, bool reservedCounts)
{
    if (count == 0)
        return false;
    if (!clusterMapBuilt_)
        BuildClusterMap();
    // Cluster numbers stop at 2^32: so does the range.
    std::uint64_t c = first;
    const std::uint64_t end = c + std::min<std::uint64_t>(count, std::uint64_t{1} << 32);
    const std::uint64_t mapped = std::min<std::uint64_t>(end, clusterLimit_);
    auto taken = [&](std::size_t word) {
        return reservedCounts || ones_.empty() ? inUse_[word] : inUse_[word] & ~ones_[word];
    };
    // Whole words of the map where the range covers them.
    while (c < mapped) {
        const auto word = static_cast<std::size_t>(c / 64);
        if (c % 64 == 0 && c + 64 <= mapped) {
            if (taken(word) != 0)
                return true;
            c += 64;
            continue;
        }
        if ((taken(word) >> (c % 64) & 1) != 0)
            return true;
        ++c;
    }
    // Past the volume's clusters the FAT itself answers, entry by entry as
    // far as it has entries; beyond them every entry is 0.
    const std::uint64_t inFat = std::min<std::uint64_t>(end, EntriesInFAT());
    for (; c < inFat; ++c) {
        const std::uint32_t v = GetFATEntry(static_cast<std::uint32_t>(c));
        if (v >= 2 || (v == 1 && reservedCounts))
            return true;
    }
    return false;
}

std::uint64_t TFAT32::FreeClustersIn(std::uint32_t first, std::uint32_t end, std::uint64_t enough)
{
    if (!clusterMapBuilt_)
        BuildClusterMap();
    std::uint64_t n = 0;
    std::uint64_t c = first;
    const std::uint64_t mapped = std::min<std::uint64_t>(end, clusterLimit_);
    while (c < mapped && n < enough) {
        if (c % 64 == 0 && c + 64 <= mapped && n + 64 <= enough) {
            n += 64 - static_cast<std::uint64_t>(std::popcount(inUse_[c / 64]));
            c += 64;
            continue;
        }
        n += (inUse_[c / 64] >> (c % 64) & 1) == 0;
        ++c;
    }
    for (; c < end && n < enough; ++c)
        n += GetFATEntry(static_cast<std::uint32_t>(c)) == 0;
    return n;
}

TMemoryStream TFAT32::ReadCluster(std::uint32_t cluster, bool& failed) const
{
    TMemoryStream stream(Usable() ? ClusterBytes() : 0);
    failed = true;
    if (!Usable() || cluster < 2 || cluster >= clusterLimit_)
        return stream;
    const std::uint64_t spc = SectorsPerCluster();
    const std::uint64_t sector = cluster * spc + DataStart - 2 * spc;
    failed = ReadSectors(SectorsPerCluster(), stream.Buffer(), sector);
    return stream;
}

TMemoryStream TFAT32::ReadChain(std::uint32_t firstCluster)
{
    // The byte bound (each cluster is at least 512 bytes) ends any loop.
    TMemoryStream chain;
    ReadClusters(ChainClusters(firstCluster, MaxDirectoryClusters()), chain);
    chain.Seek(0);
    return chain;
}

std::size_t TFAT32::MaxDirectoryClusters() const noexcept
{
    const std::size_t bytes = Usable() ? ClusterBytes() : 0;
    return bytes == 0 ? 0 : std::min<std::size_t>(kMaxDirectoryBytes / bytes, clusterLimit_);
}

std::vector<std::uint32_t> TFAT32::ChainClusters(std::uint32_t first, std::size_t maxClusters,
                                                 const std::function<bool(std::uint32_t)>& accept)
{
    std::vector<std::uint32_t> chain;
    if (!Usable())
        return chain;
    maxClusters = std::min<std::size_t>(maxClusters, clusterLimit_);
    for (std::uint32_t c = first; c >= 2 && c < clusterLimit_;) {
        if ((accept && !accept(c)) || chain.size() >= maxClusters)
            break;
        chain.push_back(c);
        c = GetFATEntry(c);
        if (c >= EndOfChain())
            break;
    }
    return chain;
}

std::size_t TFAT32::ReadClusters(std::span<const std::uint32_t> clusters, TMemoryStream& out) const
{
    if (!Usable())
        return 0;
    // A run is read at once up to this many clusters (1 MiB of 8 KiB clusters).
    constexpr std::size_t kMaxRun = 128;
    const std::size_t clusterBytes = ClusterBytes();
    const std::uint32_t spc = SectorsPerCluster();
    auto inDataArea = [this](std::uint32_t c) { return c >= 2 && c < clusterLimit_; };
    auto sectorOf = [this, spc](std::uint32_t c) {
        return static_cast<std::uint64_t>(c) * spc + DataStart - 2 * static_cast<std::uint64_t>(spc);
    };
    std::vector<std::uint8_t>& buffer = out.Buffer();
    std::size_t done = 0;
    while (done < clusters.size() && inDataArea(clusters[done])) {
        std::size_t run = 1;
        while (done + run < clusters.size() && run < kMaxRun && clusters[done + run] == clusters[done] + run &&
               inDataArea(clusters[done + run]))
            ++run;
        const std::size_t at = buffer.size();
        buffer.resize(at + run * clusterBytes);
        const std::span<std::uint8_t> room = std::span(buffer).subspan(at);
        if (!ReadSectors(static_cast<std::uint32_t>(run * spc), room, sectorOf(clusters[done]))) {
            done += run;
            continue;
        }
        // Read again a cluster at a time, to keep those before the one that fails.
        std::size_t good = 0;
        while (good < run && !ReadSectors(spc, room.subspan(good * clusterBytes, clusterBytes),
                                          sectorOf(clusters[done + good])))
            ++good;
        if (good == run) {
            done += run;
            continue;
        }
        buffer.resize(at + good * clusterBytes);
        return done + good;
    }
    return done;
}

std::uint8_t TFAT32::EstimateCondition(const TDirEntry& entry)
{
    const std::uint64_t size = LoadLE32(entry, kEntryFileSize);
    const std::uint64_t clusterBytes = ClusterBytes();
    if (clusterBytes == 0)
        return kConditionPoor;
    // A deleted file is assumed to have occupied consecutive clusters, all
    // inside the volume and none with a FAT entry of 2 or more.
    const std::uint64_t first = EntryFirstCluster(entry, FATType);
    const std::uint64_t clusters = (size + clusterBytes - 1) / clusterBytes;
    if (clusters == 0)
        return kConditionGood;
    if (first + clusters > clusterLimit_ || AnyMapped(static_cast<std::uint32_t>(first), clusters, false))
        return kConditionPoor;
    return kConditionGood;
}

std::uint8_t TFAT32::FirstClusterCondition(const TDirEntry& entry)
{
    return GetFATEntry(EntryFirstCluster(entry, FATType)) >= 2 ? kConditionPoor : kConditionGood;
}

std::uint32_t EntryFirstCluster(const TDirEntry& entry)
{
    return (static_cast<std::uint32_t>(LoadLE16(entry, kEntryClusterHigh)) << 16) | LoadLE16(entry, kEntryClusterLow);
}

namespace {

// A fixed field taken up to its first NUL and stripped of trailing spaces,
// appended to `out`; returns its length.
std::size_t NameField(const TDirEntry& entry, std::size_t offset, std::size_t length, char* out)
{
    std::size_t n = 0;
    while (n < length && entry[offset + n] != 0)
        ++n;
    while (n > 0 && entry[offset + n - 1] == ' ')
        --n;
    std::copy_n(entry.begin() + static_cast<std::ptrdiff_t>(offset), n, out);
    return n;
}

// The units of one run of a long-name entry up to its first NUL, appended
// to `out` and, as bytes, to `narrow` (the padding 0xFFFF as "?"); `other`
// collects the bits of every unit but the padding. Offset and count are
// fixed, so the loop unrolls.
template <std::size_t Offset, std::size_t Count>
std::size_t LongNameRun(const std::uint8_t* e, char16_t* out, char* narrow, unsigned& other) noexcept
{
    std::size_t n = 0;
    for (; n < Count; ++n) {
        const unsigned u = e[Offset + 2 * n] | static_cast<unsigned>(e[Offset + 2 * n + 1]) << 8;
        if (u == 0)
            break;
        const bool padding = u == 0xFFFF;
        other |= padding ? 0 : u;
        out[n] = static_cast<char16_t>(u);
        narrow[n] = padding ? '?' : static_cast<char>(u);
    }
    return n;
}

// The characters of one long-name entry's part, each of its three runs up
// to its first NUL; returns how many were written to `out` (13 at most).
// `narrow` gets them as bytes too, and `wide` is set when one of them is
// not ASCII: then only `out` holds the name.
std::size_t LongNamePart(const std::uint8_t* e, char16_t* out, char* narrow, bool& wide) noexcept
{
    unsigned other = 0;
    std::size_t n = LongNameRun<kLongNameRun1, kLongNameRun1Units>(e, out, narrow, other);
    n += LongNameRun<kLongNameRun2, kLongNameRun2Units>(e, out + n, narrow + n, other);
    n += LongNameRun<kLongNameRun3, kLongNameRun3Units>(e, out + n, narrow + n, other);
    wide = wide || other >= 0x80;
    return n;
}

constexpr std::size_t kPartUnits = kLongNameRun1Units + kLongNameRun2Units + kLongNameRun3Units;

// LongNamePart's bytes alone. Most parts are thirteen ASCII characters
// (every part of a name but its last): those are told from five words of
// the entry (four units each, some twice), without a test per character;
// the others go through LongNamePart.
std::size_t NarrowLongNamePart(const std::uint8_t* e, char* narrow, bool& wide) noexcept
{
    if constexpr (std::endian::native == std::endian::little) {
        auto word = [e](std::size_t offset) {
            std::uint64_t w;
            std::memcpy(&w, e + offset, sizeof w);
            return w;
        };
        std::uint32_t last;  // the third run's two units
        std::memcpy(&last, e + kLongNameRun3, sizeof last);
        const std::array<std::uint64_t, 5> w{word(kLongNameRun1), word(kLongNameRun1 + 2),
                                             word(kLongNameRun2), word(kLongNameRun2 + 4),
                                             std::uint64_t{0x0041004100000000} | last};  // two units of "A" to fill it
        // ASCII: no high byte, no low byte of 0x80 or more; and no NUL unit.
        constexpr std::uint64_t kNotAscii = 0xFF80FF80FF80FF80;
        constexpr std::uint64_t kUnitOnes = 0x0001000100010001;
        constexpr std::uint64_t kUnitTops = 0x8000800080008000;
        std::uint64_t all = 0;
        std::uint64_t nul = 0;
        for (const std::uint64_t units : w) {
            all |= units;
            nul |= (units - kUnitOnes) & ~units;
        }
        if ((all & kNotAscii) == 0 && (nul & kUnitTops) == 0) {
            constexpr std::array<std::uint8_t, kPartUnits> kLowBytes{1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
            for (std::size_t i = 0; i < kPartUnits; ++i)
                narrow[i] = static_cast<char>(e[kLowBytes[i]]);
            return kPartUnits;
        }
    }
    std::array<char16_t, kPartUnits> units;
    return LongNamePart(e, units.data(), narrow, wide);
}

} // namespace

std::string ShortEntryName(const TDirEntry& entry)
{
    char text[kEntryNameLength + 1 + kEntryExtensionLength];
    std::size_t n = NameField(entry, kEntryName, kEntryNameLength, text);
    const std::size_t ext = NameField(entry, kEntryExtension, kEntryExtensionLength, text + n + 1);
    if (ext != 0) {
        text[n] = '.';
        n += 1 + ext;
    }
    if (n >= 2 && static_cast<std::uint8_t>(text[0]) == kEntryDeleted)
        text[0] = 'x';
    return OemToUtf8(std::string_view(text, n));
}

void ReadLongName(TDirEntry& entry, TMemoryStream& stream, std::string& name)
{
    // The run's entries follow the first one in the stream; the short entry
    // that owns the name ends it. A run that reaches the end of the data
    // has none: the stream stands after its last whole entry.
    const ByteSpan data = stream.Bytes();
    const std::size_t start = stream.Position();
    std::size_t count = 0;  // long-name entries after the first
    while (true) {
        const std::size_t at = start + count * kDirEntrySize;
        if (!InBounds(data.size(), at, kDirEntrySize)) {
            stream.Seek(at);
            throw EReadError();
        }
        if (data[at + kEntryAttributes] != kAttrLongName)
            break;
        ++count;
    }
    // Long-name entries are stored last part first: the parts are joined
    // from the run's end back to its first entry. A name of the longest
    // run Windows writes fits on the stack. Names of ASCII characters (and
    // the padding, which becomes "?") take a byte a unit.
    std::array<char16_t, 21 * kPartUnits> fixed;
    std::array<char, 21 * kPartUnits> fixedNarrow;
    std::u16string large;
    std::string largeNarrow;
    char16_t* units = fixed.data();
    char* narrow = fixedNarrow.data();
    if ((count + 1) * kPartUnits > fixed.size()) {
        large.resize((count + 1) * kPartUnits);
        largeNarrow.resize((count + 1) * kPartUnits);
        units = large.data();
        narrow = largeNarrow.data();
    }
    // The bytes first; the units only for a name that is not ASCII.
    auto part = [&](std::size_t i) { return i == 0 ? entry.data() : data.data() + start + (i - 1) * kDirEntrySize; };
    std::size_t length = 0;
    bool wide = false;
    for (std::size_t i = count + 1; i > 0; --i)
        length += NarrowLongNamePart(part(i - 1), narrow + length, wide);
    if (wide) {
        length = 0;
        for (std::size_t i = count + 1; i > 0; --i)
            length += LongNamePart(part(i - 1), units + length, narrow + length, wide);
    }
    const std::size_t shortAt = start + count * kDirEntrySize;
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(shortAt), kDirEntrySize, entry.begin());
    stream.Seek(shortAt + kDirEntrySize);
    // Trailing "?" characters are removed either way.
    if (!wide) {
        while (length > 0 && narrow[length - 1] == '?')
            --length;
        name.clear();
        name.append(narrow, length);
        return;
    }
    name = Utf16UnitsToUtf8(std::u16string_view(units, length));
    while (!name.empty() && name.back() == '?')
        name.pop_back();
}

std::string ReadLongName(TDirEntry& entry, TMemoryStream& stream)
{
    std::string name;
    ReadLongName(entry, stream, name);
    return name;
}

TDateTime DosDateTimeToDateTime(std::uint16_t date, std::uint16_t time)
{
    const int day = date & 0x1F;
    const int month = (date >> 5) & 0xF;
    const int year = (date >> 9) + 1980;
    const int hour = time >> 11;
    const int minute = (time >> 5) & 0x3F;
    const int twoSeconds = time & 0x1F;
    if (month < 1 || month > 12 || day == 0 || time >= 0xC000 || minute >= 60 || twoSeconds >= 30)
        return 0;
    return EncodeDateTime({year, month, day, hour, minute, twoSeconds * 2, 0}).value_or(0);
}

} // namespace salvage
