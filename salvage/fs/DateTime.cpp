#include "salvage/fs/DateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#if defined(_WIN32)
#include <windows.h>
#endif

namespace salvage {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

constexpr std::int64_t kEpochToUnixDays = 25569; // 1899-12-30 to 1970-01-01

#if !defined(_WIN32)
std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// The local date and time the platform gives for a UTC second, as seconds
// from 1970-01-01 of those fields (a leap second counts as :59, as
// EncodeDateTime would take it).
std::optional<std::int64_t> LocalFieldSeconds(std::int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (static_cast<std::int64_t>(t) != seconds || localtime_r(&t, &local) == nullptr)
        return std::nullopt;
    return DaysFromCivil(std::int64_t{local.tm_year} + 1900, static_cast<unsigned>(local.tm_mon + 1),
                         static_cast<unsigned>(local.tm_mday)) *
               86400 +
           local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
}
#endif

bool IsLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

} // namespace

std::optional<TDateTime> EncodeDateTime(const DateTimeFields& f)
{
    if (f.Year < 1 || f.Year > 9999 || f.Month < 1 || f.Month > 12 || f.Day < 1 ||
        f.Day > DaysInMonth(f.Year, f.Month))
        return std::nullopt;
    if (f.Hour < 0 || f.Hour > 23 || f.Minute < 0 || f.Minute > 59 || f.Second < 0 || f.Second > 59 ||
        f.Millisecond < 0 || f.Millisecond > 999)
        return std::nullopt;
    const double days = static_cast<double>(DaysFromCivil(f.Year, static_cast<unsigned>(f.Month),
                                                          static_cast<unsigned>(f.Day)) +
                                            kEpochToUnixDays);
    const double time = (f.Hour * 3600000.0 + f.Minute * 60000.0 + f.Second * 1000.0 + f.Millisecond) / 86400000.0;
    return days < 0 ? days - time : days + time;
}

DateTimeFields DecodeDateTime(TDateTime value)
{
    DateTimeFields f;
    const double whole = std::trunc(value);
    std::int64_t ms = std::llround(std::fabs(value - whole) * 86400000.0);
    std::int64_t days = static_cast<std::int64_t>(whole);
    if (ms >= 86400000) {
        ms -= 86400000;
        days += value < 0 ? -1 : 1;
    }
    CivilFromDays(days - kEpochToUnixDays, f.Year, f.Month, f.Day);
    f.Hour = static_cast<int>(ms / 3600000);
    f.Minute = static_cast<int>(ms / 60000 % 60);
    f.Second = static_cast<int>(ms / 1000 % 60);
    f.Millisecond = static_cast<int>(ms % 1000);
    return f;
}

TDateTime FileTimeToDateTime(std::uint64_t fileTime)
{
    if (fileTime == 0)
        return 0;
#if defined(_WIN32)
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(fileTime);
    utc.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st))
        return 0;
    return EncodeDateTime({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds})
        .value_or(0);
#else
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    constexpr std::int64_t kUnixEpochSeconds = 11644473600; // 1601-01-01 to 1970-01-01
    const std::int64_t seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond) - kUnixEpochSeconds;
    const int ms = static_cast<int>(fileTime % kTicksPerSecond / 10000);
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (static_cast<std::int64_t>(t) != seconds || localtime_r(&t, &local) == nullptr)
        return 0;
    return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                           std::min(local.tm_sec, 59), ms})
        .value_or(0);
#endif
}

