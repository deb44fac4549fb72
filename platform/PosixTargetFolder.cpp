#include "platform/TargetFolder.h"

#include "platform/Volume.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string Describe(const std::string& path, int code)
{
    return path + ": " + SystemErrorText(code);
}

class PosixOutputFile final : public OutputFile {
public:
    PosixOutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixOutputFile() override { (void)Close(); }

    bool Write(std::span<const std::uint8_t> bytes) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error_ = Describe(path_, n < 0 ? errno : ENOSPC);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool WriteZeros(std::uint64_t count) override
    {
        // Seek past the zeros; a hole at the very end is made real by Close().
        if (count > static_cast<std::uint64_t>(INT64_MAX) ||
            ::lseek(fd_, static_cast<off_t>(count), SEEK_CUR) < 0)
            return OutputFile::WriteZeros(count);
        trailingHole_ = true;
        return true;
    }

    bool Close() override
    {
        if (fd_ < 0)
            return error_.empty();
        if (trailingHole_) {
            const off_t end = ::lseek(fd_, 0, SEEK_CUR);
            struct stat st {};
            if (end < 0 || ::fstat(fd_, &st) != 0 || (st.st_size < end && ::ftruncate(fd_, end) != 0)) {
                if (error_.empty())
                    error_ = Describe(path_, errno);
            }
        }
        const int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0 && error_.empty())
            error_ = Describe(path_, errno);
        return rc == 0 && error_.empty();
    }

private:
    int fd_;
    std::string path_;
    bool trailingHole_ = false;
};

class PosixTargetFolder final : public TargetFolder {
public:
    PosixTargetFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~PosixTargetFolder() override { ::close(fd_); }

    std::unique_ptr<TargetFolder> Subfolder(std::string_view name, std::string& error) override
    {
        const std::string component = SafeComponentName(name);
        const std::string path = path_ + "/" + component;
        if (::mkdirat(fd_, component.c_str(), 0755) != 0 && errno != EEXIST) {
            error = Describe(path, errno);
            return nullptr;
        }
        // O_NOFOLLOW: a symbolic link planted at the name is refused, not followed.
        const int fd = ::openat(fd_, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            error = Describe(path, errno);
            return nullptr;
        }
        return std::make_unique<PosixTargetFolder>(fd, path);
    }

    std::unique_ptr<OutputFile> CreateOutputFile(std::string_view name, std::string& error) override
    {
        const std::string component = SafeComponentName(name);
        const std::string path = path_ + "/" + component;
        const int fd = ::openat(fd_, component.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = Describe(path, errno);
            return nullptr;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            error = Describe(path, EINVAL);
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixOutputFile>(fd, path);
    }

    const std::string& Path() const override { return path_; }

private:
    int fd_;
    std::string path_;
};

// mkdir -p for the user's own path (links in it are the user's and are followed).
bool MakeDirectories(const std::string& path, std::string& error)
{
    std::string prefix;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        prefix = path.substr(0, pos);
        if (prefix.empty())
            continue;
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            error = Describe(prefix, errno);
            return false;
        }
    }
    return true;
}

} // namespace

std::unique_ptr<TargetFolder> OpenTargetFolder(const std::string& path, std::string& error)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    if (trimmed.empty()) {
        error = "No output folder was given.";
        return nullptr;
    }
    if (!MakeDirectories(trimmed, error))
        return nullptr;
    const int fd = ::open(trimmed.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = Describe(trimmed, errno);
        return nullptr;
    }
    return std::make_unique<PosixTargetFolder>(fd, trimmed);
}

} // namespace platform
