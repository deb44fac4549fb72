// The registry as one .reg file per hive in the user's config folder.
//
// Readers take no lock: a hive file is only ever replaced whole (rename), so
// a reader sees the old file or the new one. Writers read, change and write
// the hive under an exclusive flock on a lock file beside it (the hive itself
// cannot carry the lock, since the rename swaps its inode), so two programs
// that change different values of the same hive both keep their changes.
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "platform/RegistryHooks.h"
#include "platform/UserFolders.h"
#include "platform/Utf16.h"
#include "platform/Volume.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

using regfile::Hive;
using regfile::HiveKey;
using regfile::KeyPath;

std::mutex settingsMutex;
std::string folderOverride;
HiveReplaceHook replaceHook;

HiveReplaceHook CurrentReplaceHook()
{
    std::lock_guard lock(settingsMutex);
    return replaceHook;
}

bool ValidValueName(std::string_view name)
{
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    return IsValidUtf8(name);
}

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }
    // Closes now and tells whether the close (and so the write-back) worked.
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAllBytes(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string Timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

enum class LoadState { Missing, Parsed, Corrupt, Unreadable };

struct Loaded {
    LoadState state = LoadState::Missing;
    Hive hive;
    std::string problem;  // what is wrong with a corrupt or unreadable file
    struct stat info {};
};

// One hive file, its lock file and the folder that holds them.
class HiveFile {
public:
    explicit HiveFile(RegRoot root)
        : root_(root), folder_(RegistryFolder()), file_(folder_ + "/" + RegRootName(root) + ".reg"),
          lock_(file_ + ".lock")
    {
    }

    // The hive as it is now; nullopt when the file exists but cannot be read.
    // A file that does not parse counts as empty (and is kept aside).
    [[nodiscard]] std::optional<Hive> Snapshot() const
    {
        Loaded loaded = Load();
        switch (loaded.state) {
        case LoadState::Missing:
        case LoadState::Parsed:
            return std::move(loaded.hive);
        case LoadState::Unreadable:
            return std::nullopt;
        case LoadState::Corrupt:
            break;
        }
        if (ReadOnly()) {
            ReportOnce(loaded, Damaged(loaded, "it is not used"));
            return Hive{};
        }
        // Look again under the lock: another program may have dealt with it.
        std::optional<Hive> result;
        Update([&](Hive& hive) {
            result = hive;
            return false;
        });
        if (!result) {
            // It could not be kept aside: the defaults hold and nothing is written.
            ReportOnce(loaded, Damaged(loaded, "it could not be moved aside, so the settings are not saved"));
            return Hive{};
        }
        return result;
    }

    // Runs change on the current hive under the lock; when it returns true
    // (it changed something) the new hive replaces the file. False when the
    // hive could not be read, kept aside or written.
    template <typename Change>
    bool Update(Change&& change) const
    {
        if (ReadOnly())
            return false;
        std::error_code ec;
        if (std::filesystem::create_directories(folder_, ec))
            std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ec);
        UniqueFd lockFd(::open(lock_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (lockFd.get() < 0)
            return false;
        while (::flock(lockFd.get(), LOCK_EX) != 0) {
            if (errno != EINTR)
                return false;
        }
        RemoveStaleTempFiles();

        Loaded loaded = Load();
        if (loaded.state == LoadState::Unreadable) {
            ReportOnce(loaded, "The settings file \"" + file_ + "\" cannot be read (" + loaded.problem +
                                   "); the settings are not saved.");
            return false;
        }
        if (loaded.state == LoadState::Corrupt && !KeepAside(loaded)) {
            ReportOnce(loaded, Damaged(loaded, "it could not be moved aside, so the settings are not saved"));
            return false;
        }
        if (!change(loaded.hive))
            return true;
        return Replace(regfile::FormatRegFile(loaded.hive, RegRootName(root_)));
        // The lock goes with lockFd.
    }

private:
    [[nodiscard]] bool ReadOnly() const { return root_ == RegRoot::ClassesRoot; }

    [[nodiscard]] Loaded Load() const
    {
        Loaded loaded;
        UniqueFd fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) {
            loaded.state = errno == ENOENT ? LoadState::Missing : LoadState::Unreadable;
            loaded.problem = SystemErrorText(errno);
            return loaded;
        }
        if (::fstat(fd.get(), &loaded.info) != 0 || !S_ISREG(loaded.info.st_mode)) {
            loaded.state = LoadState::Unreadable;
            loaded.problem = "not a readable file";
            return loaded;
        }
        // One byte past the limit is enough for the parser to refuse it.
        std::vector<std::uint8_t> bytes;
        std::uint8_t buffer[65536];
        while (bytes.size() <= regfile::kMaxRegFileSize) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                loaded.state = LoadState::Unreadable;
                loaded.problem = SystemErrorText(errno);
                return loaded;
            }
            if (n == 0)
                break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        regfile::ParseResult parsed = regfile::ParseRegFile(bytes, RegRootName(root_));
        if (!parsed.ok) {
            loaded.state = LoadState::Corrupt;
            loaded.problem = parsed.line ? "line " + std::to_string(parsed.line) + ": " + parsed.error : parsed.error;
            return loaded;
        }
        loaded.state = LoadState::Parsed;
        loaded.hive = std::move(parsed.hive);
        return loaded;
    }

    // A file that does not parse is never overwritten: it moves aside under
    // a new name (the person who edited it can mend it) and the hive starts
    // empty. Called with the lock held, so the report comes once.
    bool KeepAside(Loaded& loaded) const
    {
        const std::string base = file_ + ".corrupt-" + Timestamp();
        std::string aside = base;
        for (int n = 2; n < 1000 && ::access(aside.c_str(), F_OK) == 0; ++n)
            aside = base + "-" + std::to_string(n);
        if (::rename(file_.c_str(), aside.c_str()) != 0)
            return false;
        ReportRegistryProblem(Damaged(loaded, "it was kept as \"" + aside + "\" and the default settings are used"));
        loaded.state = LoadState::Missing;
        loaded.hive = Hive{};
        return true;
    }

    [[nodiscard]] std::string Damaged(const Loaded& loaded, const std::string& consequence) const
    {
        return "The settings file \"" + file_ + "\" is damaged (" + loaded.problem + "); " + consequence + ".";
    }

    // For a file that stays where it is: said once per process and version
    // of the file, not at every read or write.
    void ReportOnce(const Loaded& loaded, const std::string& message) const
    {
        static std::mutex mutex;
        static std::set<std::string> reported;
        const std::string id = file_ + '\n' + std::to_string(loaded.info.st_ino) + '\n' +
                               std::to_string(loaded.info.st_mtime) + '\n' + std::to_string(loaded.info.st_size);
        {
            std::lock_guard lock(mutex);
            if (!reported.insert(id).second)
                return;
        }
        ReportRegistryProblem(message);
    }

    // Temporary files are made only under the lock, so any that exist while
    // we hold it were left by a writer that died before its rename.
    void RemoveStaleTempFiles() const
    {
        const std::string prefix = std::string(RegRootName(root_)) + ".reg.tmp-";
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.starts_with(prefix)) {
                std::error_code ignored;
                std::filesystem::remove(it->path(), ignored);
            }
        }
    }

    // Writes the text to a temporary file in the same folder, syncs it and
    // renames it over the hive: a crash leaves either file whole.
    bool Replace(const std::string& text) const
    {
        std::string temp = file_ + ".tmp-XXXXXX";
        UniqueFd fd(::mkstemp(temp.data()));
        if (fd.get() < 0)
            return false;
        bool ok = ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC) == 0 && WriteAllBytes(fd.get(), text) &&
                  ::fsync(fd.get()) == 0;
        ok = fd.Close() && ok;
        if (ok) {
            const HiveReplaceHook hook = CurrentReplaceHook();
            ok = !hook || hook(temp);
        }
        if (ok)
            ok = ::rename(temp.c_str(), file_.c_str()) == 0;
        if (!ok) {
            ::unlink(temp.c_str());
            return false;
        }
        // Make the rename itself durable.
        UniqueFd dir(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() >= 0)
            ::fsync(dir.get());
        return true;
    }

    RegRoot root_;
    std::string folder_;
    std::string file_;
    std::string lock_;
};

