#include "tests/support/FatImage.h"

#include <cstring>

namespace testdata {

using namespace salvage::fat;

namespace {

void Put16(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v)
{
    b[off] = static_cast<std::uint8_t>(v);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& b, std::size_t off, std::uint32_t v)
{
    Put16(b, off, v & 0xFFFF);
    Put16(b, off + 2, v >> 16);
}

} // namespace

FatGeometry SmallFat16()
{
    FatGeometry g;
    g.typeText = "FAT16";
    g.sectorsPerFat = 16;
    g.rootEntries = 16;
    g.totalSectors = 4096;
    return g;
}

FatImageBuilder::FatImageBuilder(const FatGeometry& geometry) : g_(geometry)
{
    const std::uint32_t sectorSize = g_.bytesPerSector ? g_.bytesPerSector : 512;
    bytes_.assign(static_cast<std::size_t>(g_.totalSectors) * sectorSize, 0);
    if (bytes_.size() < 512)
        bytes_.resize(512);
    bytes_[0] = 0xEB;
    bytes_[1] = 0x3C;
    bytes_[2] = 0x90;
    std::memcpy(&bytes_[3], "MSDOS5.0", 8);
    Put16(bytes_, kBytesPerSector, g_.bytesPerSector);
    bytes_[kSectorsPerCluster] = g_.sectorsPerCluster;
    Put16(bytes_, kReservedSectors, g_.reservedSectors);
    bytes_[kNumberOfFATs] = g_.fatCount;
    Put16(bytes_, kRootEntries, g_.rootEntries);
    if (g_.totalSectors < 0x10000)
        Put16(bytes_, kTotalSectors16, g_.totalSectors);
    else
        Put32(bytes_, kTotalSectors32, g_.totalSectors);
    const bool fat32 = g_.typeText == "FAT32";
    if (fat32) {
        Put32(bytes_, kSectorsPerFAT32, g_.sectorsPerFat);
        Put32(bytes_, kRootCluster, g_.rootCluster);
    } else {
        Put16(bytes_, kSectorsPerFAT16, g_.sectorsPerFat);
    }
    std::string type = g_.typeText;
    type.resize(8, ' ');
    std::memcpy(&bytes_[fat32 ? kTypeText32 : kTypeText16], type.data(), 8);
    bytes_[510] = 0x55;
    bytes_[511] = 0xAA;
}

platform::VolumePtr FatImageBuilder::Volume() const
{
    return platform::MakeMemoryVolume(bytes_);
}

void FatImageBuilder::SetFatEntry(std::uint32_t cluster, std::uint32_t value)
{
    const std::size_t fat = static_cast<std::size_t>(g_.reservedSectors) * g_.bytesPerSector;
    if (g_.typeText == "FAT32") {
        Put32(bytes_, fat + cluster * 4ull, value);
    } else if (g_.typeText == "FAT16") {
        Put16(bytes_, fat + cluster * 2ull, value);
    } else {
        const std::size_t off = fat + cluster * 3ull / 2;
        std::uint32_t word = bytes_[off] | (bytes_[off + 1] << 8);
        if (cluster & 1)
            word = (word & 0x000F) | ((value & 0xFFF) << 4);
        else
            word = (word & 0xF000) | (value & 0xFFF);
        Put16(bytes_, off, word);
    }
}

std::uint32_t FatImageBuilder::DataStartSector() const
{
    std::uint32_t start = g_.reservedSectors + g_.fatCount * g_.sectorsPerFat;
    if (g_.typeText != "FAT32")
        start += g_.rootEntries * 32u / g_.bytesPerSector;
    return start;
}

std::uint64_t FatImageBuilder::RootOffset() const
{
    return static_cast<std::uint64_t>(g_.reservedSectors + g_.fatCount * g_.sectorsPerFat) * g_.bytesPerSector;
}

std::uint64_t FatImageBuilder::ClusterOffset(std::uint32_t cluster) const
{
    return (static_cast<std::uint64_t>(DataStartSector()) + (cluster - 2ull) * g_.sectorsPerCluster) *
           g_.bytesPerSector;
}

void FatImageBuilder::Put(std::uint64_t offset, const TDirEntry& entry)
{
    std::memcpy(&bytes_[offset], entry.data(), entry.size());
}

TDirEntry ShortEntry(const std::string& name11, std::uint8_t attributes, std::uint32_t firstCluster,
                     std::uint32_t size)
{
    TDirEntry e{};
    std::string name = name11;
    name.resize(11, ' ');
    std::memcpy(e.data(), name.data(), 11);
    e[kEntryAttributes] = attributes;
    e[kEntryClusterHigh] = static_cast<std::uint8_t>(firstCluster >> 16);
    e[kEntryClusterHigh + 1] = static_cast<std::uint8_t>(firstCluster >> 24);
    e[kEntryClusterLow] = static_cast<std::uint8_t>(firstCluster);
    e[kEntryClusterLow + 1] = static_cast<std::uint8_t>(firstCluster >> 8);
    for (int i = 0; i < 4; ++i)
        e[kEntryFileSize + i] = static_cast<std::uint8_t>(size >> (8 * i));
    return e;
}

TDirEntry LongEntry(std::uint8_t sequence, const std::string& part)
{
    TDirEntry e{};
    e[0] = sequence;
    e[kEntryAttributes] = kAttrLongName;
    static constexpr std::size_t kSlots[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (std::size_t i = 0; i < 13; ++i) {
        std::uint16_t unit = 0xFFFF;
        if (i < part.size())
            unit = static_cast<unsigned char>(part[i]);
        else if (i == part.size())
            unit = 0;
        e[kSlots[i]] = static_cast<std::uint8_t>(unit);
        e[kSlots[i] + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
    return e;
}

} // namespace testdata