TDateTime TFileTimeConverter::operator()(std::uint64_t fileTime)
{
#if defined(_WIN32)
    return FileTimeToDateTime(fileTime);
#else
    if (fileTime == 0)
        return 0;
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    constexpr std::int64_t kUnixEpochSeconds = 11644473600; // 1601-01-01 to 1970-01-01
    const std::int64_t seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond) - kUnixEpochSeconds;
    const int ms = static_cast<int>(fileTime % kTicksPerSecond / 10000);
    if (!known_ || seconds != second_) {
        known_ = true;
        second_ = seconds;
        valid_ = false;
        const std::optional<std::int64_t> local = LocalSeconds(seconds);
        if (!local)
            return 0;
        // EncodeDateTime's range of years, and its day count.
        constexpr std::int64_t kFirstDay = DaysFromCivil(1, 1, 1);
        constexpr std::int64_t kLastDay = DaysFromCivil(9999, 12, 31);
        const std::int64_t day = FloorDiv(*local, 86400);
        if (day < kFirstDay || day > kLastDay)
            return 0;
        valid_ = true;
        days_ = static_cast<double>(day + kEpochToUnixDays);
        secondOfDay_ = static_cast<int>(*local - day * 86400);
    }
    if (!valid_)
        return 0;
    const int hour = secondOfDay_ / 3600;
    const int minute = secondOfDay_ / 60 % 60;
    const int second = secondOfDay_ % 60;
    const double time = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
    return days_ < 0 ? days_ - time : days_ + time;
#endif
}

std::optional<std::int64_t> TFileTimeConverter::LocalSeconds(std::int64_t seconds)
{
#if defined(_WIN32)
    (void)seconds;
    return std::nullopt;
#else
    // A zone's offset changes a few times a year at most: the same offset at
    // both ends of a span is the offset all through it.
    const std::int64_t index = FloorDiv(seconds, kSpanSeconds);
    Span& span = spans_[static_cast<std::size_t>(index) % spans_.size()];
    if (!span.Known || span.Index != index) {
        span.Known = true;
        span.Index = index;
        span.Steady = false;
        const std::int64_t start = index * kSpanSeconds;
        const std::int64_t end = start + kSpanSeconds - 1;
        const auto first = LocalFieldSeconds(start);
        const auto last = LocalFieldSeconds(end);
        // (An offset is a day at most; one past an int32 is no zone's.)
        if (first && last && *first - start == *last - end && std::abs(*first - start) < (1 << 30)) {
            span.Steady = true;
            span.Offset = static_cast<std::int32_t>(*first - start);
        }
    }
    return span.Steady ? std::optional<std::int64_t>(seconds + span.Offset) : LocalFieldSeconds(seconds);
#endif
}

std::optional<std::int64_t> DateTimeToUnixMilliseconds(TDateTime value)
{
    if (value == 0 || !std::isfinite(value))
        return std::nullopt;
    const DateTimeFields f = DecodeDateTime(value);
    if (f.Year < 1601 || f.Year > 9999)
        return std::nullopt;
#if defined(_WIN32)
    // The inverse of FileTimeToLocalFileTime, as FileTimeToDateTime uses it.
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(f.Year);
    st.wMonth = static_cast<WORD>(f.Month);
    st.wDay = static_cast<WORD>(f.Day);
    st.wHour = static_cast<WORD>(f.Hour);
    st.wMinute = static_cast<WORD>(f.Minute);
    st.wSecond = static_cast<WORD>(f.Second);
    st.wMilliseconds = static_cast<WORD>(f.Millisecond);
    FILETIME local;
    FILETIME utc;
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return std::nullopt;
    const std::uint64_t ticks = (static_cast<std::uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000) - 11644473600000;
#else
    // The inverse of localtime_r: mktime decides whether daylight saving
    // time was in force on that day.
    std::tm local{};
    local.tm_year = f.Year - 1900;
    local.tm_mon = f.Month - 1;
    local.tm_mday = f.Day;
    local.tm_hour = f.Hour;
    local.tm_min = f.Minute;
    local.tm_sec = f.Second;
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1) && (local.tm_year != 69 || local.tm_mday != 31))
        return std::nullopt;
    return static_cast<std::int64_t>(t) * 1000 + f.Millisecond;
#endif
}

std::string FormatIsoDateTime(TDateTime value)
{
    if (value == 0)
        return {};
    const DateTimeFields f = DecodeDateTime(value);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", f.Year, f.Month, f.Day, f.Hour, f.Minute,
                  f.Second);
    return text;
}

} // namespace salvage