std::unique_ptr<RegistryKey> OpenKeyPath(RegRoot root, const KeyPath& path, RegOpen mode);

class FileRegistryKey final : public RegistryKey {
public:
    FileRegistryKey(RegRoot root, KeyPath path, bool writable) : root_(root), path_(std::move(path)), writable_(writable) {}

    std::optional<RegValue> Read(std::string_view name) const override
    {
        const std::optional<Hive> hive = HiveFile(root_).Snapshot();
        const HiveKey* key = hive ? hive->Find(path_) : nullptr;
        const RegValue* value = key ? regfile::FindValue(*key, name) : nullptr;
        if (!value)
            return std::nullopt;
        return *value;
    }

    bool Write(std::string_view name, const RegValue& value) override
    {
        const NamedRegValue one{std::string(name), value};
        return WriteAll(std::span(&one, 1));
    }

    bool WriteAll(std::span<const NamedRegValue> values) override
    {
        if (!writable_)
            return false;
        for (const auto& [name, value] : values)
            if (!ValidValueName(name))
                return false;
        return HiveFile(root_).Update([&](Hive& hive) {
            bool changed = hive.Find(path_) == nullptr;
            HiveKey& key = hive.Make(path_);
            for (const auto& [name, value] : values) {
                const RegValue* old = regfile::FindValue(key, name);
                if (old && *old == value)
                    continue;
                regfile::SetValue(key, name, value);
                changed = true;
            }
            return changed;
        });
    }

