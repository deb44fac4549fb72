#include "salvage/fs/FATEntryCheck.h"

#include "salvage/fs/FAT.h"

#include <algorithm>
#include <cstring>

namespace salvage {

using namespace fat;

namespace {

// Attribute bits 0x40 and 0x80 are reserved: no driver sets them.
constexpr std::uint8_t kReservedAttributeBits = 0xC0;
// A first name byte 0x05 stands for a real 0xE5.
constexpr std::uint8_t kEscapedE5 = 0x05;

bool ForbiddenInShortName(std::uint8_t c)
{
    return c < 0x20 || c == 0x7F || std::memchr("\"*+,./:;<=>?[\\]|", c, 16) != nullptr;
}

bool IsDotName(const TDirEntry& entry, std::size_t dots)
{
    for (std::size_t i = 0; i < kEntryNameLength + kEntryExtensionLength; ++i)
        if (entry[i] != (i < dots ? '.' : ' '))
            return false;
    return true;
}

bool PlausibleName(const TDirEntry& entry)
{
    if (IsDotName(entry, 1) || IsDotName(entry, 2))
        return true;
    const std::uint8_t first = entry[kEntryName];
    // Deleted short names lose their first byte; a leading blank is never written.
    if (first != kEntryDeleted && first != kEscapedE5 && (first == ' ' || ForbiddenInShortName(first)))
        return false;
    for (std::size_t i = 1; i < kEntryNameLength + kEntryExtensionLength; ++i)
        if (ForbiddenInShortName(entry[i]))
            return false;
    return true;
}

} // namespace

TFatEntryLimits EntryLimitsOf(const TFAT32& fat)
{
    TFatEntryLimits limits;
    limits.FATType = fat.FATType;
    limits.ClusterLimit = fat.ClusterLimit();
    limits.DataBytes = fat.ClusterLimit() > 2 ? static_cast<std::uint64_t>(fat.ClusterLimit() - 2) * fat.ClusterBytes() : 0;
    return limits;
}

std::uint32_t EntryFirstCluster(const TDirEntry& entry, std::uint8_t fatType)
{
    if (fatType == kFAT32)
        return EntryFirstCluster(entry);
    return LoadLE16(entry, kEntryClusterLow);
}

TFatSlot ClassifyDirEntry(const TDirEntry& entry, const TFatEntryLimits& limits)
{
    if (entry[kEntryName] == kEntryNeverUsed)
        return TFatSlot::NeverUsed;
    const std::uint8_t attributes = entry[kEntryAttributes];
    if (attributes == kAttrLongName)
        return TFatSlot::LongName;
    if ((attributes & kReservedAttributeBits) != 0)
        return TFatSlot::Implausible;
    const bool directory = (attributes & kAttrDirectory) != 0;
    if ((attributes & kAttrVolumeLabel) != 0)
        return directory ? TFatSlot::Implausible : TFatSlot::VolumeLabel;
    if (!PlausibleName(entry))
        return TFatSlot::Implausible;

    const std::uint32_t cluster = EntryFirstCluster(entry, limits.FATType);
    const std::uint32_t size = LoadLE32(entry, kEntryFileSize);
    const bool inside = cluster >= 2 && cluster < limits.ClusterLimit;
    if (size > limits.DataBytes)
        return TFatSlot::Implausible;
    if (directory) {
        // Cluster 0 stands for the root, which only ".." names.
        if (!inside && !(cluster == 0 && IsDotName(entry, 2)))
            return TFatSlot::Implausible;
        return TFatSlot::Directory;
    }
    if (!inside && !(cluster == 0 && size == 0))
        return TFatSlot::Implausible;
    return TFatSlot::File;
}

bool IsDirectoryCluster(ByteSpan cluster, const TFatEntryLimits& limits, bool& full)
{
    full = true;
    bool used = false;
    for (std::size_t off = 0; InBounds(cluster.size(), off, kDirEntrySize); off += kDirEntrySize) {
        TDirEntry entry{};
        std::copy_n(cluster.begin() + static_cast<std::ptrdiff_t>(off), kDirEntrySize, entry.begin());
        switch (ClassifyDirEntry(entry, limits)) {
        case TFatSlot::NeverUsed:
            // A driver clears a directory's new clusters: an unused slot is all zero.
            if (std::any_of(entry.begin(), entry.end(), [](std::uint8_t b) { return b != 0; }))
                return false;
            full = false;
            break;
        case TFatSlot::LongName:
            // A long-name part names no cluster.
            if (LoadLE16(entry, kEntryClusterLow) != 0)
                return false;
            used = true;
            break;
        case TFatSlot::Implausible:
            return false;
        default:
            used = true;
            break;
        }
    }
    return used;
}

} // namespace salvage
