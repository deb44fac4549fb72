// The broken-name dialog driven as a user would (typing, ticking, clicking,
// Escape and Enter), and a recovery whose worker asks it through the main
// thread: the names it writes for each answer, and a stop while it is open.
#include "salvage/recover/RecoveryJob.h"
#include "salvage/recover/ThreadRecover.h"
#include "salvage/recover/dialogs/uBroken.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"
#include "tests/support/TestData.h"
#include "tests/ui/GuiSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <map>

using namespace salvage;
using namespace salvage::ui;

namespace {

constexpr int kRename = 6, kSkip = 7, kSkipAll = 9, kRenameAll = 10;

std::string Image()
{
    return testdata::Path("fat/broken-names.img");
}

std::string Source(const std::string& path)
{
    return testdata::Path("fat/broken-names.src") + path;
}

// Every file below `root`, by path relative to it, with its bytes.
std::map<std::string, std::vector<std::uint8_t>> FilesBelow(const std::string& root)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), root).generic_string()] =
                testdata::ReadFileBytes(entry.path().string());
    return files;
}

} // namespace

class BrokenNameDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<guitest::TMessageScript> messages_;
    std::unique_ptr<TFrmBroken> dialog_;
    std::function<void()> script_;
    std::vector<QString> asked_;

    // Asks about `name`; `script` plays the user once the dialog is up.
    TBrokenNameAnswer Ask(const std::string& name, std::function<void()> script)
    {
        script_ = std::move(script);
        return dialog_->AskBrokenName(name);
    }

    // A recovery of the whole root of the broken-names volume (its files and
    // its folder selected in the list), the questions answered by the dialog.
    struct TRun {
        std::map<std::string, std::vector<std::uint8_t>> files;
        int questions = 0;
    };
    void Recover(TRun& run, std::function<void(TBrokenNameAsker&, TThreadRecover&)> whileRunning = {})
    {
        TLogicalDisk disk;
        disk.DevicePath = Image();
        std::string error;
        const auto analysis = TAnalysis::Open(disk, error);
        TFoundFileModel model;
        TAnalysisOptions options;
        options.EstimateCondition = false;
        if (!analysis || !analysis->Run(model, options, {}, error))
            qFatal("broken-names.img: %s", error.c_str());
        const TTreeNode* root = model.Tree().TopLevel(0);
        TRecoverySelection selection;
        selection.SelectedFolder = root;
        selection.HasListSelection = true;
        for (std::size_t i = 0; i < root->ChildCount(); ++i)
            selection.ListFolders.push_back(root->Child(i));
        for (std::size_t i = 0; i < root->Data().Files.size(); ++i)
            selection.ListFiles.push_back({root, i});
        const std::string target = testdata::MakeTempDir("broken-dialog");
        TRecoveryJob job;
        BuildRecoveryJob(selection, target, true, false, job);
        job.Analysis = analysis;

        TBrokenNameAsker asker(*dialog_);
        asker.StartJob();
        TRecoverySink sink;
        TThreadRecover thread(std::move(job), sink, asker);
        const auto before = asked_.size();
        thread.Start();
        if (whileRunning)
            whileRunning(asker, thread);
        // The main thread serves the questions until the job has ended.
        QTRY_VERIFY_WITH_TIMEOUT(thread.Finished(), 20000);
        run.files = FilesBelow(target);
        run.questions = static_cast<int>(asked_.size() - before);
        std::filesystem::remove_all(target);
    }