    bool DeleteValue(std::string_view name) override
    {
        if (!writable_)
            return false;
        return HiveFile(root_).Update([&](Hive& hive) {
            HiveKey* key = hive.Find(path_);
            if (!key || !regfile::FindValue(*key, name))
                return false;
            regfile::RemoveValue(*key, name);
            return true;
        });
    }

    std::vector<std::string> ValueNames() const override
    {
        std::vector<std::string> names;
        const std::optional<Hive> hive = HiveFile(root_).Snapshot();
        if (const HiveKey* key = hive ? hive->Find(path_) : nullptr)
            for (const auto& value : key->values)
                names.push_back(value.first);
        return names;
    }

    std::vector<std::string> SubKeyNames() const override
    {
        const std::optional<Hive> hive = HiveFile(root_).Snapshot();
        return hive ? hive->SubKeyNames(path_) : std::vector<std::string>{};
    }

    bool Writable() const override { return writable_; }

    std::unique_ptr<RegistryKey> OpenSubKey(std::string_view path, RegOpen mode) const override
    {
        if (!path.empty() && path.front() == '\\')
            return OpenRegistryKey(root_, path, mode);
        const auto below = SplitKeyPath(path);
        if (!below)
            return nullptr;
        KeyPath full = path_;
        full.insert(full.end(), below->begin(), below->end());
        return OpenKeyPath(root_, full, mode);
    }

private:
    RegRoot root_;
    KeyPath path_;
    bool writable_;
};

std::unique_ptr<RegistryKey> OpenKeyPath(RegRoot root, const KeyPath& path, RegOpen mode)
{
    if (mode != RegOpen::Read && root == RegRoot::ClassesRoot)
        return nullptr;
    const HiveFile file(root);
    const std::optional<Hive> hive = file.Snapshot();
    if (!hive)
        return nullptr;
    if (!hive->Exists(path)) {
        if (mode != RegOpen::Create)
            return nullptr;
        const bool made = file.Update([&](Hive& current) {
            if (current.Exists(path))
                return false;
            current.Make(path);
            return true;
        });
        if (!made)
            return nullptr;
    }
    return std::make_unique<FileRegistryKey>(root, path, mode != RegOpen::Read);
}

} // namespace

std::unique_ptr<RegistryKey> OpenRegistryKey(RegRoot root, std::string_view path, RegOpen mode)
{
    const auto names = SplitKeyPath(path);
    if (!names)
        return nullptr;
    return OpenKeyPath(root, *names, mode);
}

void SetRegistryFolder(std::string folder)
{
    std::lock_guard lock(settingsMutex);
    folderOverride = std::move(folder);
}

std::string RegistryFolder()
{
    {
        std::lock_guard lock(settingsMutex);
        if (!folderOverride.empty())
            return folderOverride;
    }
    // The XDG rules: only an absolute $XDG_CONFIG_HOME counts.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = (config && config[0] == '/') ? std::string(config) : HomeFolder() + "/.config";
    return base + "/kestrel/registry";
}

void SetHiveReplaceHook(HiveReplaceHook hook)
{
    std::lock_guard lock(settingsMutex);
    replaceHook = std::move(hook);
}

} // namespace platform
