#include "kestrel/ToolInstaller.h"

#include "basekit/EnumProcess.h"
#include "basekit/Paths.h"
#include "kestrel/DesktopEntry.h"
#include "kestrel/VersionRecord.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kSettleMilliseconds = 1024;

fs::path Native(const std::string& path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

unsigned long OwnProcessId()
{
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(::getpid());
#endif
}

bool SamePath(const std::string& a, const std::string& b)
{
    std::error_code ec;
    const fs::path ca = fs::weakly_canonical(Native(a), ec);
    if (ec)
        return false;
    const fs::path cb = fs::weakly_canonical(Native(b), ec);
    return !ec && ca == cb;
}

// Copies source onto target through a temporary file beside the target, so
// that a failed copy never leaves half a program under the tool's name.
bool CopyWhole(const std::string& source, const std::string& target)
{
    std::error_code ec;
    const fs::path to = Native(target);
    const fs::path temp = to.parent_path() / (to.filename().string() + ".part");
    fs::remove(temp, ec);
    if (!fs::copy_file(Native(source), temp, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, to, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

bool Delete(const std::string& path)
{
    std::error_code ec;
    return fs::remove(Native(path), ec) && !ec;
}

} // namespace

CToolInstaller::CToolInstaller(CSuiteFolders folders, CToolTable table, Pump pump)
    : folders_(std::move(folders)), table_(std::move(table)), pump_(std::move(pump))
{
}

std::string CToolInstaller::InstalledPath(int row) const
{
    std::string path = folders_.tool;
    CVPathAppend(path, table_.at(static_cast<std::size_t>(row)).fileName);
    return path;
}

std::string CToolInstaller::SetupPath(int row) const
{
    std::string path = folders_.setup;
    CVPathAppend(path, table_.at(static_cast<std::size_t>(row)).fileName);
    return path;
}

std::string CToolInstaller::Shortcut(int row) const
{
    return ShortcutPath(folders_, table_.at(static_cast<std::size_t>(row)));
}

bool CToolInstaller::IsInstalled(int row) const
{
    return DoesPathExists(InstalledPath(row));
}

std::string CToolInstaller::ExaminedPath(int row) const
{
    const std::string installed = InstalledPath(row);
    return DoesPathExists(installed) ? installed : SetupPath(row);
}

void CToolInstaller::Wait(int milliseconds) const
{
    if (pump_)
        pump_(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool CToolInstaller::Install(int row)
{
    const std::string installed = InstalledPath(row);
    const std::string shortcut = Shortcut(row);
    if (!DoesPathExists(installed)) {
        const std::string source = SetupPath(row);
        if (CopyWhole(source, installed)) {
            // The version record travels with its program.
            const std::string record = VersionRecordPath(source);
            if (DoesPathExists(record))
                CopyWhole(record, VersionRecordPath(installed));
        }
    }
    if (DoesPathExists(installed) && !DoesPathExists(shortcut))
        CreateToolShortcut(shortcut, installed, table_.at(static_cast<std::size_t>(row)).displayName);
    return DoesPathExists(shortcut) && DoesPathExists(installed);
}

int CToolInstaller::EndRunningCopies(const std::string& installed, const CFileIdentity& identity) const
{
    CEnumProcess processes;
    const int method = processes.GetSuggestedMethod();
    if (method == CEnumProcess::ENUM_METHOD_NONE)
        return 0;
    processes.SetMethod(method);
    const unsigned long self = OwnProcessId();
    int ended = 0;
    CProcessEntry entry;
    for (bool more = processes.GetProcessFirst(&entry); more; more = processes.GetProcessNext(&entry)) {
        Wait(0);
        if (entry.dwPID == self)
            continue;
        // The very file (or one at its path), not a program that merely
        // shares its name.
        const bool same = identity.SameFile(entry.program) ||
                          (!entry.lpFilename.empty() && SamePath(entry.lpFilename, installed));
        if (!same)
            continue;
        const auto pump = [](void* context, int ms) { static_cast<const CToolInstaller*>(context)->Wait(ms); };
        if (EndProcess(entry.dwPID, kSettleMilliseconds, pump, const_cast<void*>(static_cast<const void*>(this))))
            ++ended;
        else
            Wait(kSettleMilliseconds);
    }
    return ended;
}

bool CToolInstaller::Remove(int row)
{
    const std::string installed = InstalledPath(row);
    const std::string shortcut = Shortcut(row);
    Delete(shortcut);
    if (DoesPathExists(installed)) {
        // Know the file before it goes: a running copy keeps it alive
        // under no name, and only its identity still finds it.
        const CFileIdentity identity = IdentifyFile(installed);
        Delete(installed);
        const int ended = EndRunningCopies(installed, identity);
        if (ended > 0 || DoesPathExists(installed)) {
            Wait(kSettleMilliseconds);
            Delete(installed);
        }
        Delete(VersionRecordPath(installed));
    }
    return !DoesPathExists(shortcut) && !DoesPathExists(installed);
}
