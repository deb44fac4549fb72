// kestrelupdate: the suite's update wizard.
#include "kestrelupdate/UpdateApp.h"
#include "kestrelupdate/UpdateArt.h"
#include "kestrelupdate/UpdateStrings.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication qt(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrelupdate"));
    // The desktop matches the window to its menu entry (and icon) by this name.
    QApplication::setDesktopFileName(QStringLiteral("org.example.kestrel.update"));
    QApplication::setApplicationDisplayName(QString::fromUtf8(kestrelupdate::text::kTitle));
    InitUpdateArt();
    QApplication::setWindowIcon(QIcon(kestrelupdate::kUpdateIcon));
    kestrelupdate::WizardStart start;
    start.arguments = QApplication::arguments().mid(1);
    CUpdateApp app(std::move(start));
    return app.Run();
}
