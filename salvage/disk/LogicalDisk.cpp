#include "salvage/disk/LogicalDisk.h"

#include "salvage/disk/Messages.h"
#if defined(_WIN32)
#include "salvage/disk/VWin32Volume.h"
#endif

#include <cstring>
#include <limits>

namespace salvage {

bool IsFloppyDrive(const TLogicalDisk& disk)
{
#if defined(_WIN32)
    if (disk.Root.empty())
        return false;
    const char letter = static_cast<char>(disk.Root[0] & ~0x20);
    return letter == 'A' || letter == 'B';
#else
    return disk.DevicePath.rfind("/dev/fd", 0) == 0;
#endif
}

platform::VolumePtr OpenLogicalDisk(const TLogicalDisk& disk, platform::OpenError& error)
{
    platform::VolumePtr volume;
#if defined(_WIN32)
    if (!IsWinNT() && disk.DevicePath.rfind("\\\\.\\", 0) == 0)
        volume = OpenVWin32Volume(disk.DevicePath);
    else
#endif
        volume = platform::OpenVolumeReadOnly(disk.DevicePath, error);
    if (!volume)
        return nullptr;
    if (disk.ByteOffset == 0 && disk.ByteLength == 0)
        return volume;
    const std::uint64_t length = disk.ByteLength != 0 ? disk.ByteLength : std::numeric_limits<std::uint64_t>::max();
    return platform::MakeWindowVolume(std::move(volume), disk.ByteOffset, length);
}

bool ReadBootSector(const platform::Volume& volume, BootSectorBytes& buffer, std::uint32_t sector)
{
    return !ReadVolumeSectors(volume, 0, kBootSectorSize, 1, buffer, sector);
}

bool ReadBootSector(const TLogicalDisk& disk, BootSectorBytes& buffer, std::uint32_t sector)
{
    platform::OpenError error;
    const platform::VolumePtr volume = OpenLogicalDisk(disk, error);
    if (!volume) {
        ShowMessageBox(error.message);
        return false;
    }
    // A short read leaves zeros, which no boot-sector test accepts.
    buffer.fill(0);
    return ReadBootSector(*volume, buffer, sector);
}

bool ReadBootSector(const std::string& path, BootSectorBytes& buffer, std::uint32_t sector)
{
    TLogicalDisk disk;
    disk.DevicePath = path;
    return ReadBootSector(disk, buffer, sector);
}

bool ReadVolumeSectors(const platform::Volume& volume, std::uint32_t startSector, std::uint32_t bytesPerSector,
                       std::uint32_t count, std::span<std::uint8_t> buffer, std::uint64_t sector)
{
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * bytesPerSector;
    if (bytesPerSector == 0 || bytes > buffer.size())
        return true;
    const std::uint64_t absolute = static_cast<std::uint64_t>(startSector) + sector;
    if (absolute < sector || absolute > std::numeric_limits<std::uint64_t>::max() / bytesPerSector)
        return true;
    return !volume.ReadAt(absolute * bytesPerSector, buffer.first(static_cast<std::size_t>(bytes)));
}

} // namespace salvage
