// The recover dialog and the restore confirmation driven as a user would:
// the folder checks of OK, the folder browser, the options read and written,
// the question about a folder on the disk being recovered (with a made-up
// disk layout), and the confirmation's two choices.
#ifndef Q_MOC_RUN  // moc cannot read the standard headers behind them
#include "platform/StorageDevices.h"
#include "salvage/recover/TargetPlacement.h"
#endif
#include "salvage/recover/dialogs/uConfirmRestore.h"
#include "salvage/recover/dialogs/uRecover.h"
#include "salvage/recover/dialogs/uRecoveryReport.h"
#include "salvage/ui/Options.h"
#include "tests/support/TestData.h"
#include "tests/ui/GuiSupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>

using namespace salvage;
using namespace salvage::ui;

namespace {

// A machine with one disk, 8:16, whose partitions 8:17 and 8:18 are
// /dev/sdb1 (being recovered) and the file system of /mnt/same; every other
// folder is on 8:32, another disk.
class OneDisk final : public platform::StorageQueries {
public:
    std::optional<platform::DeviceNumber> BlockDevice(const std::string& path) override
    {
        if (path == "/dev/sdb1")
            return platform::DeviceNumber{8, 17};
        return std::nullopt;
    }
    std::optional<platform::FileIdentity> File(const std::string&) override { return std::nullopt; }
    std::optional<platform::DeviceNumber> FileSystemDevice(const std::string& path) override
    {
        if (path.rfind("/mnt/same", 0) == 0)
            return platform::DeviceNumber{8, 18};
        return platform::DeviceNumber{8, 32};
    }
    platform::DeviceNumber WholeDisk(platform::DeviceNumber d) override { return {d.Major, d.Minor & ~15ull}; }
    std::vector<platform::DeviceNumber> Underlying(platform::DeviceNumber) override { return {}; }
    std::optional<std::string> LoopBackingFile(platform::DeviceNumber) override { return std::nullopt; }
    std::string DeviceName(platform::DeviceNumber d) override
    {
        return d.Minor == 16 ? "/dev/sdb" : "/dev/sd?" + std::to_string(d.Minor);
    }
};

struct TStarted {
    QString path;
    bool recoverAll = false;
    bool restoreStructure = false;
};

} // namespace

class RecoverDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<guitest::TEnvironment> env_;
    std::unique_ptr<guitest::TMessageScript> messages_;
    std::unique_ptr<TOptions> options_;
    std::string folder_;

    // Shows `dialog` modally; `script` plays the user once it is up.
    static int Run(TFrmRecover& dialog, std::function<void()> script)
    {
        auto connection = connect(&dialog, &TFrmRecover::shown, &dialog, [&dialog, script] {
            QTimer::singleShot(0, &dialog, [&dialog, script] {
                script();
                if (QTest::currentTestFailed() && dialog.isVisible())
                    dialog.reject();
            });
        });
        const int result = dialog.exec();
        disconnect(connection);
        return result;
    }

    // Clicks a check box on its box.
    static void Tick(QCheckBox* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
    }

    // Types `path` into the edit and presses OK.
    static void EnterAndOK(TFrmRecover& d, const QString& path)
    {
        d.edtPath->selectAll();
        QTest::keyClick(d.edtPath, Qt::Key_Delete);
        QTest::keyClicks(d.edtPath, path);
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
    }

