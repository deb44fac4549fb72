#include "basekit/EnumProcess.h"

#include <chrono>
#include <thread>

#if defined(_WIN32)
#include "platform/Utf16.h"
#include <windows.h>
#include <tlhelp32.h>
#else
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(_WIN32)

namespace {

std::string ProcessImagePath(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return {};
    wchar_t buffer[32768];
    DWORD size = static_cast<DWORD>(std::size(buffer));
    std::string path;
    if (QueryFullProcessImageNameW(process, 0, buffer, &size))
        path = platform::Utf16ToUtf8(std::u16string(buffer, buffer + size));
    CloseHandle(process);
    return path;
}

} // namespace

CFileIdentity IdentifyFile(const std::string& path)
{
    CFileIdentity id;
    const std::u16string wide = platform::Utf8ToUtf16(path);
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return id;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info)) {
        id.device = info.dwVolumeSerialNumber;
        id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        id.valid = true;
    }
    CloseHandle(file);
    return id;
}

struct CEnumProcess::Walk {
    HANDLE snapshot = INVALID_HANDLE_VALUE;
    ~Walk()
    {
        if (snapshot != INVALID_HANDLE_VALUE)
            CloseHandle(snapshot);
    }
};

namespace {

void Fill(const PROCESSENTRY32W& raw, CProcessEntry* entry)
{
    entry->dwPID = raw.th32ProcessID;
    entry->lpFilename = ProcessImagePath(raw.th32ProcessID);
    entry->program = entry->lpFilename.empty() ? CFileIdentity{} : IdentifyFile(entry->lpFilename);
}

} // namespace

int CEnumProcess::GetSuggestedMethod() const
{
    return ENUM_METHOD_TOOLHELP;
}

bool CEnumProcess::GetProcessFirst(CProcessEntry* entry)
{
    walk_.reset();
    if (method_ != ENUM_METHOD_TOOLHELP || !entry)
        return false;
    walk_ = std::make_unique<Walk>();
    walk_->snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (walk_->snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W raw{};
    raw.dwSize = sizeof raw;
    if (!Process32FirstW(walk_->snapshot, &raw))
        return false;
    Fill(raw, entry);
    return true;
}

bool CEnumProcess::GetProcessNext(CProcessEntry* entry)
{
    if (!walk_ || walk_->snapshot == INVALID_HANDLE_VALUE || !entry)
        return false;
    PROCESSENTRY32W raw{};
    raw.dwSize = sizeof raw;
    if (!Process32NextW(walk_->snapshot, &raw))
        return false;
    Fill(raw, entry);
    return true;
}

bool IsProcessRunning(unsigned long pid)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return false;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

bool EndProcess(unsigned long pid, int, ProcessPump, void*)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return false;
    const bool ended = TerminateProcess(process, 0) != 0;
    CloseHandle(process);
    return ended;
}

#else  // POSIX: /proc

CFileIdentity IdentifyFile(const std::string& path)
{
    CFileIdentity id;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        id.device = static_cast<std::uint64_t>(info.st_dev);
        id.index = static_cast<std::uint64_t>(info.st_ino);
        id.valid = true;
    }
    return id;
}

struct CEnumProcess::Walk {
    DIR* proc = nullptr;
    ~Walk()
    {
        if (proc)
            ::closedir(proc);
    }
};

namespace {

constexpr const char* kDeletedSuffix = " (deleted)";

bool ParsePid(const char* name, unsigned long& pid)
{
    if (!name || !*name)
        return false;
    unsigned long value = 0;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9' || value > 400000000UL)
            return false;
        value = value * 10 + static_cast<unsigned long>(*p - '0');
    }
    pid = value;
    return value != 0;
}

void Fill(unsigned long pid, CProcessEntry* entry)
{
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    entry->dwPID = pid;
    entry->lpFilename.clear();
    std::error_code ec;
    std::string target = std::filesystem::read_symlink(exe, ec).string();
    if (!ec) {
        const std::string suffix = kDeletedSuffix;
        if (target.size() > suffix.size() && target.ends_with(suffix))
            target.resize(target.size() - suffix.size());
        entry->lpFilename = target;
    }
    // The link leads to the program's own inode even when its path was
    // deleted or replaced since.
    entry->program = IdentifyFile(exe);
}

} // namespace

int CEnumProcess::GetSuggestedMethod() const
{
    return ::access("/proc/self/exe", F_OK) == 0 ? ENUM_METHOD_PROCFS : ENUM_METHOD_NONE;
}

bool CEnumProcess::GetProcessFirst(CProcessEntry* entry)
{
    walk_.reset();
    if (method_ != ENUM_METHOD_PROCFS || !entry)
        return false;
    walk_ = std::make_unique<Walk>();
    walk_->proc = ::opendir("/proc");
    return GetProcessNext(entry);
}

bool CEnumProcess::GetProcessNext(CProcessEntry* entry)
{
    if (!walk_ || !walk_->proc || !entry)
        return false;
    while (const dirent* item = ::readdir(walk_->proc)) {
        unsigned long pid = 0;
        if (!ParsePid(item->d_name, pid))
            continue;
        Fill(pid, entry);
        return true;
    }
    return false;
}

bool IsProcessRunning(unsigned long pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!stat || !std::getline(stat, line))
        return false;
    // "pid (comm) S ...": the state follows the last ")" (comm may hold one).
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size())
        return false;
    const char state = line[close + 2];
    return state != 'Z' && state != 'X';
}

bool EndProcess(unsigned long pid, int graceMilliseconds, ProcessPump pump, void* context)
{
    const auto id = static_cast<pid_t>(pid);
    if (id <= 0 || ::kill(id, SIGTERM) != 0)
        return false;
    constexpr int kStep = 16;
    for (int waited = 0; waited < graceMilliseconds && IsProcessRunning(pid); waited += kStep) {
        if (pump)
            pump(context, kStep);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kStep));
    }
    if (IsProcessRunning(pid))
        ::kill(id, SIGKILL);
    return true;
}

#endif

CEnumProcess::CEnumProcess() = default;
CEnumProcess::~CEnumProcess() = default;

void CEnumProcess::SetMethod(int method)
{
    method_ = method;
    walk_.reset();
}
