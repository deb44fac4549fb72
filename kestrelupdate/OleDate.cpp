#include "kestrelupdate/OleDate.h"

#include "kestrelupdate/UpdateStrings.h"

#include <QLocale>

#include <cmath>

namespace kestrelupdate {
namespace {

constexpr double kMsecsPerDay = 86400000.0;
// 0100-01-01 and the end of 9999-12-31.
constexpr double kMinOleDate = -657434.0;
constexpr double kMaxOleDate = 2958466.0;

QDate OleEpoch()
{
    return QDate(1899, 12, 30);
}

} // namespace

double ToOleDate(const QDateTime& local)
{
    const double days = static_cast<double>(OleEpoch().daysTo(local.date()));
    const double time = local.time().msecsSinceStartOfDay() / kMsecsPerDay;
    // Before the epoch the whole part counts back while the fraction still
    // counts forward from midnight: -1.25 is 1899-12-29 06:00.
    return days >= 0 ? days + time : days - time;
}

std::optional<QDateTime> FromOleDate(double value)
{
    if (!std::isfinite(value) || value <= kMinOleDate - 1.0 || value >= kMaxOleDate)
        return std::nullopt;
    const double whole = std::trunc(value);
    auto msecs = static_cast<qint64>(std::llround(std::fabs(value - whole) * kMsecsPerDay));
    QDate date = OleEpoch().addDays(static_cast<qint64>(whole));
    if (msecs >= static_cast<qint64>(kMsecsPerDay)) {
        date = date.addDays(1);
        msecs = 0;
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)));
}

double OleDay(double value)
{
    return std::ceil(value);
}

QString FormatRecordDate(DateStatus status, double value)
{
    if (status == DateStatus::Null)
        return {};
    const auto local = status == DateStatus::Valid ? FromOleDate(value) : std::nullopt;
    if (!local)
        return QString::fromUtf8(text::kInvalidDateTime);
    const QLocale locale;
    if (local->time() == QTime(0, 0))
        return locale.toString(local->date(), QLocale::ShortFormat);
    return locale.toString(*local, QLocale::ShortFormat);
}

} // namespace kestrelupdate
