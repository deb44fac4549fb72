#pragma once
// Which reader a volume needs, decided from its boot sector the way the
// analysis does it.

#include "salvage/disk/LogicalDisk.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace salvage {

// The analysed volume's kind; the values are those the recovery job keeps.
enum class TFileSystemKind : std::uint8_t { NTFS = 0, FAT32 = 1, FAT16 = 2, FAT12 = 3 };

inline constexpr const char* kNoSupportedFileSystem = "No valid supported file system present on the volume.";

// OEM text at 3 "NTFS"; "FAT32" at 82; "FAT16" or "FAT12" at 54; a floppy
// drive falls back to FAT12. Nullopt when none applies.
[[nodiscard]] std::optional<TFileSystemKind> DetermineFileSystemKind(const BootSectorBytes& bootSector,
                                                                     bool floppyDrive);

[[nodiscard]] std::string_view FileSystemKindName(TFileSystemKind kind);

[[nodiscard]] inline bool IsFatKind(TFileSystemKind kind)
{
    return kind != TFileSystemKind::NTFS;
}

} // namespace salvage