private slots:
    void init()
    {
        messages_ = std::make_unique<guitest::TMessageScript>();
        dialog_ = std::make_unique<TFrmBroken>();
        script_ = nullptr;
        asked_.clear();
        connect(dialog_.get(), &TFrmBroken::shown, this, [this] {
            asked_.push_back(dialog_->edtOldName->text());
            // After the dialog's own show handling, inside its event loop.
            if (script_)
                QTimer::singleShot(0, this, [this] {
                    script_();
                    // A failed check inside the script leaves the dialog open.
                    if (QTest::currentTestFailed() && dialog_->isVisible())
                        dialog_->done(kSkip);
                });
        });
    }
    void cleanup()
    {
        dialog_.reset();
        messages_.reset();
    }

    void opensOnTheNameAndRefusesOnlyTheReservedSigns()
    {
        TFrmBroken& d = *dialog_;
        QCOMPARE(d.windowTitle(), QString("Broken File Name"));
        QVERIFY(!(d.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(d.windowFlags() & Qt::WindowSystemMenuHint));
        QCOMPARE(d.lblBroken->text(), QString("Broken file name:"));
        QCOMPARE(d.lblNew->text(), QString("New file name:"));
        QCOMPARE(d.chkChangeAll->text(), QString("Change all unknown symbols to:"));
        QVERIFY(d.btnRename->isDefault());
        const TBrokenNameAnswer answer = Ask("?ILE.TXT", [&] {
            QCOMPARE(d.edtOldName->text(), QString("?ILE.TXT"));
            QCOMPARE(d.edtNewName->text(), QString("?ILE.TXT"));
            QVERIFY(d.edtOldName->isReadOnly());
            QCOMPARE(d.focusWidget(), d.edtNewName);
            QVERIFY(!d.edtSymbol->isEnabled());
            QVERIFY(!d.chkChangeAll->isChecked());
            // Unchanged, the "?" is refused; the dialog stays.
            QTest::mouseClick(d.btnRename, Qt::LeftButton);
            QVERIFY(d.isVisible());
            // Emptied: the name between the quotes is empty.
            d.edtNewName->selectAll();
            QTest::keyClick(d.edtNewName, Qt::Key_Delete);
            QTest::mouseClick(d.btnRename, Qt::LeftButton);
            QVERIFY(d.isVisible());
            // A backslash and a double quote are not among the refused signs.
            QTest::keyClicks(d.edtNewName, "a\\b\"c.txt");
            QTest::mouseClick(d.btnRename, Qt::LeftButton);
        });
        QCOMPARE(messages_->Texts(),
                 (QStringList{"Invalid file name: \"?ILE.TXT\"", "Invalid file name: \"\""}));
        for (const TMessageRequest& shown : messages_->Shown) {
            QCOMPARE(shown.Owner, &d);
            QCOMPARE(shown.Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(shown.Icon, QMessageBox::NoIcon);
        }
        QCOMPARE(answer.ModalResult, kRename);
        QCOMPARE(answer.NewName, std::string("a\\b\"c.txt"));
        QCOMPARE(answer.OldName, std::string("?ILE.TXT"));
    }

    void changeAllSwitchesToOneSymbolForEveryName()
    {
        TFrmBroken& d = *dialog_;
        const TBrokenNameAnswer answer = Ask("?ILE.TXT", [&] {
            QTest::mouseClick(d.chkChangeAll, Qt::LeftButton);
            QVERIFY(d.chkChangeAll->isChecked());
            QVERIFY(!d.edtNewName->isEnabled());
            QCOMPARE(d.edtNewName->text(), QString());
            QCOMPARE(d.btnRename->text(), QString("Rename All"));
            QVERIFY(d.edtSymbol->isEnabled());
            QCOMPARE(d.edtSymbol->displayText(), QString("_"));
            // No symbol yet.
            QTest::mouseClick(d.btnRename, Qt::LeftButton);
            QVERIFY(d.isVisible());
            // Unticked: the old name comes back.
            QTest::mouseClick(d.chkChangeAll, Qt::LeftButton);
            QCOMPARE(d.edtNewName->text(), QString("?ILE.TXT"));
            QVERIFY(d.edtNewName->isEnabled());
            QCOMPARE(d.btnRename->text(), QString("Rename"));
            QVERIFY(!d.edtSymbol->isEnabled());
            QVERIFY(d.edtSymbol->palette().color(QPalette::Base) != d.edtNewName->palette().color(QPalette::Base));

            QTest::mouseClick(d.chkChangeAll, Qt::LeftButton);
            d.edtSymbol->setFocus();
            // Only a letter or digit goes in, and a new one replaces the old.
            QTest::keyClick(d.edtSymbol, '*');
            QCOMPARE(d.Symbol(), QString());
            QTest::keyClick(d.edtSymbol, 'Q');
            QCOMPARE(d.Symbol(), QString("Q"));
            QTest::keyClick(d.edtSymbol, 'X');
            QCOMPARE(d.Symbol(), QString("X"));
            QCOMPARE(d.edtSymbol->cursorPosition(), 0);
            QTest::mouseClick(d.btnRename, Qt::LeftButton);
        });
        QCOMPARE(messages_->Texts(), QStringList{"Invalid replacement character: \"_\"."});
        QCOMPARE(answer.ModalResult, kRenameAll);
        QCOMPARE(answer.Symbol, std::string("X"));

        // The mode and the symbol stay for the job's next question; a new job
        // starts without them.
        QVERIFY(d.chkChangeAll->isChecked());
        d.ResetForJob();
        QVERIFY(!d.chkChangeAll->isChecked());
        QCOMPARE(d.Symbol(), QString());
        QVERIFY(!d.edtSymbol->isEnabled());
        QCOMPARE(d.btnRename->text(), QString("Rename"));
    }

    void escapeSkipsAndEnterRenames()
    {
        TFrmBroken& d = *dialog_;
        QCOMPARE(Ask("?ILE.TXT", [&] { QTest::keyClick(d.edtNewName, Qt::Key_Escape); }).ModalResult, kSkip);
        const TBrokenNameAnswer renamed = Ask("?ILE.TXT", [&] {
            d.edtNewName->selectAll();
            QTest::keyClicks(d.edtNewName, "FILE.TXT");
            QTest::keyClick(d.edtNewName, Qt::Key_Return);
        });
        QCOMPARE(renamed.ModalResult, kRename);
        QCOMPARE(renamed.NewName, std::string("FILE.TXT"));
        const TBrokenNameAnswer all = Ask("?THER.DAT", [&] {
            QTest::mouseClick(d.chkChangeAll, Qt::LeftButton);
            d.edtSymbol->setFocus();
            QTest::keyClick(d.edtSymbol, '7');
            QTest::keyClick(d.edtSymbol, Qt::Key_Enter);
        });
        QCOMPARE(all.ModalResult, kRenameAll);
        QCOMPARE(all.Symbol, std::string("7"));
        d.ResetForJob();
        QCOMPARE(Ask("?ILE.TXT", [&] { QTest::mouseClick(d.btnSkip, Qt::LeftButton); }).ModalResult, kSkip);
        QCOMPARE(Ask("?ILE.TXT", [&] { QTest::mouseClick(d.btnSkipAll, Qt::LeftButton); }).ModalResult, kSkipAll);
        QVERIFY(messages_->Shown.empty());
    }

    void eachAnswerWritesItsNames()
    {
        TFrmBroken& d = *dialog_;
        // Rename ?ILE.TXT, skip ?THER.DAT, "Rename All" with X on ?OTE.TXT:
        // the folder ?OCS then becomes XOCS without a question.
        std::vector<std::function<void()>> answers = {
            [&] {
                d.edtNewName->selectAll();
                QTest::keyClicks(d.edtNewName, "FILE.TXT");
                QTest::mouseClick(d.btnRename, Qt::LeftButton);
            },
            [&] { QTest::mouseClick(d.btnSkip, Qt::LeftButton); },
            [&] {
                QTest::mouseClick(d.chkChangeAll, Qt::LeftButton);
                QTest::keyClick(d.edtSymbol, 'X');
                QTest::mouseClick(d.btnRename, Qt::LeftButton);
            },
        };
        std::size_t next = 0;
        script_ = [&] {
            if (next < answers.size())
                answers[next++]();
        };
        TRun run;
        Recover(run);
        QCOMPARE(asked_, (std::vector<QString>{"?ILE.TXT", "?THER.DAT", "?OTE.TXT"}));
        QCOMPARE(run.questions, 3);
        QStringList names;
        for (const auto& [name, bytes] : run.files)
            names << QString::fromStdString(name);
        QCOMPARE(names, (QStringList{"FILE.TXT", "KEEP.TXT", "XOCS/X.TXT", "XOTE.TXT"}));
        QVERIFY(run.files["FILE.TXT"] == testdata::ReadFileBytes(Source("/FILE.TXT")));
        QVERIFY(run.files["XOTE.TXT"] == testdata::ReadFileBytes(Source("/NOTE.TXT")));
        QVERIFY(run.files["XOCS/X.TXT"] == testdata::ReadFileBytes(Source("/DOCS/X.TXT")));
        QVERIFY(run.files["KEEP.TXT"] == testdata::ReadFileBytes(Source("/KEEP.TXT")));
    }

    void renameAllOnTheFirstNameRenamesEveryLaterOne()
    {
        TFrmBroken& d = *dialog_;
        script_ = [&] {
            QTest::mouseClick(d.chkChangeAll, Qt::LeftButton);
            QTest::keyClick(d.edtSymbol, 'X');
            QTest::mouseClick(d.btnRename, Qt::LeftButton);
        };
        TRun run;
        Recover(run);
        QCOMPARE(run.questions, 1);
        QStringList names;
        for (const auto& [name, bytes] : run.files)
            names << QString::fromStdString(name);
        QCOMPARE(names, (QStringList{"KEEP.TXT", "XILE.TXT", "XOCS/X.TXT", "XOTE.TXT", "XTHER.DAT"}));
        QVERIFY(run.files["XTHER.DAT"] == testdata::ReadFileBytes(Source("/OTHER.DAT")));

        // The next job starts in the single-name mode again and asks.
        script_ = [&] { QTest::mouseClick(d.btnSkipAll, Qt::LeftButton); };
        run = {};
        Recover(run);
        QVERIFY(!d.chkChangeAll->isChecked());
        QCOMPARE(run.questions, 1);
        // "Skip All": every broken file and folder left out, the rest written.
        QCOMPARE(run.files.size(), std::size_t(1));
        QCOMPARE(run.files.begin()->first, std::string("KEEP.TXT"));
    }

    void aStopWhileTheDialogIsOpenClosesItAsASkip()
    {
        TFrmBroken& d = *dialog_;
        TBrokenNameAsker* asker = nullptr;
        TThreadRecover* thread = nullptr;
        bool stopped = false;
        script_ = [&] {
            QVERIFY(d.isVisible());
            // What the window's Stop does while the worker waits for the answer.
            thread->RequestStop();
            asker->Cancel();
            thread->Stop();
            stopped = true;
        };
        TRun run;
        Recover(run, [&](TBrokenNameAsker& a, TThreadRecover& t) {
            asker = &a;
            thread = &t;
        });
        QVERIFY(stopped);
        QTRY_VERIFY(!d.isVisible());
        QCOMPARE(run.questions, 1);
        QVERIFY(run.files.empty());
    }
};

QTEST_MAIN(BrokenNameDialogTest)
#include "BrokenNameDialogTest.moc"
