#pragma once
// Where recovered files go. The user's chosen folder is opened (and created
// with its missing levels) once; everything below it is created one name at a
// time, so a name can never climb out of it, and an existing symbolic link at
// a name is never followed. Nothing that already stands in the target is ever
// replaced: a file whose name is taken is created as "NAME (2).EXT" (then
// "(3)", ...), and folders of the same name merge.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// Times to give a file or folder, in milliseconds since 1970-01-01 00:00 UTC.
// An unknown time is left as the system sets it.
struct FileTimes {
    std::optional<std::int64_t> Modified;
    std::optional<std::int64_t> Accessed;
};

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    virtual ~OutputFile() = default;

    // Appends bytes; false (with Error()) when the write fails or comes up short.
    [[nodiscard]] virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
    // Appends `count` zero bytes: a hole where the file system keeps holes,
    // otherwise zeros written in blocks. Either way the file reads the same.
    [[nodiscard]] virtual bool WriteZeros(std::uint64_t count);
    // The times the file gets when it is closed (after its last byte).
    void SetTimes(const FileTimes& times) { times_ = times; }
    // Flushes, sets the times and closes; false when that fails. Called by
    // the destructor too; a second call only repeats the result.
    [[nodiscard]] virtual bool Close() = 0;
    // Closes the file and removes it, but only while the name still holds the
    // file this object created. False (with Error()) when it stays.
    [[nodiscard]] virtual bool Discard() = 0;

    // Bytes that reached the file so far (writes that failed count for what
    // they wrote before failing).
    [[nodiscard]] std::uint64_t Size() const noexcept { return size_; }
    // The name it was created under (after the name rules and the numbering).
    [[nodiscard]] const std::string& Name() const noexcept { return name_; }
    [[nodiscard]] const std::string& Path() const noexcept { return path_; }
    [[nodiscard]] const std::string& Error() const noexcept { return error_; }

protected:
    std::string name_;
    std::string path_;
    std::string error_;
    std::uint64_t size_ = 0;
    FileTimes times_;
};

// Tells folders apart (device and file number): two opens of one folder compare equal.
struct FolderId {
    std::uint64_t Device = 0;
    std::uint64_t Number = 0;
    // Spelled out rather than a defaulted <=>: <compare> is more than Qt's moc
    // can read in the headers it follows.
    bool operator==(const FolderId&) const = default;
    bool operator<(const FolderId& other) const
    {
        return Device != other.Device ? Device < other.Device : Number < other.Number;
    }
};

class TargetFolder {
public:
    TargetFolder() = default;
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;
    virtual ~TargetFolder() = default;

    // The folder `name` inside this one: an existing folder of that name is
    // used (merged into), a missing one is created. When something else
    // holds the name (a file, a link) the folder is "NAME (2)", ... Null
    // (with error) when no folder can be made.
    [[nodiscard]] virtual std::unique_ptr<TargetFolder> Subfolder(std::string_view name, std::string& error) = 0;
    // A new file `name` inside this one. It never replaces anything: when the
    // name is taken, by anything, the file is "NAME (2).EXT", "NAME (3).EXT",
    // ... Null with error when no file can be created.
    [[nodiscard]] virtual std::unique_ptr<OutputFile> CreateOutputFile(std::string_view name, std::string& error) = 0;
    // Gives the folder itself these times. False with error when that fails.
    [[nodiscard]] virtual bool SetTimes(const FileTimes& times, std::string& error) = 0;

    // True when the Subfolder call that opened this folder created it.
    [[nodiscard]] bool Created() const noexcept { return created_; }
    [[nodiscard]] const FolderId& Id() const noexcept { return id_; }
    // The folder's path, for messages.
    [[nodiscard]] const std::string& Path() const noexcept { return path_; }
    // The path a name from the disk gets inside this folder, for messages.
    [[nodiscard]] std::string ChildPath(std::string_view name) const;

protected:
    // The first number to try for a taken name: the last one used in this
    // folder plus one, so that many files of one name do not retry every
    // number before theirs.
    [[nodiscard]] unsigned FirstNumberFor(const std::string& component) const;
    void NumberUsed(const std::string& component, unsigned n) { numbers_[component] = n; }

    std::string path_;
    FolderId id_;
    bool created_ = false;

private:
    std::map<std::string, unsigned> numbers_;  // names that were taken, and their last number
};

// Opens the user's chosen folder, creating it with all missing levels.
// Null with error when that fails.
[[nodiscard]] std::unique_ptr<TargetFolder> OpenTargetFolder(const std::string& path, std::string& error);

// A name from the disk as one safe component: "." and ".." and path
// separators (and NUL, where the system would end the name) cannot stand in
// it, so they become "_"; an empty name becomes "_".
[[nodiscard]] std::string SafeComponentName(std::string_view name);

// The same by the rules of one system, so both can be tested anywhere.
// Windows also refuses "\", ":", control characters and < > " | ? *
// (each becomes "_"), drops trailing dots and blanks (they become "_") and
// opens a device for "CON", "NUL", "COM1", "LPT1" ... with any extension
// (such a name gets "_" after its stem: "nul_.txt").
enum class NameRules { Posix, Windows };
[[nodiscard]] std::string SafeComponentName(std::string_view name, NameRules rules);

// The n-th name (n >= 2) for a name that is taken: "report (2).doc",
// "README (3)", ".profile (2)", "archive.tar (2).gz".
[[nodiscard]] std::string NumberedName(std::string_view name, unsigned n);

// How many numbered names are tried before a create gives up.
inline constexpr unsigned kMaxNameNumber = 100000;

// The path separator of the system, for joining names.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

} // namespace platform
