#include "salvage/fs/FileSystemKind.h"

#include "salvage/disk/Bytes.h"

namespace salvage {
namespace {

constexpr std::size_t kOemName = 3;
constexpr std::size_t kFat32TypeText = 82;
constexpr std::size_t kFat16TypeText = 54;
constexpr std::size_t kFieldWidth = 8;

} // namespace

std::optional<TFileSystemKind> DetermineFileSystemKind(const BootSectorBytes& bootSector, bool floppyDrive)
{
    if (TrimmedField(bootSector, kOemName, kFieldWidth) == "NTFS")
        return TFileSystemKind::NTFS;
    if (TrimmedField(bootSector, kFat32TypeText, kFieldWidth) == "FAT32")
        return TFileSystemKind::FAT32;
    const std::string_view type16 = TrimmedField(bootSector, kFat16TypeText, kFieldWidth);
    if (type16 == "FAT16")
        return TFileSystemKind::FAT16;
    if (type16 == "FAT12" || floppyDrive)
        return TFileSystemKind::FAT12;
    return std::nullopt;
}

std::string_view FileSystemKindName(TFileSystemKind kind)
{
    switch (kind) {
    case TFileSystemKind::NTFS: return "NTFS";
    case TFileSystemKind::FAT32: return "FAT32";
    case TFileSystemKind::FAT16: return "FAT16";
    case TFileSystemKind::FAT12: return "FAT12";
    }
    return "";
}

} // namespace salvage
