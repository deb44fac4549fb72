#pragma once
// The model's date type: days since 30 December 1899 00:00 local time as a
// double, the fraction being the time of day; 0 means no date is known.
// Dates before the epoch follow the same convention as positive ones: the
// whole part counts days backwards and the fraction is still the time of day.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace salvage {

using TDateTime = double;

struct DateTimeFields {
    int Year = 0, Month = 0, Day = 0;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// The day-count date of a calendar date and time; nullopt when the fields do
// not form a real date (31 February, hour 24, ...).
[[nodiscard]] std::optional<TDateTime> EncodeDateTime(const DateTimeFields& fields);

// The calendar fields of a day-count date.
[[nodiscard]] DateTimeFields DecodeDateTime(TDateTime value);

// A FILETIME (100-ns intervals since 1601-01-01 UTC) converted to local time.
// 0, and values the platform cannot convert, give 0.
[[nodiscard]] TDateTime FileTimeToDateTime(std::uint64_t fileTime);

// FileTimeToDateTime for a run of values (an MFT scan): the local-time
// conversion of the last second met is kept, so the many times that fall
// in one second are converted once, and so is the offset from UTC of each
// span of about 18 hours met (the platform is asked at both ends of it; a
// span across a change of the offset is asked second by second). The
// values are FileTimeToDateTime's. One object per thread and per run: a
// time-zone change during its life is not seen.
class TFileTimeConverter {
public:
    [[nodiscard]] TDateTime operator()(std::uint64_t fileTime);

private:
    // Seconds from 1970-01-01 of the local date and time of a UTC second.
    [[nodiscard]] std::optional<std::int64_t> LocalSeconds(std::int64_t seconds);

    std::int64_t second_ = 0;
    bool known_ = false;
    bool valid_ = false;  // the second converts to a real date
    double days_ = 0;     // the day count of that second's local date
    int secondOfDay_ = 0; // its local time of day, in seconds

    struct Span {
        std::int64_t Index = 0;   // seconds / kSpanSeconds, rounded down
        std::int32_t Offset = 0;  // local minus UTC, in seconds
        bool Known = false;
        bool Steady = false;      // one offset over the whole span
    };
    static constexpr std::int64_t kSpanSeconds = 1 << 16;
    // By Index modulo their count: eight years of times without a clash.
    std::vector<Span> spans_ = std::vector<Span>(4096);
};

// A day-count date back to milliseconds since 1970-01-01 00:00 UTC, by the
// rule dates come in by (the platform's local time, as FileTimeToDateTime
// and the FAT search read them). nullopt for 0, and for dates outside what a
// FILETIME holds or the platform converts.
[[nodiscard]] std::optional<std::int64_t> DateTimeToUnixMilliseconds(TDateTime value);

// "YYYY-MM-DDThh:mm:ss" of a day-count date; empty for 0.
[[nodiscard]] std::string FormatIsoDateTime(TDateTime value);

} // namespace salvage