private slots:
    void init()
    {
        env_ = std::make_unique<guitest::TEnvironment>();
        messages_ = std::make_unique<guitest::TMessageScript>();
        options_ = NewProgramOptions();
        options_->Load();
        folder_ = testdata::MakeTempDir("recover-dialog");
    }
    void cleanup()
    {
        std::filesystem::remove_all(folder_);
        options_.reset();
        messages_.reset();
        env_.reset();
    }

    void showsItsControlsInTheirOrderWithTheOptions()
    {
        TFrmRecover d(*options_);
        QCOMPARE(d.windowTitle(), QString("Recover"));
        QCOMPARE(d.lblFolder->text(), QString("Output folder:"));
        QCOMPARE(d.Browse->text(), QString("Browse..."));
        QCOMPARE(d.chStructure->text(), QString("Restore folder structure"));
        QCOMPARE(d.chAllFiles->text(), QString("Recover all files"));
        QVERIFY(d.btnOK->isDefault());
        // The store's defaults: the user's "Recovered Files", all files, no structure.
        QCOMPARE(d.edtPath->text(), QDir::homePath() + "/Recovered Files");
        QVERIFY(d.chAllFiles->isChecked());
        QVERIFY(!d.chStructure->isChecked());
        QVERIFY(!d.Image->pixmap().isNull());

        // The tab order starts at OK.
        const int result = Run(d, [&] {
            QVERIFY(d.Image->geometry().right() < d.edtPath->geometry().left());
            QCOMPARE(d.focusWidget(), d.btnOK);
            QStringList order;
            for (int i = 0; i < 6; ++i) {
                QWidget* focus = d.focusWidget();
                QVERIFY(focus);
                order << focus->objectName();
                QTest::keyClick(focus, Qt::Key_Tab);
            }
            QCOMPARE(order, (QStringList{"btnOK", "btnCancel", "Browse", "edtPath", "chStructure", "chAllFiles"}));
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        QCOMPARE(result, 2);
    }

    void aPathOfBlanksAsksForAFolder()
    {
        TFrmRecover d(*options_);
        int started = 0;
        d.StartRecovery = [&](const QString&, bool, bool) { ++started; };
        Run(d, [&] {
            EnterAndOK(d, "   ");
            QVERIFY(d.isVisible());
            QCOMPARE(d.edtPath->text(), QString());
            QTest::mouseClick(d.btnCancel, Qt::LeftButton);
        });
        QCOMPARE(messages_->Texts(), QStringList{"Please, choose folder."});
        QCOMPARE(messages_->Shown[0].Owner, &d);
        QCOMPARE(messages_->Shown[0].Icon, QMessageBox::NoIcon);
        QCOMPARE(messages_->Shown[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(started, 0);
    }

    void aMissingFolderIsCreatedOnlyWhenTheUserSaysSo()
    {
        TFrmRecover d(*options_);
        std::vector<TStarted> started;
        d.StartRecovery = [&](const QString& path, bool all, bool structure) {
            started.push_back({path, all, structure});
        };
        const QString wanted = QString::fromStdString(folder_) + "/deep/er/Recovered";
        // Cancel first: nothing is made, the dialog stays with the path.
        messages_->Answer(QMessageBox::Cancel);
        messages_->Answer(QMessageBox::Ok);
        const int result = Run(d, [&] {
            Tick(d.chStructure);
            EnterAndOK(d, "  " + wanted + "  ");
            QVERIFY(d.isVisible());
            QVERIFY(!QFileInfo::exists(QString::fromStdString(folder_) + "/deep"));
            QCOMPARE(d.edtPath->text(), wanted + "/");
            QVERIFY(started.empty());
            // OK again, and OK to the question.
            QTest::mouseClick(d.btnOK, Qt::LeftButton);
        });
        QCOMPARE(result, 1);
        QCOMPARE(messages_->Texts(), (QStringList{"The specified folder does not exist. Do you want to create it?",
                                                  "The specified folder does not exist. Do you want to create it?"}));
        QCOMPARE(messages_->Shown[0].Icon, QMessageBox::Question);
        QCOMPARE(messages_->Shown[0].Buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QVERIFY(QFileInfo(wanted).isDir());
        QCOMPARE(started.size(), std::size_t(1));
        QCOMPARE(started[0].path, wanted + "/");
        QVERIFY(started[0].recoverAll);
        QVERIFY(started[0].restoreStructure);

        // An existing folder goes straight on, the separator not doubled.
        messages_->Shown.clear();
        Run(d, [&] { QTest::mouseClick(d.btnOK, Qt::LeftButton); });
        QVERIFY(messages_->Shown.empty());
        QCOMPARE(started.back().path, wanted + "/");
    }

    void aFolderThatCannotBeMadeIsReported()
    {
        TFrmRecover d(*options_);
        int started = 0;
        d.StartRecovery = [&](const QString&, bool, bool) { ++started; };
        // A plain file stands where a folder of the path would go.
        const std::string blocker = folder_ + "/a file";
        std::ofstream(blocker) << "x";
        Run(d, [&] {
            EnterAndOK(d, QString::fromStdString(blocker) + "/Recovered");
            QVERIFY(d.isVisible());
            QTest::mouseClick(d.btnCancel, Qt::LeftButton);
        });
        QCOMPARE(messages_->Texts().last(), QString("Folder has not been created!"));
        QCOMPARE(messages_->Shown.back().Icon, QMessageBox::Warning);
        QCOMPARE(started, 0);
    }

    void browseTakesTheChosenFolderAndCancelKeepsTheEdit()
    {
        TFrmRecover d(*options_);
        QStringList titles;
        QString answer = QString::fromStdString(folder_);
        d.ChooseFolder = [&](QWidget* owner, const QString& title) {
            titles << title;
            if (owner != &d)
                titles << "wrong owner";
            return answer;
        };
        QTest::mouseClick(d.Browse, Qt::LeftButton);
        QCOMPARE(d.edtPath->text(), QString::fromStdString(folder_));
        answer.clear();
        QTest::mouseClick(d.Browse, Qt::LeftButton);
        QCOMPARE(d.edtPath->text(), QString::fromStdString(folder_));
        QCOMPARE(titles, (QStringList{"Choose path for recovery", "Choose path for recovery"}));
    }

    void theOptionsAreWrittenWhenTheDialogGoes()
    {
        {
            TFrmRecover d(*options_);
            d.StartRecovery = [](const QString&, bool, bool) {};
            Run(d, [&] {
                Tick(d.chAllFiles);
                Tick(d.chStructure);
                EnterAndOK(d, QString::fromStdString(folder_));
            });
            // Nothing is written while the dialog lives.
            QCOMPARE(QString::fromStdString(options_->Find(kOptPathRecover).GetString()),
                     QDir::homePath() + "/Recovered Files");
        }
        QCOMPARE(options_->Find(kOptPathRecover).GetString(), folder_ + "/");
        QVERIFY(!options_->Find(kOptCheckRecoverAll).GetBoolean());
        QVERIFY(options_->Find(kOptCheckRestoreStructure).GetBoolean());
        TFrmRecover again(*options_);
        QCOMPARE(again.edtPath->text(), QString::fromStdString(folder_ + "/"));
        QVERIFY(!again.chAllFiles->isChecked());
        QVERIFY(again.chStructure->isChecked());
    }

    void aFolderOnTheDiskBeingRecoveredIsAskedAbout()
    {
        TFrmRecover d(*options_);
        OneDisk disk;
        d.CheckTarget = [&](const std::string& folder) { return CheckTargetPlacement("/dev/sdb1", folder, disk); };
        std::vector<QString> started;
        d.StartRecovery = [&](const QString& path, bool, bool) { started.push_back(path); };
        // "/mnt/same" lies on the disk; No returns to the dialog, nothing made.
        messages_->Answer(QMessageBox::No);
        Run(d, [&] {
            EnterAndOK(d, "/mnt/same/Recovered");
            QVERIFY(d.isVisible());
            QVERIFY(started.empty());
            // Another disk: no question.
            EnterAndOK(d, QString::fromStdString(folder_));
        });
        QCOMPARE(messages_->Shown.size(), std::size_t(1));
        const TMessageRequest& asked = messages_->Shown[0];
        QCOMPARE(asked.Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(asked.Icon, QMessageBox::Warning);
        QVERIFY(asked.Text.startsWith("The folder /mnt/same/Recovered/ is on the disk you are recovering from "
                                      "(/dev/sdb)."));
        QVERIFY(asked.Text.contains("destroy them for good"));
        QVERIFY(asked.Text.contains("another disk"));
        QCOMPARE(started, std::vector<QString>{QString::fromStdString(folder_ + "/")});

        // Yes goes on (the folder here is made by the dialog as usual).
        const std::string same = folder_ + "/same";
        d.CheckTarget = [&](const std::string&) {
            TTargetCheck check;
            check.Placement = TTargetPlacement::SameVolume;
            check.Device = "/dev/sdb1";
            return check;
        };
        messages_->Shown.clear();
        messages_->Answer(QMessageBox::Yes);
        messages_->Answer(QMessageBox::Ok);
        QCOMPARE(Run(d, [&] { EnterAndOK(d, QString::fromStdString(same)); }), 1);
        QCOMPARE(messages_->Shown.size(), std::size_t(2));
        QVERIFY(QFileInfo(QString::fromStdString(same)).isDir());
        QCOMPARE(started.back(), QString::fromStdString(same + "/"));
    }

    void theReportNamesWhatWasLostBelowTheFolder()
    {
        TRecoverySummary summary;
        summary.FilesWritten = 1;
        summary.FilesPartial = 1;
        summary.BytesWritten = 2048;
        summary.PartialFiles.push_back({"/out/dir/a.jpg", "a.jpg", "a.jpg", 1024, false, true, "the disk is full"});
        for (int i = 0; i < 7; ++i)
            summary.Failures.push_back({"/out/f" + std::to_string(i) + ".txt", "f.txt", "no space"});
        summary.Failures.push_back({"/elsewhere/x", "", "cannot be made"});
        ShowRecoveryReport(nullptr, summary, "/out/", false);
        QCOMPARE(messages_->Shown.size(), std::size_t(1));
        const TMessageRequest& shown = messages_->Shown[0];
        // Something was lost: a warning, with the folder button named as such.
        QCOMPARE(shown.Icon, QMessageBox::Warning);
        QCOMPARE(shown.Buttons, QMessageBox::Open | QMessageBox::Close);
        QCOMPARE(shown.ButtonTexts.size(), 2);
        QCOMPARE(shown.ButtonTexts[0].second, QString("Open folder"));
        const QStringList lines = shown.Text.split('\r');
        QCOMPARE(lines.mid(0, 4), (QStringList{"The recovery has finished.", "Folder: /out/", "",
                                               "2 files were written (2.00 kb)."}));
        QCOMPARE(lines.mid(4), (QStringList{"1 file could be written only in part:", "    dir/a.jpg: the disk is full",
                                            "8 files or folders could not be written at all:",
                                            "    f0.txt: no space", "    f1.txt: no space", "    f2.txt: no space",
                                            "    f3.txt: no space", "    f4.txt: no space", "    and 3 more"}));
        // Nothing at all, and the volume not opened.
        TRecoverySummary none;
        none.OpenError = "The volume cannot be read.";
        QCOMPARE(RecoveryReportText(none, "/out/", true).split('\r'),
                 (QStringList{"The recovery was stopped before its end.", "Folder: /out/", "",
                              "The volume cannot be read.", "", "No file was written."}));
    }

    void theConfirmationOffersTwoPlacesAndKeepsTheChoice()
    {
        TfrmConfirmRestore d;
        QCOMPARE(d.windowTitle(), QString("Confirm Restore"));
        QCOMPARE(d.Label1->text(), QString("Where do you want to restore the selected objects to?"));
        QCOMPARE(d.rbOriginal->text(), QString("Restore to the respective original folder"));
        QCOMPARE(d.Label2->text(),
                 QString("Creates the original directory path of an object and restores it there if necessary."));
        QCOMPARE(d.rbAlternative->text(), QString("Restore to an alternative location"));
        QCOMPARE(d.Label3->text(), QString("You can select the location to which you want the objects to be restored to."));
        QVERIFY(d.rbOriginal->isChecked());
        QVERIFY(d.btnOK->isDefault());
        QVERIFY(!d.Image->pixmap().isNull());

        auto run = [&d](std::function<void()> script) {
            QTimer::singleShot(0, &d, [&d, script] {
                script();
                if (QTest::currentTestFailed() && d.isVisible())
                    d.reject();
            });
            return d.exec();
        };
        QCOMPARE(run([&] {
                     QTest::mouseClick(d.rbAlternative, Qt::LeftButton);
                     QTest::mouseClick(d.btnOK, Qt::LeftButton);
                 }),
                 1);
        QVERIFY(d.rbAlternative->isChecked());
        QVERIFY(!d.rbOriginal->isChecked());
        // The choice stays; Cancel and Escape give 2.
        QCOMPARE(run([&] {
                     QVERIFY(d.rbAlternative->isChecked());
                     QTest::mouseClick(d.btnCancel, Qt::LeftButton);
                 }),
                 2);
        QCOMPARE(run([&] { QTest::keyClick(&d, Qt::Key_Escape); }), 2);
        QCOMPARE(run([&] { QTest::keyClick(d.btnOK, Qt::Key_Return); }), 1);
    }
};

QTEST_MAIN(RecoverDialogTest)
#include "RecoverDialogTest.moc"
