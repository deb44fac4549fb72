#include "salvage/ui/uAdminRestart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <cerrno>

namespace salvage::ui {

namespace {

QString Canonical(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

bool PolicyNamesProgram(const QString& policyFile, const QString& program)
{
    QFile file(policyFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString wanted = Canonical(program);
    QXmlStreamReader xml(&file);
    bool named = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"annotate" ||
            xml.attributes().value(QStringLiteral("key")) != u"org.freedesktop.policykit.exec.path")
            continue;
        const QString path = xml.readElementText().trimmed();
        if (!path.isEmpty() && Canonical(path) == wanted)
            named = true;
    }
    // A damaged file is no policy, whatever it held before the damage.
    return named && !xml.hasError();
}

QStringList AdminRestartArguments(const QString& program, const QStringList& arguments,
                                  const QProcessEnvironment& environment, const QString& policyFolder)
{
    if (PolicyNamesProgram(QDir(policyFolder).filePath(QLatin1String(kAdminPolicyFile)), program))
        return QStringList{program} + arguments;
    QStringList command{QStringLiteral("env")};
    for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"})
        if (environment.contains(QLatin1String(name)))
            command << QLatin1String(name) + QLatin1Char('=') + environment.value(QLatin1String(name));
    return command << program << arguments;
}

TAdminRestart SystemAdminRestart()
{
    TAdminRestart restart;
#if defined(Q_OS_WIN)
    restart.Available = [] { return false; };
    restart.Start = [](const QStringList&) { return false; };
#else
    restart.Available = [] { return !QStandardPaths::findExecutable(QStringLiteral("pkexec")).isEmpty(); };
    restart.Start = [](const QStringList& arguments) {
        return QProcess::startDetached(
            QStringLiteral("pkexec"),
            AdminRestartArguments(QCoreApplication::applicationFilePath(), arguments,
                                  QProcessEnvironment::systemEnvironment(), QLatin1String(kSystemPolicyFolder)));
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
