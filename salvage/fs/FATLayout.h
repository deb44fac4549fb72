#pragma once
// On-disk layout of FAT12/16/32: boot-sector fields, directory entries and
// long-name entries. Offsets are those of the published FAT layout; all
// fields are little-endian.

#include <array>
#include <cstddef>
#include <cstdint>

namespace salvage::fat {

// Boot sector (the volume's first sector).
inline constexpr std::size_t kBytesPerSector = 11;      // u16
inline constexpr std::size_t kSectorsPerCluster = 13;   // u8
inline constexpr std::size_t kReservedSectors = 14;     // u16, first FAT sector
inline constexpr std::size_t kNumberOfFATs = 16;        // u8
inline constexpr std::size_t kRootEntries = 17;         // u16, FAT12/16
inline constexpr std::size_t kTotalSectors16 = 19;      // u16, 0 when the 32-bit count is used
inline constexpr std::size_t kSectorsPerFAT16 = 22;     // u16, FAT12/16
inline constexpr std::size_t kTotalSectors32 = 32;      // u32
inline constexpr std::size_t kSectorsPerFAT32 = 36;     // u32, FAT32
inline constexpr std::size_t kRootCluster = 44;         // u32, FAT32
inline constexpr std::size_t kLabel16 = 43;             // 11 chars, FAT12/16
inline constexpr std::size_t kLabel32 = 71;             // 11 chars, FAT32
inline constexpr std::size_t kLabelLength = 11;
inline constexpr std::size_t kTypeText16 = 54;          // 8 chars, "FAT12" / "FAT16"
inline constexpr std::size_t kTypeText32 = 82;          // 8 chars, "FAT32"
inline constexpr std::size_t kTypeTextLength = 8;

// The reader's data model is built on 512-byte sectors.
inline constexpr std::uint32_t kSectorSize = 512;

// FAT types, as the boot sector's type texts decide them.
inline constexpr std::uint8_t kFAT12 = 0;
inline constexpr std::uint8_t kFAT16 = 1;
inline constexpr std::uint8_t kFAT32 = 2;

// Chains end at or above these values.
inline constexpr std::uint32_t kEndOfChain12 = 0xFF8;
inline constexpr std::uint32_t kEndOfChain16 = 0xFFF8;
inline constexpr std::uint32_t kEndOfChain32 = 0x0FFFFFF8;

// A directory holds at most 65536 entries of 32 bytes.
inline constexpr std::size_t kMaxDirectoryBytes = 65536 * 32;

// Directory entry (32 bytes).
inline constexpr std::size_t kDirEntrySize = 32;
inline constexpr std::size_t kEntryName = 0;          // 8 chars, space-padded
inline constexpr std::size_t kEntryNameLength = 8;
inline constexpr std::size_t kEntryExtension = 8;     // 3 chars
inline constexpr std::size_t kEntryExtensionLength = 3;
inline constexpr std::size_t kEntryAttributes = 11;   // u8
inline constexpr std::size_t kEntryCreateTenMs = 13;  // u8, 0-199 hundredths of a second
inline constexpr std::size_t kEntryCreateTime = 14;   // u16
inline constexpr std::size_t kEntryCreateDate = 16;   // u16
inline constexpr std::size_t kEntryAccessDate = 18;   // u16, the day only
inline constexpr std::size_t kEntryClusterHigh = 20;  // u16
inline constexpr std::size_t kEntryWriteTime = 22;    // u16
inline constexpr std::size_t kEntryWriteDate = 24;    // u16
inline constexpr std::size_t kEntryClusterLow = 26;   // u16
inline constexpr std::size_t kEntryFileSize = 28;     // u32

// First name byte: 0x00 = slot never used, 0xE5 = entry deleted
// ("deleted short names lose their first byte").
inline constexpr std::uint8_t kEntryNeverUsed = 0x00;
inline constexpr std::uint8_t kEntryDeleted = 0xE5;

inline constexpr std::uint8_t kAttrVolumeLabel = 0x08;
inline constexpr std::uint8_t kAttrDirectory = 0x10;
inline constexpr std::uint8_t kAttrLongName = 0x0F;

// Long-name entry: three runs of UTF-16 units, stored last part first.
inline constexpr std::size_t kLongNameRun1 = 1;   // 5 units
inline constexpr std::size_t kLongNameRun1Units = 5;
inline constexpr std::size_t kLongNameChecksum = 13;  // u8, of the short name it belongs to
inline constexpr std::size_t kLongNameRun2 = 14;  // 6 units
inline constexpr std::size_t kLongNameRun2Units = 6;
inline constexpr std::size_t kLongNameRun3 = 28;  // 2 units
inline constexpr std::size_t kLongNameRun3Units = 2;

using TDirEntry = std::array<std::uint8_t, kDirEntrySize>;

} // namespace salvage::fat
