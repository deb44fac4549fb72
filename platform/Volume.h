#pragma once
// Read-only access to a volume: a block device, a disk-image file, a window of
// either (one partition of a whole-disk image) or a buffer in memory.
// Nothing in this interface can write; volumes are opened read-only.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

class Volume {
public:
    Volume() = default;
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;
    virtual ~Volume() = default;

    // Reads exactly out.size() bytes at the byte offset. False when the read
    // fails or comes up short. Safe to call from several threads at once.
    [[nodiscard]] virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;

    // Size in bytes; 0 when the platform cannot tell.
    [[nodiscard]] virtual std::uint64_t Size() const = 0;
};

using VolumePtr = std::shared_ptr<const Volume>;

struct OpenError {
    int code = 0;           // errno on POSIX, GetLastError() on Windows
    std::string message;    // the system's own text for the code
};

// Opens a device or an image file for reading only. On failure returns null
// and fills error.
[[nodiscard]] VolumePtr OpenVolumeReadOnly(const std::string& path, OpenError& error);

// A volume over bytes held in memory (tests and fuzzing).
[[nodiscard]] VolumePtr MakeMemoryVolume(std::vector<std::uint8_t> bytes);

// A window [offset, offset + length) of another volume, seen as a volume of
// its own. Reads past the window's end fail like reads past a device's end.
[[nodiscard]] VolumePtr MakeWindowVolume(VolumePtr base, std::uint64_t offset, std::uint64_t length);

// The system's text for an error code (strerror on POSIX, FormatMessage on Windows).
[[nodiscard]] std::string SystemErrorText(int code);

} // namespace platform
