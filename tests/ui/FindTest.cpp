// Find file and Find next file driven as a user would: Ctrl+F, a pattern
// typed into the dialog, Enter; F3 for the next match. On both reference
// images: parts of names and masks, deleted only on and off, the list's
// sort order, the wrap-around to the top of the tree, and the message when
// nothing matches.
#include "salvage/ui/Strings.h"
#include "salvage/ui/uDriveBox.h"
#include "salvage/ui/uFind.h"
#include "salvage/ui/uListModel.h"
#include "salvage/ui/uMain.h"
#include "salvage/ui/uTreeModel.h"
#include "tests/support/TestData.h"
#include "tests/ui/GuiSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

using namespace salvage;
using namespace salvage::ui;

using guitest::Fat;
using guitest::Ntfs;
using guitest::ClickHeader;

class FindTest : public QObject {
    Q_OBJECT

    std::unique_ptr<guitest::TEnvironment> env_;
    std::unique_ptr<guitest::TMessageScript> messages_;

    std::unique_ptr<TFrmMain> Analysed(const QString& image, TMainWindowSeams seams)
    {
        auto window = std::make_unique<TFrmMain>(std::move(seams));
        guitest::ShowAndActivate(*window);
        if (!window->AddVolume(image))
            return nullptr;
        QSignalSpy done(window.get(), &TFrmMain::searchDone);
        QTest::keyClick(window.get(), Qt::Key_F5);
        if (!done.wait(20000) && done.count() == 0)
            return nullptr;
        return window;
    }
    std::unique_ptr<TFrmMain> Analysed(const QString& image) { return Analysed(image, env_->Seams()); }

    // Ctrl+F, the pattern typed over the last one, the box set, then
    // `close` (Enter: Find Next; Escape: Cancel). False when no dialog showed.
    static bool Find(TFrmMain& window, const QString& pattern, bool deletedOnly, Qt::Key close = Qt::Key_Return)
    {
        bool shown = false;
        // The timer goes with this call: a dialog that does not open
        // leaves nothing behind to fire later.
        QTimer answer;
        answer.setSingleShot(true);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            TfrmFind& dialog = *window.frmFind;
            shown = dialog.isVisible();
            // The last text is selected when the dialog opens: typing replaces it.
            if (pattern.isEmpty())
                QTest::keyClick(dialog.edtName, Qt::Key_Delete);
            QTest::keyClicks(dialog.edtName, pattern);
            if (dialog.chkDeleteonly->isChecked() != deletedOnly)
                QTest::mouseClick(dialog.chkDeleteonly, Qt::LeftButton);
            QTest::keyClick(dialog.edtName, close);
        });
        Activate(window);
        answer.start(0);
        QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
        return shown;
    }

    // After a dialog the window's shortcuts work once it is the active
    // window again.
    static void Activate(TFrmMain& window)
    {
        QCoreApplication::processEvents();
        window.activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), &window, 2000);
    }

    static void Key(TFrmMain& window, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        Activate(window);
        QTest::keyClick(&window, key, modifiers);
    }

    static QString Folder(const TFrmMain& window)
    {
        return window.CurrentTree()->currentIndex().data().toString();
    }
    // The selected list row's name; empty unless exactly one row is selected
    // and it is the current one.
    static QString Row(const TFrmMain& window)
    {
        const QModelIndexList rows = window.LstVwList->selectionModel()->selectedRows();
        const QModelIndex current = window.LstVwList->currentIndex();
        if (rows.size() != 1 || rows.front().row() != current.row())
            return {};
        return QString::fromStdString(window.ListModel->RowName(current.row()));
    }

