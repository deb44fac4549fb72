#include "platform/Volume.h"

#include "platform/Utf16.h"

#include <algorithm>
#include <mutex>
#include <windows.h>
#include <winioctl.h>

namespace platform {
namespace {

// A volume opened through the ordinary file interface ("\\.\X:" or an image
// file). The handle has one file position, so a read is seek + read under a lock.
class WinVolume final : public Volume {
public:
    WinVolume(HANDLE handle, std::uint64_t size) : handle_(handle), size_(size) {}
    ~WinVolume() override { CloseHandle(handle_); }

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        std::lock_guard lock(mutex_);
        LARGE_INTEGER pos;
        pos.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(handle_, pos, nullptr, FILE_BEGIN))
            return false;
        std::size_t done = 0;
        while (done < out.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(handle_, out.data() + done, chunk, &got, nullptr) || got == 0)
                return false;
            done += got;
        }
        return true;
    }

    std::uint64_t Size() const override { return size_; }

private:
    HANDLE handle_;
    std::uint64_t size_;
    mutable std::mutex mutex_;
};

std::wstring Utf16ToWide(const std::u16string& units)
{
    return std::wstring(units.begin(), units.end());
}

} // namespace

std::string SystemErrorText(int code)
{
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(code), 0,
                                   reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = n && text ? std::string(text, n) : "Error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

VolumePtr OpenVolumeReadOnly(const std::string& path, OpenError& error)
{
    SetLastError(0);
    // Device paths ("\\.\X:") and ASCII names go to CreateFileA as they stand;
    // a name with other letters is UTF-8 here, which the ANSI call would
    // read in the code page, so it goes through the wide call.
    const bool ascii = std::all_of(path.begin(), path.end(), [](char c) { return (c & 0x80) == 0; });
    HANDLE h = ascii ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr)
                     : CreateFileW(Utf16ToWide(Utf8ToUtf16(path)).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error.code = static_cast<int>(GetLastError());
        error.message = SystemErrorText(error.code);
        return nullptr;
    }
    std::uint64_t size = 0;
    LARGE_INTEGER fileSize;
    if (GetFileSizeEx(h, &fileSize)) {
        size = static_cast<std::uint64_t>(fileSize.QuadPart);
    } else {
        GET_LENGTH_INFORMATION info{};
        DWORD returned = 0;
        if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &info, sizeof info, &returned, nullptr))
            size = static_cast<std::uint64_t>(info.Length.QuadPart);
    }
    return std::make_shared<WinVolume>(h, size);
}

} // namespace platform
