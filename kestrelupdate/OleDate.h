#pragma once
// OLE Automation dates (days since 1899-12-30 00:00 local time, the fraction
// being the time of day) and the local times they stand for.

#include "kestrelupdate/VersionRecord.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace kestrelupdate {

[[nodiscard]] double ToOleDate(const QDateTime& local);

// Nullopt for NaN and for values outside the years 100 to 9999, the range an
// OLE date can hold.
[[nodiscard]] std::optional<QDateTime> FromOleDate(double value);

// The whole day a date falls on, rounded up: the day count the update rules
// compare.
[[nodiscard]] double OleDay(double value);

// A record's date for the window: the local date and time in the user's
// format (the date alone at midnight), "" for a null date and
// "Invalid DateTime" for an invalid one or one outside the range.
[[nodiscard]] QString FormatRecordDate(DateStatus status, double value);

} // namespace kestrelupdate
