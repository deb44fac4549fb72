#include "salvage/ui/uFormat.h"

#include <QDate>
#include <QTime>


namespace salvage::ui {

QString TimeFormatWithoutZone(const QString& format)
{
    // Drop every unquoted "t" and the blanks before it.
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            continue;
        }
        out.append(c);
    }
    return out.trimmed();
}

QString DateText(TDateTime value, const QLocale& locale)
{
    const DateTimeFields f = DecodeDateTime(value);
    const QDate date(f.Year, f.Month, f.Day);
    QString text = locale.toString(date, QLocale::ShortFormat);
    const QTime time(f.Hour, f.Minute, f.Second, f.Millisecond);
    if (time != QTime(0, 0, 0)) {
        static const QString format = TimeFormatWithoutZone(QLocale::system().timeFormat(QLocale::LongFormat));
        const QString timeFormat =
            locale == QLocale::system() ? format : TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
        text += QLatin1Char(' ') + locale.toString(time, timeFormat);
    }
    return text;
}

std::int64_t DateKey(TDateTime value)
{
    // From the fields the text is made of, so the order is the text's.
    const DateTimeFields f = DecodeDateTime(value);
    const qint64 day = QDate(f.Year, f.Month, f.Day).toJulianDay();
    return static_cast<std::int64_t>(day) * 86400 + f.Hour * 3600 + f.Minute * 60 + f.Second;
}

char DecimalSeparator(const QLocale& locale)
{
    const QString point = locale.decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80)
        return static_cast<char>(point.at(0).unicode());
    return '.';
}

} // namespace salvage::ui
