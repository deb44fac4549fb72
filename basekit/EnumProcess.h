#pragma once
// A walk over the running processes: each one's id and program file.
// Over /proc on Linux, a Toolhelp snapshot on Windows.

#include <cstdint>
#include <memory>
#include <string>

// The identity of a file, so that two paths (or a path and a process's
// program) can be compared as the same file: device and inode on POSIX,
// volume serial number and file index on Windows.
struct CFileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool valid = false;

    [[nodiscard]] bool SameFile(const CFileIdentity& other) const
    {
        return valid && other.valid && device == other.device && index == other.index;
    }
};

// The identity of the file at path (invalid when it cannot be examined).
[[nodiscard]] CFileIdentity IdentifyFile(const std::string& path);

struct CProcessEntry {
    unsigned long dwPID = 0;
    // The full path of the process's program file; empty when the system
    // does not tell (a process of another user, a kernel thread). On Linux
    // a program whose file was deleted since it started keeps its old path
    // here; its identity still names the file it runs.
    std::string lpFilename;
    CFileIdentity program;
};

class CEnumProcess {
public:
    enum Method : int {
        ENUM_METHOD_NONE = 0,
        ENUM_METHOD_PROCFS = 1,    // Linux: /proc
        ENUM_METHOD_TOOLHELP = 2,  // Windows: CreateToolhelp32Snapshot
    };

    CEnumProcess();
    ~CEnumProcess();
    CEnumProcess(const CEnumProcess&) = delete;
    CEnumProcess& operator=(const CEnumProcess&) = delete;

    // The method this system offers; ENUM_METHOD_NONE when none works.
    [[nodiscard]] int GetSuggestedMethod() const;
    void SetMethod(int method);

    // Start the walk (a fresh snapshot) / go on with it. True while they
    // fill entry; false at the end or without a method.
    bool GetProcessFirst(CProcessEntry* entry);
    bool GetProcessNext(CProcessEntry* entry);

private:
    struct Walk;
    int method_ = ENUM_METHOD_NONE;
    std::unique_ptr<Walk> walk_;
};

// Asks a process to end, and makes it end if it does not go within the
// grace time: SIGTERM, then SIGKILL on POSIX; TerminateProcess (exit code
// 0) on Windows, where there is no grace. False when the process could
// not be reached (gone, or not ours to end).
using ProcessPump = void (*)(void* context, int milliseconds);
bool EndProcess(unsigned long pid, int graceMilliseconds, ProcessPump pump = nullptr, void* context = nullptr);

// True while the process runs (a zombie counts as ended).
[[nodiscard]] bool IsProcessRunning(unsigned long pid);
