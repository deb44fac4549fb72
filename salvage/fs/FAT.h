#pragma once
// FAT12/16/32 volume reader: boot-sector parameters, FAT entries, clusters and
// cluster chains, plus the directory-entry operations every FAT directory walk
// uses. Works on volumes with 512-byte sectors only.
//
// One reader serves one thread at a time (its FAT sector cache is not shared).

#include "platform/Volume.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/disk/MemoryStream.h"
#include "salvage/fs/DateTime.h"
#include "salvage/fs/FATLayout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace salvage {

using fat::TDirEntry;
class TFatDeletedMap;

// Condition estimates of a deleted file.
inline constexpr std::uint8_t kConditionUnknown = 0;
inline constexpr std::uint8_t kConditionGood = 1;
inline constexpr std::uint8_t kConditionPoor = 2;

class TFAT32 {
public:
    // Opens the drive's volume read-only and reads its boot sector. A volume
    // that cannot be opened shows the system's message (through the boot-sector
    // read) and leaves the reader unusable.
    explicit TFAT32(const TLogicalDisk& disk, std::uint32_t startSector = 0);
    // The same over a volume that is already open (an in-memory volume, a partition).
    explicit TFAT32(platform::VolumePtr volume, std::uint32_t startSector = 0);
    // The same with the boot sector already read (by whoever chose the volume).
    TFAT32(platform::VolumePtr volume, const BootSectorBytes& bootSector);

    TFAT32(const TFAT32&) = delete;
    TFAT32& operator=(const TFAT32&) = delete;

    // False when the boot sector could not be read, gives 0 bytes per sector or
    // 0 sectors per cluster, or a sector size other than 512. No search may be
    // started on an unusable reader; Problem() says why in a sentence.
    [[nodiscard]] bool Usable() const noexcept { return problem_.empty(); }
    [[nodiscard]] const std::string& Problem() const noexcept { return problem_; }

    // The volume sector read rule on this reader's volume. Returns "failed".
    [[nodiscard]] bool ReadSectors(std::uint32_t count, std::span<std::uint8_t> buffer, std::uint64_t sector) const;

    // The FAT entry of a cluster, all bits as stored. Clusters outside the
    // FAT, and FAT sectors that cannot be read, give 0.
    [[nodiscard]] std::uint32_t GetFATEntry(std::uint32_t cluster);

    // GetFATEntry(cluster) != 0: whether the FAT says the cluster is taken
    // (or bad, or reserved). The answers for the clusters of the volume come
    // from a bitmap of the whole FAT, read once at the first question and
    // kept for the reader's life; the volume is only read.
    [[nodiscard]] bool ClusterInUse(std::uint32_t cluster);
    // ClusterInUse of any of `count` clusters from `first`.
    [[nodiscard]] bool AnyClusterInUse(std::uint32_t first, std::uint64_t count);
    // How many clusters of [first, end) are not in use, counted up to `enough`.
    [[nodiscard]] std::uint64_t FreeClustersIn(std::uint32_t first, std::uint32_t end, std::uint64_t enough);

    // One cluster. The stream has the cluster's size in every case; Failed
    // reports the read (clusters outside the data area fail).
    [[nodiscard]] TMemoryStream ReadCluster(std::uint32_t cluster, bool& failed) const;

    // The chain from FirstCluster, positioned at 0. Ends at a failed read, at an
    // entry below 2 or at the end threshold; bounded by the volume's cluster
    // count and by the largest directory (kMaxDirectoryBytes), so a loop ends.
    [[nodiscard]] TMemoryStream ReadChain(std::uint32_t firstCluster);

    // The clusters of the chain from `first`, in order, each asked of
    // `accept` (when given) before it joins: false ends the chain there.
    // Ends at an entry below 2, at the end threshold or outside the data
    // area, and after maxClusters.
    [[nodiscard]] std::vector<std::uint32_t> ChainClusters(std::uint32_t first, std::size_t maxClusters,
                                                           const std::function<bool(std::uint32_t)>& accept = {});
    // Reads the clusters onto the end of `out`, consecutive ones in one
    // read; stops at the first that cannot be read (or lies outside the data
    // area) and returns how many were appended.
    std::size_t ReadClusters(std::span<const std::uint32_t> clusters, TMemoryStream& out) const;
    // The most clusters a directory may take (kMaxDirectoryBytes).
    [[nodiscard]] std::size_t MaxDirectoryClusters() const noexcept;

