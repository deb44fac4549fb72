#pragma once
// On-disk layout of NTFS as far as the reader uses it: boot sector, MFT record
// header, attribute headers, the values of the attributes we decode, attribute
// lists and data runs. Offsets are those of the published NTFS layout; all
// fields are little-endian.

#include <array>
#include <cstddef>
#include <cstdint>

namespace salvage::ntfs {

// Boot sector (the volume's first sector).
inline constexpr std::size_t kBootBytesPerSector = 11;     // u16
inline constexpr std::size_t kBootSectorsPerCluster = 13;  // u8
inline constexpr std::size_t kBootTotalSectors = 40;       // u64
inline constexpr std::size_t kBootMftCluster = 48;         // u64, first cluster of the MFT
inline constexpr std::size_t kBootClustersPerRecord = 64;  // read as u32; above 127: 2^(256 - value) bytes

// A clusters-per-record value above this is a negative shift count.
inline constexpr std::uint32_t kRecordSizeIsShift = 127;
// So is a sectors-per-cluster byte above this: 2^(256 - value) sectors
// (0xF4: 4096 sectors, 2 MiB of 512-byte sectors), how Windows formats
// clusters of 128 KiB and more.
inline constexpr std::uint32_t kClusterSizeIsShift = 0x80;

// Limits we accept from a boot sector. Fixups always work in 512-byte
// blocks, so no record or sector is smaller than that block's half.
inline constexpr std::uint32_t kMinSectorSize = 256;
inline constexpr std::uint32_t kMaxSectorSize = 4096;
inline constexpr std::uint32_t kMinRecordSize = 256;
inline constexpr std::uint32_t kMaxRecordSize = 64 * 1024;
// The largest cluster NTFS formats.
inline constexpr std::uint32_t kMaxClusterSize = 2 * 1024 * 1024;

// Well-known MFT records.
inline constexpr std::uint64_t kMftRecord = 0;     // $MFT
inline constexpr std::uint64_t kRootRecord = 5;    // "."
inline constexpr std::uint64_t kBitmapRecord = 6;  // $Bitmap, one bit per cluster

// MFT record header.
inline constexpr std::size_t kRecSignature = 0;       // "FILE"
inline constexpr std::size_t kRecUsaOffset = 4;       // u16, update-sequence array
inline constexpr std::size_t kRecUsaCount = 6;        // u16, entries including the sequence number
inline constexpr std::size_t kRecFirstAttribute = 20; // u16
inline constexpr std::size_t kRecSequence = 16;       // u16, bumped each time the record is freed
inline constexpr std::size_t kRecFlags = 22;          // u16
inline constexpr std::size_t kRecBaseRecord = 32;     // u64, 0 in a base record
inline constexpr std::size_t kRecNumber = 44;         // u32, NTFS 3.1 records only
inline constexpr std::size_t kRecHeaderSize = 24;     // what every record version has
// Records of NTFS 3.1 carry their own number at 44; their update-sequence
// array starts after it (at 48), older ones put it at 42.
inline constexpr std::size_t kRecNumberedUsaOffset = 48;

inline constexpr std::array<std::uint8_t, 4> kFileSignature = {'F', 'I', 'L', 'E'};

enum class RecordFlag : std::uint16_t { InUse = 0x0001, Directory = 0x0002 };
[[nodiscard]] constexpr bool HasFlag(std::uint16_t flags, RecordFlag f) noexcept
{
    return (flags & static_cast<std::uint16_t>(f)) != 0;
}

// Update sequences protect the last two bytes of every 512-byte block.
inline constexpr std::size_t kFixupBlock = 512;

// Attribute header (common part).
inline constexpr std::size_t kAttrType = 0;         // u32, kAttrEnd ends the list
inline constexpr std::size_t kAttrLength = 4;       // u32
inline constexpr std::size_t kAttrNonResident = 8;  // u8
inline constexpr std::size_t kAttrNameLength = 9;   // u8, UTF-16 units
inline constexpr std::size_t kAttrNameOffset = 10;  // u16
inline constexpr std::size_t kAttrFlags = 12;       // u16, AttrFlag
// Resident.
inline constexpr std::size_t kAttrValueLength = 16; // u32
inline constexpr std::size_t kAttrValueOffset = 20; // u16
inline constexpr std::size_t kResidentHeaderSize = 24;
// Non-resident.
inline constexpr std::size_t kAttrLowestVcn = 16;     // u64
inline constexpr std::size_t kAttrHighestVcn = 24;    // u64
inline constexpr std::size_t kAttrRunOffset = 32;     // u16
inline constexpr std::size_t kAttrCompressionUnit = 34; // u8, log2 of clusters per compression unit
inline constexpr std::size_t kAttrAllocatedSize = 40; // u64
inline constexpr std::size_t kAttrDataSize = 48;      // u64, the real size
inline constexpr std::size_t kAttrValidSize = 56;     // u64, bytes written; past it the data reads as zeros
inline constexpr std::size_t kNonResidentHeaderSize = 64;

inline constexpr std::uint32_t kAttrEnd = 0xFFFFFFFF;

// Attribute flags ($DATA).
enum class AttrFlag : std::uint16_t { Compressed = 0x0001, Encrypted = 0x4000, Sparse = 0x8000 };
[[nodiscard]] constexpr bool HasFlag(std::uint16_t flags, AttrFlag f) noexcept
{
    return (flags & static_cast<std::uint16_t>(f)) != 0;
}
inline constexpr std::uint16_t kAttrCompressionMask = 0x00FF;
// Compression units larger than this many clusters are not written by NTFS.
inline constexpr unsigned kMaxCompressionUnitShift = 8;
inline constexpr std::uint64_t kMaxCompressionUnitBytes = 1u << 20;

// Attribute types.
inline constexpr std::uint32_t kStandardInformation = 0x10;
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kFileName = 0x30;
inline constexpr std::uint32_t kData = 0x80;
inline constexpr std::uint32_t kBitmap = 0xB0;

// $STANDARD_INFORMATION value: the first 72 bytes are kept.
inline constexpr std::size_t kStdInfoSize = 72;
inline constexpr std::size_t kStdCreationTime = 0;   // FILETIME
inline constexpr std::size_t kStdLastWriteTime = 8;  // FILETIME
inline constexpr std::size_t kStdLastAccessTime = 24; // FILETIME

// $FILE_NAME value.
inline constexpr std::size_t kFnParent = 0;          // u64 reference; the low 32 bits are the record
inline constexpr std::size_t kFnNameLength = 64;     // u8, UTF-16 units
inline constexpr std::size_t kFnNamespace = 65;      // u8
inline constexpr std::size_t kFnName = 66;           // UTF-16
inline constexpr std::uint8_t kNamespaceWin32 = 1;

// Attribute-list entry.
inline constexpr std::size_t kAlType = 0;       // u32
inline constexpr std::size_t kAlLength = 4;     // u16
inline constexpr std::size_t kAlNameLength = 6; // u8, UTF-16 units
inline constexpr std::size_t kAlNameOffset = 7; // u8
inline constexpr std::size_t kAlLowestVcn = 8;  // u64, first VCN of the extent the entry names
inline constexpr std::size_t kAlRecord = 16;    // u64 reference of the record that holds the attribute
inline constexpr std::size_t kAlInstance = 24;  // u16, the attribute's instance in its record
inline constexpr std::size_t kAlMinEntrySize = 26;

// Data runs: header byte with the length-field width in the low nibble and
// the LCN-offset width in the high nibble; 0 ends the list.
inline constexpr std::uint8_t kRunListEnd = 0;
inline constexpr unsigned kMaxRunFieldBytes = 8;

// Condition estimates of a deleted file.
inline constexpr std::uint8_t kConditionGood = 1;  // every cluster it needs is free
inline constexpr std::uint8_t kConditionPoor = 2;  // some are in use, or it has no data

// File references keep the record number in their low 48 bits and the
// record's sequence number in the top 16; the tree uses the low 32 bits.
[[nodiscard]] constexpr std::uint32_t RecordOfReference(std::uint64_t reference) noexcept
{
    return static_cast<std::uint32_t>(reference & 0xFFFFFFFFu);
}
inline constexpr std::uint64_t kReferenceRecordMask = 0xFFFFFFFFFFFFull;
[[nodiscard]] constexpr std::uint64_t RecordNumberOf(std::uint64_t reference) noexcept
{
    return reference & kReferenceRecordMask;
}
[[nodiscard]] constexpr std::uint16_t SequenceOf(std::uint64_t reference) noexcept
{
    return static_cast<std::uint16_t>(reference >> 48);
}
[[nodiscard]] constexpr std::uint64_t MakeReference(std::uint64_t record, std::uint16_t sequence) noexcept
{
    return (record & kReferenceRecordMask) | (std::uint64_t{sequence} << 48);
}

// Records below this are the file system's own ($MFT to $Extend and the
// reserved ones).
inline constexpr std::uint64_t kFirstUserRecord = 16;

// FSCTL_GET_NTFS_FILE_RECORD by the control-code rule
// (device type shl 16, access shl 14, function shl 2, method).
inline constexpr std::uint32_t kFileSystemDeviceType = 9;
inline constexpr std::uint32_t kGetFileRecordFunction = 26;
inline constexpr std::uint32_t FileRecordCode =
    (kFileSystemDeviceType << 16) | (0u << 14) | (kGetFileRecordFunction << 2) | 0u;
// The answer: an 8-byte record number, a 4-byte length, then the record.
inline constexpr std::size_t kFileRecordOutNumber = 0;
inline constexpr std::size_t kFileRecordOutRecord = 12;

} // namespace salvage::ntfs
