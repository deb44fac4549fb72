#pragma once
// Hand-built FAT volumes in memory, for exact corner cases of one structure
// (entries at sector boundaries, reserved bits, runs that end the data).
// Whole test volumes come from mkfs.fat and mtools instead.

#include "platform/Volume.h"
#include "salvage/fs/FATLayout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testdata {

struct FatGeometry {
    std::uint16_t bytesPerSector = 512;
    std::uint8_t sectorsPerCluster = 1;
    std::uint16_t reservedSectors = 1;
    std::uint8_t fatCount = 2;
    std::uint16_t rootEntries = 224;
    std::uint32_t sectorsPerFat = 9;
    std::uint32_t totalSectors = 2880;
    std::string typeText = "FAT12";   // at 54, or at 82 when it is "FAT32"
    std::uint32_t rootCluster = 2;    // FAT32 only
};

// A small FAT16 layout (16-sector FATs, 16 root entries, 4096 sectors of
// 512 bytes) for corner cases of chains and entries.
[[nodiscard]] FatGeometry SmallFat16();

class FatImageBuilder {
public:
    explicit FatImageBuilder(const FatGeometry& geometry);

    [[nodiscard]] std::vector<std::uint8_t>& Bytes() { return bytes_; }
    [[nodiscard]] const FatGeometry& Geometry() const { return g_; }
    [[nodiscard]] platform::VolumePtr Volume() const;

    // Writes a FAT entry into the first FAT, in the width of the type text.
    void SetFatEntry(std::uint32_t cluster, std::uint32_t value);
    [[nodiscard]] std::uint64_t RootOffset() const;     // FAT12/16 root area
    [[nodiscard]] std::uint64_t ClusterOffset(std::uint32_t cluster) const;
    void Put(std::uint64_t offset, const salvage::fat::TDirEntry& entry);

private:
    [[nodiscard]] std::uint32_t DataStartSector() const;
    FatGeometry g_;
    std::vector<std::uint8_t> bytes_;
};

// An 8.3 entry; name11 is the 11 raw name bytes (space-padded, "README  TXT").
[[nodiscard]] salvage::fat::TDirEntry ShortEntry(const std::string& name11, std::uint8_t attributes,
                                                 std::uint32_t firstCluster, std::uint32_t size);
// A long-name entry holding up to 13 characters of `part` (ASCII), NUL then
// 0xFFFF padded as Windows writes them.
[[nodiscard]] salvage::fat::TDirEntry LongEntry(std::uint8_t sequence, const std::string& part);

} // namespace testdata