    // 1 (good) or 2 (poor): are the consecutive clusters a deleted file of this
    // size would have used still free?
    [[nodiscard]] std::uint8_t EstimateCondition(const TDirEntry& entry);
    // 2 when the entry's first cluster is in use, else 1.
    [[nodiscard]] std::uint8_t FirstClusterCondition(const TDirEntry& entry);

    // Boot-sector parameters.
    [[nodiscard]] std::uint32_t BytesPerSector() const noexcept;
    [[nodiscard]] std::uint32_t SectorsPerCluster() const noexcept;
    [[nodiscard]] std::uint32_t ReservedSectors() const noexcept;
    [[nodiscard]] std::uint32_t NumberOfFATs() const noexcept;
    [[nodiscard]] std::uint32_t RootEntries() const noexcept;
    [[nodiscard]] std::uint32_t SectorsPerFAT() const noexcept;  // by FAT type
    [[nodiscard]] std::uint32_t RootCluster() const noexcept;    // FAT32
    [[nodiscard]] std::uint32_t ClusterBytes() const noexcept { return BytesPerSector() * SectorsPerCluster(); }
    // Key of the root directory: the root cluster on FAT32, the first sector of
    // the root directory area on FAT12/16.
    [[nodiscard]] std::uint32_t RootKey() const noexcept;
    // One past the highest cluster number the volume holds (clusters start at 2).
    [[nodiscard]] std::uint32_t ClusterLimit() const noexcept { return clusterLimit_; }
    // End-of-chain threshold of this FAT type.
    [[nodiscard]] std::uint32_t EndOfChain() const noexcept;
    [[nodiscard]] const platform::VolumePtr& Volume() const noexcept { return volume_; }

    // Where the deleted files of the last search lie (FATPlacement.h); null
    // before a search has built it. Kept with the reader for the recovery.
    [[nodiscard]] const TFatDeletedMap* DeletedMap() const noexcept { return deletedMap_.get(); }
    void SetDeletedMap(std::shared_ptr<const TFatDeletedMap> map) noexcept { deletedMap_ = std::move(map); }

    BootSectorBytes BootSector{};
    std::uint32_t FATStart = 0;
    std::uint32_t DataStart = 0;
    std::uint8_t FATType = fat::kFAT12;
    std::uint32_t StartSector = 0;
    std::int32_t CachedFATSector = -1;
    std::array<std::uint8_t, fat::kSectorSize> FATCache{};

private:
    void Setup();
    void SetupFromBootSector();
    [[nodiscard]] std::uint32_t EntriesInFAT() const noexcept;
    // Reads the FAT into inUse_ (one bit per cluster below ClusterLimit()).
    void BuildClusterMap();

    // ClusterInUse, and whether a range holds a cluster of entry 2 or more
    // (the estimates count a reserved entry 1 as free).
    [[nodiscard]] bool AnyMapped(std::uint32_t first, std::uint64_t count, bool reservedCounts);

    std::vector<std::uint64_t> inUse_;  // entry not 0
    std::vector<std::uint64_t> ones_;   // entry 1; empty when the FAT has none
    bool clusterMapBuilt_ = false;

    platform::VolumePtr volume_;
    std::uint32_t clusterLimit_ = 0;
    std::string problem_;
    std::shared_ptr<const TFatDeletedMap> deletedMap_;
};

// (first cluster high word shl 16) or low word. Only FAT32 keeps the high
// word there: directory walks use EntryFirstCluster(entry, FATType) of
// FATEntryCheck.h.
[[nodiscard]] std::uint32_t EntryFirstCluster(const TDirEntry& entry);

// The 8.3 name of an entry: "NAME.EXT", or "NAME" without an extension. A
// first byte 0xE5 of a name at least 2 characters long becomes "x".
[[nodiscard]] std::string ShortEntryName(const TDirEntry& entry);

// Entry is the first entry of a long-name run, already read from Stream.
// Reads the rest of the run and returns the name; Entry becomes the short
// entry that owns it. Throws EReadError when the run reaches the end of the data.
[[nodiscard]] std::string ReadLongName(TDirEntry& entry, TMemoryStream& stream);
// The same into `name`, whose storage is reused (a walk keeps one string).
void ReadLongName(TDirEntry& entry, TMemoryStream& stream, std::string& name);

// DOS date and time words as a day-count date; 0 when they are not a real date.
[[nodiscard]] TDateTime DosDateTimeToDateTime(std::uint16_t date, std::uint16_t time);

} // namespace salvage
