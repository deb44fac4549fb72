#pragma once
// How the wizard was asked to start, and the due test of a logon start.

#include <QDateTime>
#include <QStringList>

#include <string>

namespace kestrelupdate {

enum class StartMode {
    Normal,
    Auto,     // "-auto": check at once
    Startup,  // "-startup": go on only when the last logon check is old
};

// The switch is looked at only when it is the one argument (case ignored);
// with none or several arguments the wizard starts normally.
[[nodiscard]] StartMode ParseStartMode(const QStringList& argumentsAfterProgram);

inline constexpr char kCheckDateValue[] = "UpdateCheckDate";
inline constexpr int kLogonCheckIntervalDays = 14;

// The due test of "-startup", in the wizard's key (made when missing): due
// when more than 14 whole days (day ceilings of the OLE dates) lie between
// the stored "UpdateCheckDate" and now; then now is stored. A missing or
// unreadable date, or one later than now (a clock that was wrong), is
// replaced by now and the check is not due. A key that cannot be opened
// makes it not due.
[[nodiscard]] bool IsLogonCheckDue(const std::string& wizardKeyPath, const QDateTime& now);

// The stored form of a check date: local time, ISO 8601 to the second.
[[nodiscard]] QString FormatCheckDate(const QDateTime& local);
[[nodiscard]] QDateTime ParseCheckDate(const QString& text);  // invalid when unreadable

} // namespace kestrelupdate
