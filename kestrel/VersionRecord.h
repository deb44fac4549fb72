#pragma once
// A program's version information, as the program manager shows it: the
// standard string values (FileVersion, ...), the file date and the path.
// On Linux it comes from the version record the build writes beside each
// program (PROGRAM.version, see docs/version-record.md); on Windows from the
// program's version resource.

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct CVersionInfo {
    std::map<std::string, std::string> strings;  // by standard name; absent = empty
    std::optional<std::time_t> fileDate;         // UTC
    std::string path;

    [[nodiscard]] std::string String(const std::string& name) const;
};

// The standard string names, in their usual order.
[[nodiscard]] std::span<const std::string_view> StandardVersionNames();

// The version record beside a program: PROGRAM.version.
[[nodiscard]] std::string VersionRecordPath(const std::string& programPath);

// Parses a version record's text. Lines are Name=Value; blank lines and
// lines starting with "#" are skipped, as are unknown names, lines without
// "=", values with control characters and anything past the size limit.
// FileDate is YYYY-MM-DDTHH:MM:SSZ (UTC).
[[nodiscard]] CVersionInfo ParseVersionRecord(std::string_view text);

// The largest record read (a bigger file is not a version record).
inline constexpr std::size_t kMaxVersionRecordBytes = 64 * 1024;

// The version information of a program file (empty when it has none).
[[nodiscard]] CVersionInfo ReadVersionInfo(const std::string& programPath);

// "%ld Bytes" of the file's size (0 when it cannot be examined).
[[nodiscard]] std::string FileSizeText(const std::string& path);

// The file date as the manager shows it: local time, "%H:%M:%S, %A, %B %d,
// %Y"; no date (or one before 1900) is shown as time 0.
[[nodiscard]] std::string UpdateDateText(const std::optional<std::time_t>& date);

// UTC time from "YYYY-MM-DDTHH:MM:SSZ"; nullopt when malformed.
[[nodiscard]] std::optional<std::time_t> ParseUtcTimestamp(std::string_view text);

// Windows version resources: the translation to read strings in. entries
// are the translation table's 4-byte values (language in the low 16 bits,
// code page in the high); userLanguage is the user's default language id.
// Returns the chosen entry's index (0 for an empty table).
[[nodiscard]] std::size_t ChooseTranslation(std::span<const std::uint32_t> entries, std::uint16_t userLanguage);
