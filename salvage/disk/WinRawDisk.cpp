// Raw disk access on Windows: the NT family opens "\\.\X:" through the file
// interface (platform/WinVolume.cpp); the 9x family reads lettered volumes
// through VWIN32 with the DOS extended absolute disk read.

#include "salvage/disk/LogicalDisk.h"
#include "salvage/disk/Messages.h"
#include "salvage/disk/VWin32Volume.h"

#include <cstring>
#include <mutex>
#include <vector>
#include <windows.h>

namespace salvage {
namespace {

constexpr DWORD kVWin32DiocDosDriveInfo = 6;
constexpr std::uint32_t kSectorSize = 512;

// Register block of a VWIN32 request, seven u32 in this order.
struct DiocRegisters {
    DWORD EBX, EDX, ECX, EAX, EDI, ESI, Flags;
};
static_assert(sizeof(DiocRegisters) == 28);

#pragma pack(push, 1)
// DOS disk-I/O packet: start sector, sector count, buffer address.
struct DiskIoPacket {
    DWORD StartSector;
    WORD Count;
    DWORD Buffer;
};
#pragma pack(pop)
static_assert(sizeof(DiskIoPacket) == 10);

HANDLE g_vwin32 = INVALID_HANDLE_VALUE;
// One register block and one packet serve every request, so requests are serialised.
DiocRegisters g_registers;
DiskIoPacket g_packet;
std::mutex g_vwin32Mutex;

bool ComputeIsWinNT()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info))
        return true;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

class VWin32Volume final : public platform::Volume {
public:
    explicit VWin32Volume(char letter) : letter_(letter) {}

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        if (offset % kSectorSize != 0)
            return false;
        std::uint64_t sector = offset / kSectorSize;
        std::size_t done = 0;
        std::vector<std::uint8_t> buffer;
        while (done < out.size()) {
            const std::size_t want = out.size() - done;
            const std::uint16_t count =
                static_cast<std::uint16_t>(std::min<std::size_t>((want + kSectorSize - 1) / kSectorSize, 64));
            buffer.resize(static_cast<std::size_t>(count) * kSectorSize);
            if (ReadLogicalSectors(letter_, count, buffer.data(), sector))
                return false;
            const std::size_t take = std::min(want, buffer.size());
            std::memcpy(out.data() + done, buffer.data(), take);
            done += take;
            sector += count;
        }
        return true;
    }

    std::uint64_t Size() const override { return 0; }

private:
    char letter_;
};

} // namespace

bool IsWinNT()
{
    static const bool isWinNT = ComputeIsWinNT();
    return isWinNT;
}

bool InitRawDiskAccess()
{
    if (IsWinNT())
        return true;
    g_vwin32 = CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (g_vwin32 == INVALID_HANDLE_VALUE) {
        ShowMessageBox("Can't get handle of vwin32.vxd.", MessageIcon::Error);
        return false;
    }
    return true;
}

bool ReadLogicalSectors(char driveLetter, std::uint16_t count, void* buffer, std::uint64_t sector)
{
    std::lock_guard lock(g_vwin32Mutex);
    g_packet.StartSector = static_cast<DWORD>(sector);
    g_packet.Count = count;
    g_packet.Buffer = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(buffer));
    g_registers = {};
    g_registers.EAX = 0x7305;
    g_registers.EBX = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&g_packet));
    g_registers.ECX = 0xFFFFFFFF;
    g_registers.EDX = static_cast<DWORD>((driveLetter & ~0x20) - 64); // A = 1, C = 3
    g_registers.ESI = 0x6000;                                           // read, normal file data
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(g_vwin32, kVWin32DiocDosDriveInfo, &g_registers, sizeof g_registers,
                                    &g_registers, sizeof g_registers, &returned, nullptr);
    return !ok || (g_registers.Flags & 1) != 0;
}

platform::VolumePtr OpenVWin32Volume(const std::string& devicePath)
{
    if (devicePath.size() < 5)
        return nullptr;
    return std::make_shared<VWin32Volume>(devicePath[4]);
}

} // namespace salvage
