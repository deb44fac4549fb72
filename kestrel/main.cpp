// kestrel: the suite's launcher.
#include "kestrel/KestrelApp.h"
#include "kestrel/Strings.h"
#include "kestrel/SuiteSetup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrel"));
    // The desktop matches the window to its menu entry (and icon) by this name.
    QApplication::setDesktopFileName(QStringLiteral("org.example.kestrel"));
    QApplication::setApplicationDisplayName(kestrel::kAppTitle);
    InitKestrelArt();
    QApplication::setWindowIcon(QIcon(kestrel::kIcon));
    CKestrelApp app;
    return app.Run();
}
