#pragma once
// The suite's version record: what "version.zip" beside the program holds
// and what the update server serves. Despite the name it is no archive but a
// fixed 24-byte little-endian record, the layout an MFC archive gives three
// 32-bit numbers followed by a COleDateTime (status first).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrelupdate {

// COleDateTime's status values, as stored.
enum class DateStatus : std::int32_t { Valid = 0, Invalid = 1, Null = 2 };

struct VersionRecord {
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    std::uint32_t third = 0;
    // Any number read from a file is kept; only 0, 1 and 2 have a name.
    DateStatus dateStatus = DateStatus::Valid;
    double date = 0.0;  // OLE Automation date: days since 1899-12-30, fraction = time of day
};

inline constexpr std::size_t kVersionRecordSize = 24;

// Field offsets inside the record.
inline constexpr std::size_t kFirstOffset = 0;       // u32
inline constexpr std::size_t kSecondOffset = 4;      // u32
inline constexpr std::size_t kThirdOffset = 8;       // u32
inline constexpr std::size_t kDateStatusOffset = 12; // i32
inline constexpr std::size_t kDateOffset = 16;       // IEEE double

// The record from the first 24 bytes; nullopt when there are fewer.
[[nodiscard]] std::optional<VersionRecord> ParseVersionRecord(std::span<const std::uint8_t> bytes);
[[nodiscard]] std::array<std::uint8_t, kVersionRecordSize> SerializeVersionRecord(const VersionRecord& record);

// Reads the record from a file. False when the file cannot be opened or is
// shorter than a record; the record then keeps the values it had.
bool LoadVersionFile(const std::string& path, VersionRecord& record);

// Writes the record (used to make the installed file and test servers' files).
bool SaveVersionFile(const std::string& path, const VersionRecord& record);

// True only when all three of the downloaded record's numbers are lower than
// the installed one's, both dates are valid and the downloaded release day
// (the date rounded up to a whole day) is earlier. A mix of lower and higher
// numbers is not older.
[[nodiscard]] bool Older(const VersionRecord& downloaded, const VersionRecord& installed);

// The numbers pairwise equal and the dates equal: the same status and either
// both valid with the same value or both null. Two invalid dates never match.
[[nodiscard]] bool Equal(const VersionRecord& a, const VersionRecord& b);

// What the check decides: the downloaded record differs from the installed
// one and is not older.
[[nodiscard]] bool IsNewer(const VersionRecord& downloaded, const VersionRecord& installed);

} // namespace kestrelupdate
