// salvage [IMAGE|DEVICE]...: the desktop program Razuzuda Rezer.

#include "salvage/disk/LogicalDisk.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uArtwork.h"
#include "salvage/ui/uInstallCheck.h"
#include "salvage/ui/uMain.h"
#include "salvage/ui/uMessageBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char** argv)
{
    using namespace salvage::ui;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("salvage"));
    // The desktop matches the window to its menu entry (and icon) by this name.
    QApplication::setDesktopFileName(QStringLiteral("org.example.kestrel.salvage"));
    QApplication::setApplicationVersion(QStringLiteral(KESTREL_VERSION));
    QApplication::setWindowIcon(ProgramIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(text::kCommandLineHelp));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("volume"), QString::fromUtf8(text::kCommandLineVolume),
                                 QStringLiteral("[IMAGE|DEVICE...]"));
    // For the install-tree check: no window, a report on stdout.
    QCommandLineOption checkInstall(QStringLiteral("check-install"));
    checkInstall.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(checkInstall);
    parser.process(app);
    if (parser.isSet(checkInstall)) {
        QTextStream out(stdout);
        return CheckInstall(out) ? 0 : 1;
    }

    if (!salvage::InitRawDiskAccess())
        return 1;

    TMainWindowSeams seams;
    // Full paths: a running instance may be asked to open them, from its own folder.
    for (const QString& volume : parser.positionalArguments())
        seams.Volumes << (QFileInfo::exists(volume) && !volume.startsWith(QStringLiteral("/dev/"))
                              ? QFileInfo(volume).absoluteFilePath()
                              : volume);
    TFrmMain window(seams);
    if (!window.ShouldRun())
        return window.ExitCode();
    window.show();
    // Once the window is up, so that a message about an image has an owner.
    QMetaObject::invokeMethod(
        &window, [&window, volumes = seams.Volumes] { window.OpenVolumes(volumes); }, Qt::QueuedConnection);
    return QApplication::exec();
}
