// Recovery from the main window driven as a user would: a folder of the
// NTFS reference image recovered with its structure and compared with the
// answer key, files selected in the list, the broken-name dialog of the FAT
// reference image with a stop while it is open, the report at the end of a
// job with its "Open folder", the recover dialog's options across a restart,
// and the close question while a recovery runs.
#include "salvage/recover/dialogs/uBroken.h"
#include "salvage/recover/dialogs/uRecover.h"
#include "salvage/ui/Options.h"
#include "salvage/ui/uListModel.h"
#include "salvage/ui/uMain.h"
#include "salvage/ui/uTreeModel.h"
#include "tests/support/Md5.h"
#include "tests/support/TestData.h"
#include "tests/ui/GuiSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <filesystem>
#include <fstream>

using namespace salvage;
using namespace salvage::ui;

using guitest::FindNode;

namespace {

void ClickNode(QTreeView& tree, const QModelIndex& index)
{
    tree.scrollTo(index);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualRect(index).center());
}

int ListRow(const TFileListModel& list, const QString& name)
{
    for (int row = 0; row < list.RowCount(); ++row)
        if (QString::fromStdString(list.RowName(row)) == name)
            return row;
    return -1;
}

std::string Md5Of(const std::string& path)
{
    return testdata::Md5Hex(testdata::ReadFileBytes(path));
}

// Clicks a check box on its box.
void Tick(QCheckBox* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
}

} // namespace

// Stands in for the user's file manager.
class TFolderCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class MainWindowRecoveryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<guitest::TEnvironment> env_;
    std::unique_ptr<guitest::TMessageScript> messages_;
    std::string target_;

    std::unique_ptr<TFrmMain> MakeWindow()
    {
        auto window = std::make_unique<TFrmMain>(env_->Seams());
        if (window->ShouldRun())
            guitest::ShowAndActivate(*window);
        return window;
    }

    static bool Analyse(TFrmMain& window, const std::string& image)
    {
        if (!window.AddVolume(QString::fromStdString(image)))
            return false;
        QSignalSpy done(&window, &TFrmMain::searchDone);
        QTest::keyClick(&window, Qt::Key_F5);
        return done.wait(20000) || done.count() > 0;
    }

    // Ctrl+R; in the recover dialog `fill` plays the user, then OK. Returns
    // once the job has ended and its report was answered.
    static bool Recover(TFrmMain& window, const std::function<void(TFrmRecover&)>& fill)
    {
        QSignalSpy done(&window, &TFrmMain::recoveryDone);
        TFrmRecover& dialog = *window.frmRecover;
        auto connection = QObject::connect(&dialog, &TFrmRecover::shown, &dialog, [&dialog, fill] {
            QTimer::singleShot(0, &dialog, [&dialog, fill] {
                fill(dialog);
                if (QTest::currentTestFailed()) {
                    dialog.reject();
                    return;
                }
                QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
            });
        });
        QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
        QObject::disconnect(connection);
        return done.count() > 0 || done.wait(20000);
    }

    static void SetPath(TFrmRecover& dialog, const std::string& path)
    {
        dialog.edtPath->selectAll();
        QTest::keyClick(dialog.edtPath, Qt::Key_Delete);
        QTest::keyClicks(dialog.edtPath, QString::fromStdString(path));
    }

