#include "platform/TargetFolder.h"

#include "platform/Volume.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

namespace platform {
namespace {

// Names are UTF-8 inside the program; the wide API takes every name Windows can store.
std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string Describe(const std::string& path, DWORD code)
{
    return path + ": " + SystemErrorText(static_cast<int>(code));
}

FILETIME ToFileTime(std::int64_t unixMs)
{
    constexpr std::int64_t kUnixEpochMs = 11644473600000;  // 1601-01-01 to 1970-01-01
    const std::uint64_t ticks = static_cast<std::uint64_t>(unixMs + kUnixEpochMs) * 10000;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

bool ApplyTimes(HANDLE handle, const FileTimes& times)
{
    if (!times.Modified && !times.Accessed)
        return true;
    FILETIME accessed{}, modified{};
    if (times.Accessed)
        accessed = ToFileTime(*times.Accessed);
    if (times.Modified)
        modified = ToFileTime(*times.Modified);
    return SetFileTime(handle, nullptr, times.Accessed ? &accessed : nullptr, times.Modified ? &modified : nullptr);
}

FolderId IdOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return {};
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// What tells one file from a later one at the same name: the file number
// alone is not enough where the system reuses numbers at once (Wine hands
// out the host's inode numbers), so the creation time and size count too.
struct FileIdentity {
    FolderId id;
    std::uint64_t created = 0;
    std::uint64_t size = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return {};
    return {{info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow},
            (static_cast<std::uint64_t>(info.ftCreationTime.dwHighDateTime) << 32) | info.ftCreationTime.dwLowDateTime,
            (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
}

bool MarkForDeletion(HANDLE handle)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

class WinOutputFile final : public OutputFile {
public:
    WinOutputFile(HANDLE handle, std::string name, std::string path) : handle_(handle), id_(IdentityOf(handle))
    {
        name_ = std::move(name);
        path_ = std::move(path);
    }
    ~WinOutputFile() override { (void)Close(); }

    bool Write(std::span<const std::uint8_t> bytes) override
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(handle_, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
                error_ = Describe(path_, GetLastError());
                return false;
            }
            done += written;
            size_ += written;
        }
        return true;
    }

    bool Close() override
    {
        if (handle_ == INVALID_HANDLE_VALUE)
            return error_.empty();
        // A date the target cannot hold costs the date, not the file.
        (void)ApplyTimes(handle_, times_);
        const BOOL ok = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        if (!ok && error_.empty())
            error_ = Describe(path_, GetLastError());
        return ok && error_.empty();
    }

    bool Discard() override
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            const bool marked = MarkForDeletion(handle_);
            const DWORD code = GetLastError();
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
            if (!marked)
                error_ = Describe(path_, code);
            return marked;
        }
        // Closed already: open the name again, and remove it only while it
        // is still the file this object made.
        HANDLE h = CreateFileW(Wide(path_).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_FILE_NOT_FOUND;
        FileIdentity expected = id_;
        expected.size = size_;
        const bool same = IdentityOf(h) == expected;
        const bool marked = !same || MarkForDeletion(h);
        const DWORD code = GetLastError();
        CloseHandle(h);
        if (!marked)
            error_ = Describe(path_, code);
        return marked;
    }

private:
    HANDLE handle_;
    FileIdentity id_;  // its size is the one at creation
};

// Something stands at the path (a file, a folder, a link).
bool Taken(const std::string& path)
{
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

class WinTargetFolder final : public TargetFolder {
public:
    WinTargetFolder(std::string path, bool created)
    {
        path_ = std::move(path);
        created_ = created;
        HANDLE h = OpenFolder(path_, 0);
        if (h != INVALID_HANDLE_VALUE) {
            id_ = IdOf(h);
            CloseHandle(h);
        }
    }

    std::unique_ptr<TargetFolder> Subfolder(std::string_view name, std::string& error) override
    {
        const std::string component = SafeComponentName(name);
        for (unsigned n = 1; n <= kMaxNameNumber; ++n) {
            const std::string path = path_ + "\\" + (n == 1 ? component : NumberedName(component, n));
            const bool created = CreateDirectoryW(Wide(path).c_str(), nullptr);
            if (!created && GetLastError() != ERROR_ALREADY_EXISTS) {
                error = Describe(path, GetLastError());
                return nullptr;
            }
            // A file or a link (a junction too) at the name sends the folder
            // to the next number; links are never followed.
            const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                return std::make_unique<WinTargetFolder>(path, created);
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                error = Describe(path, GetLastError());
                return nullptr;
            }
        }
        error = Describe(path_ + "\\" + component, ERROR_ALREADY_EXISTS);
        return nullptr;
    }

    std::unique_ptr<OutputFile> CreateOutputFile(std::string_view name, std::string& error) override
    {
        const std::string component = SafeComponentName(name);
        unsigned n = 1;
        for (unsigned next = FirstNumberFor(component); n <= kMaxNameNumber; n = n == 1 ? next : n + 1) {
            const std::string candidate = n == 1 ? component : NumberedName(component, n);
            const std::string path = path_ + "\\" + candidate;
            // CREATE_NEW: nothing that stands at the name is opened or
            // replaced; a reparse point there counts as taken.
            HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (h == INVALID_HANDLE_VALUE) {
                const DWORD code = GetLastError();
                // A folder at the name gives "access denied" rather than "exists".
                if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ||
                    (code == ERROR_ACCESS_DENIED && Taken(path)))
                    continue;
                error = Describe(path, code);
                return nullptr;
            }
            if (n > 1)
                NumberUsed(component, n);
            return std::make_unique<WinOutputFile>(h, candidate, path);
        }
        error = path_ + "\\" + component + ": every name up to \"" + NumberedName(component, kMaxNameNumber) +
                "\" is taken.";
        return nullptr;
    }

    bool SetTimes(const FileTimes& times, std::string& error) override
    {
        HANDLE h = OpenFolder(path_, FILE_WRITE_ATTRIBUTES);
        const bool ok = h != INVALID_HANDLE_VALUE && ApplyTimes(h, times);
        if (!ok)
            error = Describe(path_, GetLastError());
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        return ok;
    }

private:
    static HANDLE OpenFolder(const std::string& path, DWORD access)
    {
        return CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
    }
};

} // namespace

std::unique_ptr<TargetFolder> OpenTargetFolder(const std::string& path, std::string& error)
{
    // One separator in every path the recovery reports.
    std::string trimmed = path;
    std::replace(trimmed.begin(), trimmed.end(), '/', '\\');
    while (trimmed.size() > 3 && (trimmed.back() == '\\' || trimmed.back() == '/'))
        trimmed.pop_back();
    if (trimmed.empty()) {
        error = "No output folder was given.";
        return nullptr;
    }
    // Create every missing level of the user's own path.
    for (std::size_t pos = trimmed.find_first_of("\\/", 3); ; pos = trimmed.find_first_of("\\/", pos + 1)) {
        const std::string prefix = trimmed.substr(0, pos);
        if (!CreateDirectoryW(Wide(prefix).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            error = Describe(prefix, GetLastError());
            return nullptr;
        }
        if (pos == std::string::npos)
            break;
    }
    return std::make_unique<WinTargetFolder>(trimmed, false);
}

} // namespace platform
