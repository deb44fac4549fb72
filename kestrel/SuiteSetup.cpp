#include "kestrel/SuiteSetup.h"

#include "basekit/Paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

static void RegisterKestrelResources()
{
    Q_INIT_RESOURCE(kestrel);
}

void InitKestrelArt()
{
    static const bool done = (RegisterKestrelResources(), true);
    (void)done;
}

CFolderSource LauncherFolders()
{
    return [] {
        std::string folder;
        GetAppPath(folder);
        return ComputeSuiteFolders(folder);
    };
}

CToolInstaller MakeInstaller(const CFolderSource& folders)
{
    return CToolInstaller(folders ? folders() : LauncherFolders()(), BuildToolTable(), &PumpEvents);
}

void PumpEvents(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!deadline.hasExpired())
            QThread::msleep(static_cast<unsigned long>(std::min<qint64>(10, deadline.remainingTime())));
    } while (!deadline.hasExpired());
}
