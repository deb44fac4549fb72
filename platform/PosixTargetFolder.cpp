#include "platform/TargetFolder.h"

#include "platform/Volume.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string Describe(const std::string& path, int code)
{
    return path + ": " + SystemErrorText(code);
}

std::string Join(const std::string& folder, const std::string& component)
{
    return folder + "/" + component;
}

timespec ToTimespec(const std::optional<std::int64_t>& ms)
{
    timespec ts{};
    if (!ms) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    // Floor division: a date before 1970 still has a non-negative fraction.
    std::int64_t seconds = *ms / 1000;
    std::int64_t rest = *ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 1000000);
    return ts;
}

bool ApplyTimes(int fd, const FileTimes& times)
{
    if (!times.Modified && !times.Accessed)
        return true;
    const timespec ts[2] = {ToTimespec(times.Accessed), ToTimespec(times.Modified)};
    return ::futimens(fd, ts) == 0;
}

class PosixOutputFile final : public OutputFile {
public:
    PosixOutputFile(int fd, int dirFd, std::string name, std::string path, const struct stat& st)
        : fd_(fd), dirFd_(dirFd), device_(st.st_dev), inode_(st.st_ino)
    {
        name_ = std::move(name);
        path_ = std::move(path);
    }
    ~PosixOutputFile() override
    {
        (void)Close();
        ::close(dirFd_);
    }

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
            size_ += static_cast<std::uint64_t>(n);
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
        size_ += count;
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
        // A date the target's file system cannot hold costs the date, not
        // the file: the bytes are what matters.
        (void)ApplyTimes(fd_, times_);
        // The change time after the last change tells this file from one
        // put at the name later, even one that got the same inode number.
        struct stat st {};
        if (::fstat(fd_, &st) == 0)
            changed_ = st.st_ctim;
        const int rc = ::close(fd_);
        fd_ = -1;
        if (rc != 0 && error_.empty())
            error_ = Describe(path_, errno);
        return rc == 0 && error_.empty();
    }

    bool Discard() override
    {
        (void)Close();
        // Only the file this object made goes: something put in its place
        // since then stays.
        struct stat st {};
        if (::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT;
        if (st.st_dev != device_ || st.st_ino != inode_ || st.st_ctim.tv_sec != changed_.tv_sec ||
            st.st_ctim.tv_nsec != changed_.tv_nsec)
            return true;
        if (::unlinkat(dirFd_, name_.c_str(), 0) != 0) {
            error_ = Describe(path_, errno);
            return false;
        }
        return true;
    }

private:
    int fd_;
    int dirFd_;  // the folder it is in, for Discard
    dev_t device_;
    ino_t inode_;
    timespec changed_{};
    bool trailingHole_ = false;
};

class PosixTargetFolder final : public TargetFolder {
public:
    PosixTargetFolder(int fd, std::string path, bool created) : fd_(fd)
    {
        path_ = std::move(path);
        created_ = created;
        struct stat st {};
        if (::fstat(fd_, &st) == 0)
            id_ = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }
    ~PosixTargetFolder() override { ::close(fd_); }

    std::unique_ptr<TargetFolder> Subfolder(std::string_view name, std::string& error) override
    {
        const std::string component = SafeComponentName(name);
        for (unsigned n = 1; n <= kMaxNameNumber; ++n) {
            const std::string candidate = n == 1 ? component : NumberedName(component, n);
            const std::string path = Join(path_, candidate);
            const bool created = ::mkdirat(fd_, candidate.c_str(), 0755) == 0;
            if (!created && errno != EEXIST) {
                error = Describe(path, errno);
                return nullptr;
            }
            // O_NOFOLLOW: a symbolic link planted at the name is not followed;
            // it and a file holding the name send the folder to the next number.
            const int fd = ::openat(fd_, candidate.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0)
                return std::make_unique<PosixTargetFolder>(fd, path, created);
            if (errno != ENOTDIR && errno != ELOOP) {
                error = Describe(path, errno);
                return nullptr;
            }
        }
        error = Describe(Join(path_, component), EEXIST);
        return nullptr;
    }

    std::unique_ptr<OutputFile> CreateOutputFile(std::string_view name, std::string& error) override
    {
        const std::string component = SafeComponentName(name);
        const int dirFd = ::dup(fd_);
        if (dirFd < 0) {
            error = Describe(Join(path_, component), errno);
            return nullptr;
        }
        unsigned n = 1;
        for (unsigned next = FirstNumberFor(component); n <= kMaxNameNumber; n = n == 1 ? next : n + 1) {
            const std::string candidate = n == 1 ? component : NumberedName(component, n);
            const std::string path = Join(path_, candidate);
            // O_EXCL: nothing that stands at the name is opened, truncated or
            // followed (a link there counts as taken, dangling or not).
            const int fd =
                ::openat(fd_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0 && errno == EEXIST)
                continue;
            struct stat st {};
            if (fd < 0 || ::fstat(fd, &st) != 0) {
                error = Describe(path, errno);
                if (fd >= 0)
                    ::close(fd);
                ::close(dirFd);
                return nullptr;
            }
            if (n > 1)
                NumberUsed(component, n);
            return std::make_unique<PosixOutputFile>(fd, dirFd, candidate, path, st);
        }
        ::close(dirFd);
        error = Join(path_, component) + ": every name up to \"" + NumberedName(component, kMaxNameNumber) +
                "\" is taken.";
        return nullptr;
    }

    bool SetTimes(const FileTimes& times, std::string& error) override
    {
        if (ApplyTimes(fd_, times))
            return true;
        error = Describe(path_, errno);
        return false;
    }

private:
    int fd_;
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
    return std::make_unique<PosixTargetFolder>(fd, trimmed, false);
}

} // namespace platform
