#pragma once
// Dates and sizes as the results list shows them, in the user's locale.

#include "salvage/fs/DateTime.h"

#include <QLocale>
#include <QString>

#include <cstdint>

namespace salvage::ui {

// The system's short date and long time format, without a time zone; the
// time is left out at exactly midnight. 0 (no date known) reads as the
// epoch, 30 December 1899.
[[nodiscard]] QString DateText(TDateTime value, const QLocale& locale = QLocale::system());

// The value DateText shows, read back: whole seconds since the epoch, so
// that dates showing the same text compare equal.
[[nodiscard]] std::int64_t DateKey(TDateTime value);

// The user's decimal separator for size texts ('.' when it is not one byte).
[[nodiscard]] char DecimalSeparator(const QLocale& locale = QLocale::system());

// The long time format without its time-zone field.
[[nodiscard]] QString TimeFormatWithoutZone(const QString& format);

} // namespace salvage::ui
