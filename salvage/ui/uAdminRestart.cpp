#include "salvage/ui/uAdminRestart.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <cerrno>

namespace salvage::ui {

TAdminRestart SystemAdminRestart()
{
    TAdminRestart restart;
#if defined(Q_OS_WIN)
    restart.Available = [] { return false; };
    restart.Start = [](const QStringList&) { return false; };
#else
    restart.Available = [] { return !QStandardPaths::findExecutable(QStringLiteral("pkexec")).isEmpty(); };
    restart.Start = [](const QStringList& arguments) {
        // pkexec clears the environment; the window needs to know its display.
        QStringList command{QStringLiteral("env")};
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"})
            if (env.contains(QLatin1String(name)))
                command << QLatin1String(name) + QLatin1Char('=') + env.value(QLatin1String(name));
        command << QCoreApplication::applicationFilePath() << arguments;
        return QProcess::startDetached(QStringLiteral("pkexec"), command);
    };
#endif
    return restart;
}

bool IsPermissionError(int code)
{
#if defined(Q_OS_WIN)
    return code == 5;  // ERROR_ACCESS_DENIED
#else
    return code == EACCES || code == EPERM;
#endif
}

} // namespace salvage::ui
