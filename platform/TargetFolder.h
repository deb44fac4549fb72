#pragma once
// Where recovered files go. The user's chosen folder is opened (and created
// with its missing levels) once; everything below it is created one name at a
// time, so a name can never climb out of it, and an existing symbolic link at
// a name is never followed (the name counts as unusable instead).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

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
    // Flushes and closes; false when that fails. Called by the destructor too.
    [[nodiscard]] virtual bool Close() = 0;
    [[nodiscard]] const std::string& Error() const noexcept { return error_; }

protected:
    std::string error_;
};

class TargetFolder {
public:
    TargetFolder() = default;
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;
    virtual ~TargetFolder() = default;

    // The folder `name` inside this one, created when missing. Null (with
    // error) when it cannot be created or opened, or is not a real folder.
    [[nodiscard]] virtual std::unique_ptr<TargetFolder> Subfolder(std::string_view name, std::string& error) = 0;
    // The file `name` inside this one, created or replaced (an existing file of
    // that name is truncated). Null with error when that fails.
    [[nodiscard]] virtual std::unique_ptr<OutputFile> CreateOutputFile(std::string_view name, std::string& error) = 0;
    // The folder's path, for messages.
    [[nodiscard]] virtual const std::string& Path() const = 0;
};

// Opens the user's chosen folder, creating it with all missing levels.
// Null with error when that fails.
[[nodiscard]] std::unique_ptr<TargetFolder> OpenTargetFolder(const std::string& path, std::string& error);

// A name from the disk as one safe component: "." and ".." and path
// separators (and NUL, where the system would end the name) cannot stand in
// it, so they become "_"; an empty name becomes "_".
[[nodiscard]] std::string SafeComponentName(std::string_view name);

// The same by the rules of one system (Windows also refuses "\" and ":", and
// trailing dots and blanks), so both can be tested anywhere.
enum class NameRules { Posix, Windows };
[[nodiscard]] std::string SafeComponentName(std::string_view name, NameRules rules);

} // namespace platform
