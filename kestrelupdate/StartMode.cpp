#include "kestrelupdate/StartMode.h"

#include "kestrelupdate/OleDate.h"

#include "platform/Registry.h"

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
    auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, wizardKeyPath, platform::RegOpen::Create);
    if (!key)
        return false;
    const auto stored = key->Read(kCheckDateValue);
    QDateTime last;
    if (stored && stored->type == platform::RegType::Sz)
        last = ParseCheckDate(QString::fromStdString(stored->text));
    const bool readable = last.isValid() && last <= now;
    const bool due =
        readable && OleDay(ToOleDate(now)) - OleDay(ToOleDate(last)) > static_cast<double>(kLogonCheckIntervalDays);
    if (!readable || due)
        key->WriteString(kCheckDateValue, FormatCheckDate(now).toStdString());
    return due;
}

} // namespace kestrelupdate
