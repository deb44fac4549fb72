#include "salvage/fs/DateTime.h"
#include "salvage/fs/FAT.h"

#include <gtest/gtest.h>

#include <random>

#include <cstdlib>

using namespace salvage;

TEST(DateTime, DayCountEpochAndKnownDates)
{
    EXPECT_DOUBLE_EQ(*EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(*EncodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
    EXPECT_DOUBLE_EQ(*EncodeDateTime({2004, 2, 29, 12, 0, 0, 0}), 38046.5);
    EXPECT_DOUBLE_EQ(*EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25) << "time of day stays positive";
    EXPECT_FALSE(EncodeDateTime({2003, 2, 29, 0, 0, 0, 0})) << "no leap day in 2003";
    EXPECT_FALSE(EncodeDateTime({2004, 4, 31, 0, 0, 0, 0}));
    EXPECT_FALSE(EncodeDateTime({2004, 1, 1, 24, 0, 0, 0}));
}

TEST(DateTime, DecodeRoundTrips)
{
    for (const DateTimeFields f : {DateTimeFields{2004, 2, 29, 23, 59, 58, 0}, DateTimeFields{1980, 1, 1, 0, 0, 0, 0},
                                   DateTimeFields{2107, 12, 31, 12, 30, 15, 500},
                                   DateTimeFields{1850, 6, 15, 18, 0, 0, 0}}) {
        const DateTimeFields back = DecodeDateTime(*EncodeDateTime(f));
        EXPECT_EQ(back.Year, f.Year);
        EXPECT_EQ(back.Month, f.Month);
        EXPECT_EQ(back.Day, f.Day);
        EXPECT_EQ(back.Hour, f.Hour);
        EXPECT_EQ(back.Minute, f.Minute);
        EXPECT_EQ(back.Second, f.Second);
        EXPECT_EQ(back.Millisecond, f.Millisecond);
    }
    EXPECT_EQ(FormatIsoDateTime(*EncodeDateTime({2004, 2, 29, 7, 8, 9, 0})), "2004-02-29T07:08:09");
    EXPECT_EQ(FormatIsoDateTime(0), "");
}

TEST(DateTime, FileTimeIsConvertedToLocalTime)
{
    // 2004-02-29 12:00:00 UTC as a FILETIME.
    constexpr std::uint64_t kFileTime = (1078056000ull + 11644473600ull) * 10000000ull;
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(kFileTime), 38046.5);
    setenv("TZ", "EST5", 1); // five hours behind UTC, no daylight saving
    tzset();
    EXPECT_EQ(FormatIsoDateTime(FileTimeToDateTime(kFileTime)), "2004-02-29T07:00:00");
    if (previous)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(FileTimeToDateTime(0), 0.0);
}

TEST(DosDateTime, ValidAndInvalidWords)
{
    // 2004-02-29 10:20:30: date = (24 << 9) | (2 << 5) | 29, time = (10 << 11) | (20 << 5) | 15.
    const std::uint16_t date = (24 << 9) | (2 << 5) | 29;
    const std::uint16_t time = (10 << 11) | (20 << 5) | 15;
    EXPECT_EQ(FormatIsoDateTime(DosDateTimeToDateTime(date, time)), "2004-02-29T10:20:30");
    EXPECT_EQ(DosDateTimeToDateTime(0, 0), 0.0);
    EXPECT_EQ(DosDateTimeToDateTime((24 << 9) | (13 << 5) | 1, 0), 0.0) << "month 13";
    EXPECT_EQ(DosDateTimeToDateTime((24 << 9) | (2 << 5) | 31, 0), 0.0) << "31 February";
    EXPECT_EQ(DosDateTimeToDateTime((23 << 9) | (2 << 5) | 29, 0), 0.0) << "29 February 2003";
    EXPECT_EQ(DosDateTimeToDateTime(date, 0xC000), 0.0) << "hour 24";
    EXPECT_EQ(DosDateTimeToDateTime(date, (1 << 11) | (60 << 5)), 0.0) << "minute 60";
    EXPECT_EQ(DosDateTimeToDateTime(date, 30), 0.0) << "second 60";
    EXPECT_NE(DosDateTimeToDateTime(date, 29), 0.0) << "second 58";
}

TEST(DateTime, BackToUtcByTheRuleDatesCameInBy)
{
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    // Daylight saving time: the rule depends on the day, not on today.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    constexpr std::int64_t kEpoch = 11644473600;  // 1601 to 1970, in seconds
    for (const std::int64_t unixMs : {std::int64_t{1078056000123},   // 2004-02-29 12:00:00.123 UTC, winter
                                      std::int64_t{1561982400000},   // 2019-07-01 12:00 UTC, summer
                                      std::int64_t{1553994000000},   // 2019-03-31 01:00 UTC, the change itself
                                      std::int64_t{-86400000}}) {    // 1969-12-31
        const std::uint64_t fileTime = static_cast<std::uint64_t>(unixMs + kEpoch * 1000) * 10000;
        EXPECT_EQ(DateTimeToUnixMilliseconds(FileTimeToDateTime(fileTime)), unixMs) << unixMs;
    }
    // A FAT date is local time as written: 2019-07-01 14:00 in Berlin is 12:00 UTC.
    const std::uint16_t date = (39 << 9) | (7 << 5) | 1;
    EXPECT_EQ(DateTimeToUnixMilliseconds(DosDateTimeToDateTime(date, 14 << 11)), 1561982400000);
    if (previous)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(DateTimeToUnixMilliseconds(0), std::nullopt) << "no date known";
    EXPECT_EQ(DateTimeToUnixMilliseconds(*EncodeDateTime({1500, 1, 1, 0, 0, 0, 0})), std::nullopt)
        << "before a FILETIME can hold";
}

// The converter of a scan gives FileTimeToDateTime's values, for times in
// one second, across seconds and days, and for values it cannot convert.
TEST(DateTime, FileTimeConverterGivesTheSameValues)
{
    TFileTimeConverter convert;
    const std::uint64_t base = 132000000000000000ull;  // 2019
    for (std::uint64_t i = 0; i < 20000; ++i) {
        const std::uint64_t t = base + i * 1234567ull + (i % 7) * 10000000ull * 3600 * 24 * 40;
        ASSERT_EQ(convert(t), FileTimeToDateTime(t)) << t;
    }
    for (const std::uint64_t t : {std::uint64_t{0}, std::uint64_t{1}, base, base + 1, std::uint64_t{0x7FFFFFFFFFFFFFFF},
                                  std::uint64_t{0xFFFFFFFFFFFFFFFF}, base})
        EXPECT_EQ(convert(t), FileTimeToDateTime(t)) << t;
}

// The same in zones whose offset changes by an hour, by half an hour, or
// not at all, with odd offsets: second by second across each change of
// 2019, at random moments over the centuries a FILETIME holds, and at the
// ends of the ranges the platform converts.
TEST(DateTime, FileTimeConverterFollowsEveryZoneChange)
{
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    constexpr std::uint64_t kTicks = 10000000;
    constexpr std::int64_t kEpoch = 11644473600;
    auto fileTime = [&](std::int64_t unixSeconds, std::uint64_t ticks) {
        return static_cast<std::uint64_t>(unixSeconds + kEpoch) * kTicks + ticks;
    };
    std::mt19937_64 random(3);
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",
                             "NST3:30NDT,M3.2.0,M11.1.0", "<+0545>-5:45", "<-0230>2:30<-0130>,M3.5.0/-2,M10.5.0/-1"}) {
        setenv("TZ", zone, 1);
        tzset();
        TFileTimeConverter convert;
        // Every second of the two days around each of 2019's first days of
        // a month (the changes of all these zones fall in such days' weeks),
        // from a span the converter has seen before and one it has not.
        for (int month = 0; month < 12; ++month) {
            const std::int64_t from = 1546300800 + month * 2629800;  // 2019-01-01 + months
            for (std::int64_t s = from; s < from + 9 * 86400; s += 61)
                ASSERT_EQ(convert(fileTime(s, 1234567)), FileTimeToDateTime(fileTime(s, 1234567))) << zone << " " << s;
        }
        // Around the changes themselves (last Sundays of March and October,
        // the first Sunday of October and April, the second Sunday of March
        // and the first of November, 2019), every third second.
        for (const std::int64_t day : {1553990400, 1572134400, 1570320000, 1554508800, 1552176000, 1572566400}) {
            for (std::int64_t s = day - 86400; s < day + 2 * 86400; s += 3)
                ASSERT_EQ(convert(fileTime(s, 0)), FileTimeToDateTime(fileTime(s, 0))) << zone << " " << s;
        }
        for (int i = 0; i < 20000; ++i) {
            const std::uint64_t t = random() % 0x0300000000000000ull;  // years 1601 to about 2800
            ASSERT_EQ(convert(t), FileTimeToDateTime(t)) << zone << " " << t;
        }
        for (const std::uint64_t t : {std::uint64_t{1}, std::uint64_t{0x7FFFFFFFFFFFFFFF}, std::uint64_t{0xFFFFFFFFFFFFFFFF},
                                      fileTime(253402300799, 0), fileTime(253402300800, 0), fileTime(-1, 0), fileTime(0, 0)})
            EXPECT_EQ(convert(t), FileTimeToDateTime(t)) << zone << " " << t;
    }
    if (previous)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