private slots:
    void init()
    {
        env_ = std::make_unique<guitest::TEnvironment>();
        messages_ = std::make_unique<guitest::TMessageScript>();
        target_ = testdata::MakeTempDir("window-recovery");
    }
    void cleanup()
    {
        std::filesystem::remove_all(target_);
        messages_.reset();
        env_.reset();
    }

    void aFolderRecoveredWithItsStructureMatchesTheAnswerKey()
    {
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, testdata::ReferenceNtfsImage()));
        ClickNode(*window->TrVwNoFilter, FindNode(*window->NoFilterModel, "dir1"));
        QVERIFY(window->actRecover->isEnabled());
        QVERIFY(Recover(*window, [&](TFrmRecover& d) {
            SetPath(d, target_);
            if (!d.chStructure->isChecked())
                Tick(d.chStructure);
        }));
        QCOMPARE(window->Activity(), TActivity::Idle);
        QVERIFY(!window->actStop->isEnabled());
        QVERIFY(window->actAnalyze->isEnabled());
        QVERIFY(window->actRecover->isEnabled());
        QCOMPARE(window->StatusText(), QString());

        QCOMPARE(Md5Of(target_ + "/dir1/mult2.dat"), std::string("59cf0e9cd107bc1e75afb7374f6e05bb"));
        QCOMPARE(Md5Of(target_ + "/dir1/dir2/frag3.dat"), std::string("21121699487f3fbbdb9a4b3391b6d3e0"));
        // The report: two whole files, nothing lost.
        QCOMPARE(messages_->Shown.size(), std::size_t(1));
        const TMessageRequest& report = messages_->Shown[0];
        QCOMPARE(report.Owner, window.get());
        QCOMPARE(report.Icon, QMessageBox::Information);
        QCOMPARE(report.Buttons, QMessageBox::Open | QMessageBox::Close);
        QVERIFY(report.Text.startsWith("The recovery has finished.\rFolder: " + QString::fromStdString(target_)));
        QVERIFY2(report.Text.contains("2 files were written (3.65 kb)."), qPrintable(report.Text));
        QVERIFY(!report.Text.contains("new name"));
        QVERIFY(!report.Text.contains("left out"));
        QVERIFY(!report.Text.contains("could not"));
    }

    void filesSelectedInTheListLandBelowTheirFoldersPath()
    {
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, testdata::ReferenceNtfsImage()));
        ClickNode(*window->TrVwNoFilter, FindNode(*window->NoFilterModel, "dir2"));
        const int row = ListRow(*window->ListModel, "frag3.dat");
        QVERIFY(row >= 0);
        QTreeView& list = *window->LstVwList;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(window->ListModel->index(row, 0)).center());
        QVERIFY(list.selectionModel()->isRowSelected(row, {}));
        QVERIFY(Recover(*window, [&](TFrmRecover& d) {
            SetPath(d, target_ + "/out");
            if (!d.chStructure->isChecked())
                Tick(d.chStructure);
        }));
        // The folder path and the folder's own name, then the file.
        QCOMPARE(Md5Of(target_ + "/out/dir1/dir2/frag3.dat"), std::string("21121699487f3fbbdb9a4b3391b6d3e0"));
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(target_))
            files += entry.is_regular_file() ? 1 : 0;
        QCOMPARE(files, std::size_t(1));
        // The folder did not exist: the dialog asked before it made it.
        QCOMPARE(messages_->Texts().front(),
                 QString("The specified folder does not exist. Do you want to create it?"));
        QVERIFY(messages_->Texts().back().contains("1 file was written (1.98 kb)."));
    }

    void aStopWhileTheBrokenNameQuestionIsOpenEndsTheJob()
    {
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, testdata::ReferenceFatImage()));
        QCOMPARE(window->CurrentTree()->currentIndex().data().toString(), QString("."));
        TFrmBroken& broken = *window->frmBroken;
        bool asked = false;
        connect(&broken, &TFrmBroken::shown, this, [&] {
            QTimer::singleShot(0, this, [&] {
                asked = true;
                // (A failed check leaves the question to the stop below.)
                auto stop = qScopeGuard([&] { window->actStop->trigger(); });
                // The worker waits for this answer; the window shows what it does.
                const QString name = broken.edtOldName->text();
                QVERIFY(name.startsWith('?'));
                QCOMPARE(window->Activity(), TActivity::Recovering);
                QVERIFY(window->actStop->isEnabled());
                QVERIFY(!window->actAnalyze->isEnabled());
                QVERIFY(!window->actRecover->isEnabled());
                QCOMPARE(window->StatusText(), "Recover \"" + name + "\"");
                QTRY_COMPARE(window->StatusPanel0->text(), "Recover \"" + name + "\"");
                stop.dismiss();
                window->actStop->trigger();
                QVERIFY(!broken.isVisible());
            });
        });
        QVERIFY(Recover(*window, [&](TFrmRecover& d) { SetPath(d, target_); }));
        QVERIFY(asked);
        QCOMPARE(window->Activity(), TActivity::Idle);
        QTRY_COMPARE(window->StatusPanel0->text(), QString());
        QVERIFY(std::filesystem::is_empty(target_));
        QCOMPARE(messages_->Shown.size(), std::size_t(1));
        QVERIFY(messages_->Shown[0].Text.startsWith("The recovery was stopped before its end."));
        QVERIFY(messages_->Shown[0].Text.contains("No file was written."));
        QVERIFY(messages_->Shown[0].Text.contains("1 file or folder was left out"));
    }

    void theReportCountsRenamedFilesAndOpensTheFolder()
    {
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, testdata::ReferenceFatImage()));
        // Something of the same name waits in the target.
        std::ofstream(target_ + "/XING.DAT") << "mine";
        TFrmBroken& broken = *window->frmBroken;
        int questions = 0;
        connect(&broken, &TFrmBroken::shown, this, [&] {
            ++questions;
            QTimer::singleShot(0, this, [&] {
                Tick(broken.chkChangeAll);
                QTest::keyClick(broken.edtSymbol, 'X');
                QTest::mouseClick(broken.btnRename, Qt::LeftButton);
            });
        });
        TFolderCatcher fileManager;
        QDesktopServices::setUrlHandler("file", &fileManager, "open");
        messages_->Answer(QMessageBox::Open);
        QVERIFY(Recover(*window, [&](TFrmRecover& d) { SetPath(d, target_); }));
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(questions, 1);
        std::ifstream mine(target_ + "/XING.DAT");
        std::string kept;
        std::getline(mine, kept);
        QCOMPARE(kept, std::string("mine"));
        QCOMPARE(Md5Of(target_ + "/XING (2).DAT"), std::string("59b20779f69ff9f0ac5fcd2c38835a79"));
        const QString report = messages_->Shown.back().Text;
        QVERIFY2(report.contains("1 of them got a new name (\"NAME (2).EXT\"): its name was taken."), qPrintable(report));
        QCOMPARE(fileManager.urls, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(target_ + "/"))});
    }

    void theRecoverOptionsOutliveTheWindow()
    {
        const std::string chosen = target_ + "/kept";
        {
            auto window = MakeWindow();
            QVERIFY(Analyse(*window, testdata::ReferenceNtfsImage()));
            ClickNode(*window->TrVwNoFilter, FindNode(*window->NoFilterModel, "dir2"));
            messages_->Answer(QMessageBox::Ok);  // create the folder
            QVERIFY(Recover(*window, [&](TFrmRecover& d) {
                SetPath(d, chosen);
                Tick(d.chStructure);
                Tick(d.chAllFiles);
            }));
            QVERIFY(window->close());
        }
        QCOMPARE(env_->RegistryValue(OptionsKeyPath(), "PathRecover"), "sz:" + chosen + "/");
        QCOMPARE(env_->RegistryValue(OptionsKeyPath(), "CheckRestoreStructure"), std::string("dword:1"));
        QCOMPARE(env_->RegistryValue(OptionsKeyPath(), "CheckRecoverAll"), std::string("dword:0"));
        auto again = MakeWindow();
        QCOMPARE(again->frmRecover->edtPath->text(), QString::fromStdString(chosen + "/"));
        QVERIFY(again->frmRecover->chStructure->isChecked());
        QVERIFY(!again->frmRecover->chAllFiles->isChecked());
    }

    void closingWhileTheQuestionWaitsAsksAndStopsWithoutAReport()
    {
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, testdata::ReferenceFatImage()));
        TFrmBroken& broken = *window->frmBroken;
        int shown = 0;
        bool closed = false;
        connect(&broken, &TFrmBroken::shown, this, [&] {
            if (++shown > 1)
                return;
            QTimer::singleShot(0, this, [&] {
                // No: the job goes on, the question stays.
                messages_->Answer(QMessageBox::No);
                QVERIFY(!window->close());
                QCOMPARE(window->Activity(), TActivity::Recovering);
                QVERIFY(broken.isVisible());
                // Yes: stopped (the question closed as a skip), then closed.
                messages_->Answer(QMessageBox::Yes);
                closed = window->close();
            });
        });
        QSignalSpy done(window.get(), &TFrmMain::recoveryDone);
        QTimer::singleShot(0, window.get(), [&] {
            TFrmRecover& d = *window->frmRecover;
            QTimer::singleShot(0, &d, [&] {
                SetPath(d, target_);
                QTest::mouseClick(d.btnOK, Qt::LeftButton);
            });
        });
        window->actRecover->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(done.count() == 1, 20000);
        QVERIFY(closed);
        QCOMPARE(shown, 1);
        QCOMPARE(window->Activity(), TActivity::Idle);
        QCOMPARE(messages_->Shown.size(), std::size_t(2));
        QVERIFY(messages_->Shown[0].Text.startsWith("Razuzuda Rezer is currently analyzing your disks."));
    }
};

QTEST_MAIN(MainWindowRecoveryTest)
#include "MainWindowRecoveryTest.moc"
