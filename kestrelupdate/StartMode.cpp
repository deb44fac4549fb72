#include "kestrelupdate/StartMode.h"

#include "kestrelupdate/OleDate.h"

#include "basekit/CRegistry.h"

namespace kestrelupdate {

StartMode ParseStartMode(const QStringList& argumentsAfterProgram)
{
    if (argumentsAfterProgram.size() != 1)
        return StartMode::Normal;
    const QString& argument = argumentsAfterProgram.front();
    if (argument.compare(u"-auto", Qt::CaseInsensitive) == 0)
        return StartMode::Auto;
    if (argument.compare(u"-startup", Qt::CaseInsensitive) == 0)
        return StartMode::Startup;
    return StartMode::Normal;
}

QString FormatCheckDate(const QDateTime& local)
{
    return local.toString(Qt::ISODate);
}

QDateTime ParseCheckDate(const QString& text)
{
    QDateTime parsed = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    if (!parsed.isValid())
        return {};
    return parsed.toLocalTime();
}

bool IsLogonCheckDue(const std::string& wizardKeyPath, const QDateTime& now)
{
    CRegistry key(platform::RegRoot::CurrentUser);
    if (!key.Open(platform::RegRoot::CurrentUser, wizardKeyPath, true))
        return false;
    std::string stored;
    QDateTime last;
    if (key.ReadString(kCheckDateValue, stored))
        last = ParseCheckDate(QString::fromStdString(stored));
    const bool readable = last.isValid() && last <= now;
    const bool due =
        readable && OleDay(ToOleDate(now)) - OleDay(ToOleDate(last)) > static_cast<double>(kLogonCheckIntervalDays);
    if (!readable || due)
        key.WriteString(kCheckDateValue, FormatCheckDate(now).toStdString());
    return due;
}

} // namespace kestrelupdate
