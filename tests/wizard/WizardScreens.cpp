// wizard_screens FAT_IMAGE NTFS_IMAGE TARGET: puts the wizard's pages and
// its restore window on the screen one after another, for the screenshot
// script. Before each picture it prints "NAME WINDOW-ID" and waits for a
// line on its input (the picture has been taken).
#include "salvage/wizard/uRestoreDialog.h"
#include "salvage/wizard/uWizard.h"
#include "tests/wizard/WizardDrives.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <iostream>
#include <string>

using namespace salvage;
using namespace salvage::ui;

using wizardtest::ImageEntry;

namespace {

void Picture(const char* name, QWidget& window)
{
    // Let the window lay itself out and paint before the picture.
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();
    std::cout << name << ' ' << window.winId() << std::endl;
    std::string line;
    std::getline(std::cin, line);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 4) {
        std::cerr << "usage: wizard_screens FAT_IMAGE NTFS_IMAGE TARGET\n";
        return 2;
    }
    const std::vector<TDriveEntry> drives{ImageEntry(argv[1], "FAT"), ImageEntry(argv[2], "NTFS")};
    const QString target = QString::fromLocal8Bit(argv[3]);
    TWizardSeams seams;
    seams.Drives = [&] { return drives; };
    seams.ConfirmRestore = [](QWidget*) { return TRestoreChoice::Alternative; };
    seams.ChooseFolder = [&](QWidget*, const QString&) { return target; };
    TfrmWizard* window = nullptr;
    // The first broken name holds the restore window on the screen for its picture.
    bool pictured = false;
    seams.AskBrokenName = [&](const std::string& name) {
        if (!pictured)
            Picture("restore", *window->frmRestoreW);
        pictured = true;
        TBrokenNameAnswer answer;
        answer.OldName = name;
        answer.NewName = "_" + name.substr(1);
        answer.ModalResult = static_cast<int>(TBrokenNameResult::Rename);
        return answer;
    };
    TfrmWizard wizard(std::move(seams));
    window = &wizard;
    QTimer::singleShot(0, &wizard, [&] {
        wizard.lsDisks->item(1)->setCheckState(Qt::Checked);
        Picture("page0", wizard);
        wizard.btnSel->click();
        wizard.btnNext->click();
        wizard.edtCriteria->setText(QStringLiteral("*.dat"));
        Picture("page1", wizard);
        QObject::connect(&wizard, &TfrmWizard::searchStopped, &wizard, [&] {
            QTimer::singleShot(0, &wizard, [&] {
                wizard.lstvwFind->topLevelItem(1)->setSelected(true);
                wizard.lstvwFind->topLevelItem(3)->setSelected(true);
                Picture("page2", wizard);
                wizard.btnRestore->click();
                Picture("restored", wizard);
                wizard.btnCancel->click();
            });
        });
        wizard.btnNext->click();
    });
    wizard.Execute(true, false);
    return 0;
}
