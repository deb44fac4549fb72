// dialog_preview WHAT: shows one of the recovery's dialogs on its own, for
// the screenshot script (the restore confirmation belongs to the wizard, the
// report needs a finished job): "confirm", "recover", "broken NAME" or
// "report". The report shows a made-up job with every kind of outcome.
#include "salvage/recover/dialogs/uBroken.h"
#include "salvage/recover/dialogs/uConfirmRestore.h"
#include "salvage/recover/dialogs/uRecover.h"
#include "salvage/recover/dialogs/uRecoveryReport.h"
#include "salvage/ui/Options.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstring>

using namespace salvage;
using namespace salvage::ui;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const char* what = argc > 1 ? argv[1] : "";
    if (std::strcmp(what, "confirm") == 0) {
        TfrmConfirmRestore dialog;
        return dialog.exec();
    }
    if (std::strcmp(what, "recover") == 0) {
        auto options = NewProgramOptions();
        TFrmRecover dialog(*options);
        return dialog.exec();
    }
    if (std::strcmp(what, "broken") == 0) {
        TFrmBroken dialog;
        return dialog.AskBrokenName(argc > 2 ? argv[2] : "?ILE.TXT").ModalResult;
    }
    if (std::strcmp(what, "report") == 0) {
        TRecoverySummary summary;
        summary.FilesWritten = 41;
        summary.FilesPartial = 2;
        summary.FilesRenamed = 3;
        summary.BytesWritten = 18'734'112;
        summary.Skipped = 4;
        const QString folder = QDir::homePath() + QStringLiteral("/Recovered Files/");
        summary.PartialFiles.push_back({(folder + "Photos/IMG_0412.JPG").toStdString(), "IMG_0412.JPG",
                                        "IMG_0412.JPG", 65536, false, true,
                                        "a cluster could not be read from the volume"});
        summary.PartialFiles.push_back({(folder + "report.doc").toStdString(), "report.doc", "report.doc", 4096,
                                        false, true, "the disk is full"});
        summary.Failures.push_back({(folder + "budget.xls").toStdString(), "budget.xls", "the disk is full"});
        ShowRecoveryReport(nullptr, summary, folder, false);
        return 0;
    }
    std::fprintf(stderr, "usage: dialog_preview confirm|recover|broken [NAME]|report\n");
    return 2;
}
