#include "salvage/fs/FATEntryCheck.h"

#include "salvage/fs/FAT.h"
#include "salvage/fs/TextConvert.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace salvage {

using namespace fat;

namespace {

// Attribute bits 0x40 and 0x80 are reserved: no driver sets them.
constexpr std::uint8_t kReservedAttributeBits = 0xC0;
// A first name byte 0x05 stands for a real 0xE5.
constexpr std::uint8_t kEscapedE5 = 0x05;

// Control bytes and the characters a short name cannot hold; a table, as
// every slot of every directory is checked.
constexpr std::array<bool, 256> kForbidden = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c)
        t[static_cast<std::size_t>(c)] = true;
    t[0x7F] = true;
    for (const char c : std::string_view("\"*+,./:;<=>?[\\]|"))
        t[static_cast<unsigned char>(c)] = true;
    return t;
}();

bool ForbiddenInShortName(std::uint8_t c)
{
    return kForbidden[c];
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

bool IsDirectoryCluster(ByteSpan cluster, const TFatEntryLimits& limits, bool& goesOn)
{
    // A long name has at most 20 parts (255 characters, 13 a part).
    constexpr std::size_t kLongestEntrySlots = 21;
    std::size_t unused = 0;
    bool used = false;
    for (std::size_t off = 0; InBounds(cluster.size(), off, kDirEntrySize); off += kDirEntrySize) {
        TDirEntry entry{};
        std::copy_n(cluster.begin() + static_cast<std::ptrdiff_t>(off), kDirEntrySize, entry.begin());
        const TFatSlot slot = ClassifyDirEntry(entry, limits);
        if (slot == TFatSlot::Implausible)
            return false;
        if (slot == TFatSlot::NeverUsed) {
            // A driver clears a directory's new clusters: an unused slot is all zero.
            if (std::any_of(entry.begin(), entry.end(), [](std::uint8_t b) { return b != 0; }))
                return false;
            ++unused;
            continue;
        }
        // The first unused slot ends the directory: nothing is written after it.
        if (unused != 0)
            return false;
        // A long-name part names no cluster.
        if (slot == TFatSlot::LongName && LoadLE16(entry, kEntryClusterLow) != 0)
            return false;
        used = true;
    }
    goesOn = unused < kLongestEntrySlots;
    return used;
}

std::string FatVolumeLabel(TFAT32& fat)
{
    if (!fat.Usable())
        return {};
    TMemoryStream root;
    if (fat.FATType == kFAT32) {
        root = fat.ReadChain(fat.RootKey());
    } else {
        const std::uint64_t bytes = static_cast<std::uint64_t>(fat.RootEntries()) * kDirEntrySize;
        root = TMemoryStream(static_cast<std::size_t>(bytes));
        if (fat.ReadSectors(static_cast<std::uint32_t>(bytes / fat.BytesPerSector()), root.Buffer(), fat.RootKey()))
            root = TMemoryStream();
    }
    const TFatEntryLimits limits = EntryLimitsOf(fat);
    const ByteSpan b = root.Bytes();
    for (std::size_t off = 0; InBounds(b.size(), off, kDirEntrySize); off += kDirEntrySize) {
        TDirEntry e{};
        std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(off), kDirEntrySize, e.begin());
        const TFatSlot slot = ClassifyDirEntry(e, limits);
        if (slot == TFatSlot::NeverUsed)
            break;
        if (slot == TFatSlot::VolumeLabel && e[0] != kEntryDeleted)
            return OemToUtf8(std::string(TrimmedField(e, 0, kLabelLength)));
    }
    const std::string field(TrimmedField(fat.BootSector, fat.FATType == kFAT32 ? kLabel32 : kLabel16, kLabelLength));
    return field == "NO NAME" ? std::string() : OemToUtf8(field);
}

} // namespace salvage