private slots:
    void init()
    {
        env_ = std::make_unique<guitest::TEnvironment>();
        messages_ = std::make_unique<guitest::TMessageScript>();
    }
    void cleanup()
    {
        messages_.reset();
        env_.reset();
    }

    void theDialogAsDesigned()
    {
        auto window = Analysed(Fat());
        QVERIFY(window);
        TfrmFind& dialog = *window->frmFind;
        QCOMPARE(dialog.windowTitle(), QString("Find"));
        QCOMPARE(dialog.lblFindWhat->text(), QString("Find what:"));
        QCOMPARE(dialog.chkDeleteonly->text(), QString("Deleted only"));
        QVERIFY(dialog.chkDeleteonly->isChecked());
        QCOMPARE(dialog.btnFind->text(), QString("Find Next"));
        QVERIFY(dialog.btnFind->isDefault());
        QCOMPARE(dialog.btnCancel->text(), QString("Cancel"));
        QVERIFY(dialog.edtName->text().isEmpty());
        // A fixed border, at least the design's client area.
        QVERIFY(dialog.width() >= 347 && dialog.height() >= 81);
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QCOMPARE(window->actFindFile->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
        QCOMPARE(window->actFindnextfile->shortcut(), QKeySequence(Qt::Key_F3));

        // Escape cancels: nothing is searched, Find next stays off.
        QVERIFY(Find(*window, "rag", true, Qt::Key_Escape));
        QCOMPARE(Folder(*window), QString("."));
        QVERIFY(window->LstVwList->selectionModel()->selectedRows().isEmpty());
        QVERIFY(!window->actFindnextfile->isEnabled());
        // An empty pattern does nothing either.
        QVERIFY(Find(*window, "", true));
        QVERIFY(window->LstVwList->selectionModel()->selectedRows().isEmpty());
        QVERIFY(!window->actFindnextfile->isEnabled());
        QVERIFY(messages_->Shown.empty());
        Key(*window, Qt::Key_F3);
        QVERIFY(window->LstVwList->selectionModel()->selectedRows().isEmpty());
    }

    void findsAPartOfANameAndGoesOnWithFindNext()
    {
        auto window = Analysed(Fat());
        QVERIFY(window);
        QCOMPARE(Folder(*window), QString("."));
        // Case ignored; the root's rows after the (unselected) start first.
        QVERIFY(Find(*window, "rag", true));
        QCOMPARE(Folder(*window), QString("."));
        QCOMPARE(Row(*window), QString("?RAG1.DAT"));
        QCOMPARE(window->focusWidget(), window->LstVwList);
        QVERIFY(window->actFindnextfile->isEnabled());
        // The dialog keeps what it was given.
        QCOMPARE(window->frmFind->edtName->text(), QString("rag"));

        Key(*window, Qt::Key_F3);
        QCOMPARE(Row(*window), QString("?RAG2.DAT"));
        // Down the tree: ?IR1 holds none, DIR2 below it FRAG3.DAT.
        Key(*window, Qt::Key_F3);
        QCOMPARE(Folder(*window), QString("DIR2"));
        QCOMPARE(Row(*window), QString("FRAG3.DAT"));
        // Past the end of the tree the search starts again at the top.
        Key(*window, Qt::Key_F3);
        QCOMPARE(Folder(*window), QString("."));
        QCOMPARE(Row(*window), QString("?RAG1.DAT"));
        QVERIFY(messages_->Shown.empty());
    }

    void aMaskMustMatchTheWholeName()
    {
        auto window = Analysed(Fat());
        QVERIFY(window);
        // The deleted names lost their first letter: "frag*" misses ?RAG1.DAT
        // and ?RAG2.DAT, and finds the folder entry that kept it.
        QVERIFY(Find(*window, "frag*", true));
        QCOMPARE(Folder(*window), QString("DIR2"));
        QCOMPARE(Row(*window), QString("FRAG3.DAT"));
        // "?" stands for the lost letter, a set for the digit.
        QVERIFY(Find(*window, "?rag[2-9].dat", true));
        QCOMPARE(Folder(*window), QString("."));
        QCOMPARE(Row(*window), QString("?RAG2.DAT"));
        // From ?RAG2.DAT on: "?" matches the F that FRAG3.DAT kept, and
        // past the end of the tree the walk comes back to ?RAG1.DAT.
        QVERIFY(Find(*window, "?rag[!2].*", true));
        QCOMPARE(Folder(*window), QString("DIR2"));
        QCOMPARE(Row(*window), QString("FRAG3.DAT"));
        Key(*window, Qt::Key_F3);
        QCOMPARE(Folder(*window), QString("."));
        QCOMPARE(Row(*window), QString("?RAG1.DAT"));
        // "*.dat" would also match a part of a name; "*.da" matches none.
        QVERIFY(Find(*window, "*.da", true));
        QCOMPARE(messages_->Texts(), QStringList{"Cannot find the file \"*.da\"."});
        QCOMPARE(Row(*window), QString("?RAG1.DAT"));
    }

    void findsFoldersByName()
    {
        auto window = Analysed(Fat());
        QVERIFY(window);
        QVERIFY(Find(*window, "dir2", true));
        QCOMPARE(Folder(*window), QString("DIR2"));
        QCOMPARE(window->focusWidget(), window->CurrentTree());
        // The folder where the search starts is tested only at the end:
        // from DIR2 the next "dir2" is DIR2 itself, after the whole walk.
        Key(*window, Qt::Key_F3);
        QCOMPARE(Folder(*window), QString("DIR2"));
        QVERIFY(messages_->Shown.empty());
    }

    void deletedOnlySkipsLiveFilesAndFolders()
    {
        auto window = Analysed(Ntfs());
        QVERIFY(window);
        // A live file in a live folder.
        QVERIFY(Find(*window, "tracking", true));
        QCOMPARE(messages_->Texts(), QStringList{"Cannot find the file \"tracking\"."});
        QCOMPARE(Folder(*window), QString("."));
        QVERIFY(Find(*window, "tracking", false));
        QCOMPARE(Folder(*window), QString("System Volume Information"));
        QCOMPARE(Row(*window), QString("tracking.log"));

        // A live folder, and live files of the root.
        QVERIFY(Find(*window, "$ext", true));
        QCOMPARE(messages_->Shown.size(), 2u);
        QVERIFY(Find(*window, "$ext", false));
        QCOMPARE(Folder(*window), QString("$Extend"));
        QCOMPARE(window->CurrentTree()->currentIndex().parent().data().toString(), QString("."));
        window->CurrentTree()->setCurrentIndex(window->CurrentTreeModel()->index(0, 0));
        QVERIFY(Find(*window, "$mft", false));
        QCOMPARE(Folder(*window), QString("."));
        QCOMPARE(Row(*window), QString("$MFT"));
        Key(*window, Qt::Key_F3);
        QCOMPARE(Row(*window), QString("$MFTMirr"));

        // Deleted only: the deleted folder under the live $Extend, and the
        // deleted stream beside its file.
        QVERIFY(Find(*window, "dir", true));
        QCOMPARE(Folder(*window), QString("dir1"));
        window->CurrentTree()->setCurrentIndex(window->CurrentTreeModel()->index(0, 0));
        QVERIFY(Find(*window, "*:ads", true));
        QCOMPARE(Row(*window), QString("mult1.dat:ADS"));
        QCOMPARE(messages_->Shown.size(), 2u);
    }

    void findNextFollowsTheListsSortOrder()
    {
        auto window = Analysed(Ntfs());
        QVERIFY(window);
        QTreeView& list = *window->LstVwList;
        // Name descending: frag2.dat comes before frag1.dat.
        ClickHeader(list, TFileListModel::ColName);
        QCOMPARE(window->ListModel->SortMode(), 0);
        QVERIFY(Find(*window, "frag", true));
        QCOMPARE(Row(*window), QString("frag2.dat"));
        Key(*window, Qt::Key_F3);
        QCOMPARE(Row(*window), QString("frag1.dat"));
        // Then down the tree to dir1/dir2.
        Key(*window, Qt::Key_F3);
        QCOMPARE(Folder(*window), QString("dir2"));
        QCOMPARE(Row(*window), QString("frag3.dat"));

        // Size ascending in the root: frag1.dat (1584) before frag2.dat (3873).
        window->CurrentTree()->setCurrentIndex(window->CurrentTreeModel()->index(0, 0));
        ClickHeader(list, TFileListModel::ColSize);
        QCOMPARE(window->ListModel->SortMode(), 3);
        Key(*window, Qt::Key_F3);
        QCOMPARE(Row(*window), QString("frag1.dat"));
        Key(*window, Qt::Key_F3);
        QCOMPARE(Row(*window), QString("frag2.dat"));

        // The filtered tree is walked when it is shown.
        QTest::mouseClick(window->TlBtnFilter, Qt::LeftButton);
        QCOMPARE(window->CurrentTree(), window->TrVwFilter);
        QVERIFY(Find(*window, "sing", true));
        QCOMPARE(Row(*window), QString("sing1.dat"));
        Key(*window, Qt::Key_F3);
        QCOMPARE(Folder(*window), QString("$$folder_37"));
        QCOMPARE(Row(*window), QString("sing2.dat"));
        QVERIFY(messages_->Shown.empty());
    }

    void nothingFoundSaysSo()
    {
        auto window = Analysed(Fat());
        QVERIFY(window);
        window->LstVwList->setCurrentIndex(window->ListModel->index(3, 0));
        const QString row = Row(*window);
        QVERIFY(Find(*window, "abc", true));
        QCOMPARE(messages_->Shown.size(), 1u);
        const TMessageRequest& box = messages_->Shown[0];
        QCOMPARE(box.Text, QString("Cannot find the file \"abc\"."));
        QCOMPARE(box.Title, QString("Kestrel Razuzuda Rezer"));
        QCOMPARE(box.Icon, QMessageBox::NoIcon);
        QCOMPARE(box.Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.Owner, window.get());
        // The selection stays where it was.
        QCOMPARE(Folder(*window), QString("."));
        QCOMPARE(Row(*window), row);
        // Find next repeats it.
        Key(*window, Qt::Key_F3);
        QCOMPARE(messages_->Shown.size(), 2u);
    }

    void withoutASelectedFolderTheSearchStartsAtTheFirst()
    {
        auto window = Analysed(Fat());
        QVERIFY(window);
        window->CurrentTree()->setCurrentIndex({});
        QVERIFY(!window->CurrentTree()->currentIndex().isValid());
        // A folder name is found even though no file matched on the way.
        QVERIFY(Find(*window, "DIR2", true));
        QCOMPARE(Folder(*window), QString("DIR2"));
        window->CurrentTree()->setCurrentIndex({});
        QVERIFY(Find(*window, "?ing.dat", true));
        QCOMPARE(Folder(*window), QString("."));
        QCOMPARE(Row(*window), QString("?ING.DAT"));
        QVERIFY(messages_->Shown.empty());
    }

    void findDuringAnAnalysisLetsItGoOn()
    {
        // An analysis held after its first MFT chunk: Find walks what has
        // been found so far, then the analysis runs to its end.
        const QString image = QString::fromStdString(testdata::Path("ntfs/ntfs-large.img"));
        TMainWindowSeams seams = env_->Seams();
        TFrmMain* self = nullptr;
        std::shared_ptr<guitest::TGatedVolume> gate;
        bool release = false;
        guitest::GateTheAnalysisVolume(seams, self, gate, [&] { return release; });
        auto window = std::make_unique<TFrmMain>(std::move(seams));
        self = window.get();
        guitest::ShowAndActivate(*window);
        QVERIFY(window->AddVolume(image));
        QSignalSpy done(window.get(), &TFrmMain::searchDone);
        QTest::keyClick(window.get(), Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(gate && gate->Held() && window->Results().Tree().Count() > 0, 20000);
        QCOMPARE(window->Activity(), TActivity::Analyzing);
        QVERIFY(!window->actPreview->isEnabled());

        // The message comes while the search is held; the gate opens meanwhile.
        messages_->WhileShown = [&](const TMessageRequest&) { release = true; };
        QVERIFY(Find(*window, "no such file", false));
        QCOMPARE(messages_->Texts(), QStringList{"Cannot find the file \"no such file\"."});
        QVERIFY(done.wait(20000) || done.count() > 0);
        QCOMPARE(window->Activity(), TActivity::Idle);
        std::size_t files = 0;
        const TResultsTree& tree = window->Results().Tree();
        for (const TTreeNode* n = tree.First(); n; n = tree.NextDepthFirst(*n))
            files += n->Data().Files.size();
        QVERIFY(files >= 4000);
    }
};

QTEST_MAIN(FindTest)
#include "FindTest.moc"
