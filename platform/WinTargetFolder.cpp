#include "platform/TargetFolder.h"

#include "platform/Volume.h"

#include <windows.h>

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

bool IsLink(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

class WinOutputFile final : public OutputFile {
public:
    WinOutputFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}
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
        }
        return true;
    }

    bool Close() override
    {
        if (handle_ == INVALID_HANDLE_VALUE)
            return error_.empty();
        const BOOL ok = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        if (!ok && error_.empty())
            error_ = Describe(path_, GetLastError());
        return ok && error_.empty();
    }

private:
    HANDLE handle_;
    std::string path_;
};

class WinTargetFolder final : public TargetFolder {
public:
    explicit WinTargetFolder(std::string path) : path_(std::move(path)) {}

    std::unique_ptr<TargetFolder> Subfolder(std::string_view name, std::string& error) override
    {
        const std::string path = path_ + "\\" + SafeComponentName(name);
        if (!CreateDirectoryW(Wide(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            error = Describe(path, GetLastError());
            return nullptr;
        }
        const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            error = Describe(path, ERROR_DIRECTORY);
            return nullptr;
        }
        return std::make_unique<WinTargetFolder>(path);
    }

    std::unique_ptr<OutputFile> CreateOutputFile(std::string_view name, std::string& error) override
    {
        const std::string path = path_ + "\\" + SafeComponentName(name);
        if (IsLink(path)) {
            error = Describe(path, ERROR_CANT_ACCESS_FILE);
            return nullptr;
        }
        // CREATE_ALWAYS: an existing file of that name is replaced.
        HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            error = Describe(path, GetLastError());
            return nullptr;
        }
        return std::make_unique<WinOutputFile>(h, path);
    }

    const std::string& Path() const override { return path_; }

private:
    std::string path_;
};

} // namespace

std::unique_ptr<TargetFolder> OpenTargetFolder(const std::string& path, std::string& error)
{
    std::string trimmed = path;
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
    return std::make_unique<WinTargetFolder>(trimmed);
}

} // namespace platform
