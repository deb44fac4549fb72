#include "platform/Volume.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#endif

namespace platform {
namespace {

class PosixVolume final : public Volume {
public:
    PosixVolume(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~PosixVolume() override { ::close(fd_); }

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override
    {
        std::size_t done = 0;
        while (done < out.size()) {
            if (offset + done > static_cast<std::uint64_t>(INT64_MAX))
                return false;
            const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                                      static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    std::uint64_t Size() const override { return size_; }

private:
    int fd_;
    std::uint64_t size_;
};

} // namespace

std::string SystemErrorText(int code)
{
    return std::strerror(code);
}

VolumePtr OpenVolumeReadOnly(const std::string& path, OpenError& error)
{
    // O_RDONLY only: the source of a recovery is never opened for writing.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error.code = errno;
        error.message = SystemErrorText(error.code);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error.code = errno;
        error.message = SystemErrorText(error.code);
        ::close(fd);
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        error.code = EISDIR;
        error.message = SystemErrorText(error.code);
        ::close(fd);
        return nullptr;
    }
    std::uint64_t size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
#if defined(__linux__) && defined(BLKGETSIZE64)
    if (S_ISBLK(st.st_mode)) {
        std::uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0)
            size = bytes;
    }
#endif
    return std::make_shared<PosixVolume>(fd, size);
}

} // namespace platform
