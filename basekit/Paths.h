#pragma once
// Path helpers of the suite's programs. Paths are UTF-8 strings; the
// separator is the platform's own ("\" on Windows, "/" elsewhere).

#include <string>
#include <string_view>

// The platform's path separator.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The suffix of program files: ".exe" on Windows, none elsewhere.
#if defined(_WIN32)
inline constexpr std::string_view kProgramSuffix = ".exe";
#else
inline constexpr std::string_view kProgramSuffix = "";
#endif

// The folder of the running program's own file (no trailing separator).
// False, with folder emptied, when it cannot be found.
bool GetAppPath(std::string& folder);

// The running program's own file.
[[nodiscard]] std::string GetAppFile();

// True when a file or folder exists at path (a dangling link does not).
[[nodiscard]] bool DoesPathExists(const std::string& path);

// The Windows folder on Windows; empty elsewhere.
[[nodiscard]] std::string GetWinDir();

// True on the NT family, and on every other system (there is no 9x family).
[[nodiscard]] bool IsOsWinNT();

// Appends part to path with exactly one separator between them (either
// separator counts on Windows). An empty path becomes part.
void CVPathAppend(std::string& path, std::string_view part);

// The folder part of a path (no trailing separator; "" when there is none).
[[nodiscard]] std::string CVPathFolder(const std::string& path);

// The last part of a path: file name and extension.
[[nodiscard]] std::string CVPathFileName(const std::string& path);
