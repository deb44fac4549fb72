#pragma once
// Raw access to an analysable volume: the drive record, the boot-sector read
// and the volume sector read rule. All reads are of whole sectors; nothing is
// ever written to a volume.

#include "platform/Volume.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace salvage {

inline constexpr std::uint32_t kBootSectorSize = 512;
using BootSectorBytes = std::array<std::uint8_t, kBootSectorSize>;

// One analysable volume of the drive box.
struct TLogicalDisk {
    std::uint32_t StartSector = 0;  // the volume serial number; never used as a sector number
    std::string VolumeName;         // label ("Local Disk" for an unlabelled fixed drive)
    std::string FileSystem;         // file-system name as the system reports it
    std::string DevicePath;         // what to open: "\\.\C:" on Windows, a device or image file elsewhere
    std::string Root;               // "C:\" on Windows; the mount point elsewhere (empty when unmounted)
    // Where the volume lies inside DevicePath: a partition of a whole-disk image
    // is a window of the image. Length 0 means "to the end".
    std::uint64_t ByteOffset = 0;
    std::uint64_t ByteLength = 0;
};

// True on the NT family, and everywhere that is not Windows 9x.
[[nodiscard]] bool IsWinNT();

// Start-up of raw disk access. On the 9x family it opens the VWIN32 driver and,
// when that fails, shows "Can't get handle of vwin32.vxd." and returns false
// (the program must then end). Everywhere else it does nothing.
[[nodiscard]] bool InitRawDiskAccess();

// A floppy drive (A: or B: on Windows, /dev/fd* elsewhere): its FAT12 boot
// sector may carry no file-system type text.
[[nodiscard]] bool IsFloppyDrive(const TLogicalDisk& disk);

// Opens the volume of a drive record for reading only. On failure returns null
// and fills error with the system's message text.
[[nodiscard]] platform::VolumePtr OpenLogicalDisk(const TLogicalDisk& disk, platform::OpenError& error);

// Reads one 512-byte sector (by default the boot sector) of a volume. When the
// volume cannot be opened the system's text for the error is shown with
// ShowMessageBox and false is returned. The sector size is taken as 512 here,
// before any boot sector is known.
[[nodiscard]] bool ReadBootSector(const TLogicalDisk& disk, BootSectorBytes& buffer, std::uint32_t sector = 0);
[[nodiscard]] bool ReadBootSector(const std::string& path, BootSectorBytes& buffer, std::uint32_t sector = 0);
// The same on a volume that is already open; false when the read fails.
[[nodiscard]] bool ReadBootSector(const platform::Volume& volume, BootSectorBytes& buffer, std::uint32_t sector = 0);

// The volume sector read rule: reads `count` sectors of `bytesPerSector` at
// the volume-relative `sector` (offset by `startSector`) into buffer.
// Returns "failed": true when the read failed or came up short, or when the
// request does not fit the buffer or 64-bit offsets. Never retries.
[[nodiscard]] bool ReadVolumeSectors(const platform::Volume& volume, std::uint32_t startSector,
                                     std::uint32_t bytesPerSector, std::uint32_t count,
                                     std::span<std::uint8_t> buffer, std::uint64_t sector);

#if defined(_WIN32)
// Windows 9x: DOS extended absolute disk read (Int 21h 7305h) through VWIN32.
// Returns "failed".
[[nodiscard]] bool ReadLogicalSectors(char driveLetter, std::uint16_t count, void* buffer, std::uint64_t sector);
#endif

} // namespace salvage
