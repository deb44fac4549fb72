// The main window driven as a user would: the reference images opened and
// analysed, their trees, filtered trees and lists, sorting by the headers,
// the filter switch, another drive hiding the results, a search stopped or
// closed half-way, the settings that reach the registry at exit, and the
// messages for a device that may not be read and a volume without FAT or NTFS.
#include "platform/Registry.h"
#include "salvage/ui/Options.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uDriveBox.h"
#include "salvage/ui/uListModel.h"
#include "salvage/ui/uMain.h"
#include "salvage/ui/uProgressPanel.h"
#include "salvage/ui/uSettings.h"
#include "salvage/ui/uTreeModel.h"
#include "tests/support/TestData.h"
#include "tests/ui/GuiSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fstream>

using namespace salvage;
using namespace salvage::ui;
using guitest::DumpTree;
using guitest::ListColumn;

using guitest::Fat;
using guitest::Ntfs;
using guitest::ClickHeader;
using guitest::FindNode;

namespace {

// Selects a node of a tree by clicking it.
void ClickNode(QTreeView& tree, const QModelIndex& index)
{
    tree.scrollTo(index);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualRect(index).center());
}

QString SelectedText(const QTreeView& tree)
{
    return tree.currentIndex().data().toString();
}

// A whole-disk image: an MBR with the FAT reference image in partition 1,
// the NTFS one in partition 2 and a Linux partition of zeros as 3.
std::string MakeDiskImage(const std::string& folder)
{
    const auto fat = testdata::ReadFileBytes(testdata::ReferenceFatImage());
    const auto ntfs = testdata::ReadFileBytes(testdata::ReferenceNtfsImage());
    const auto sectors = [](const std::vector<std::uint8_t>& v) { return static_cast<std::uint32_t>(v.size() / 512); };
    const std::uint32_t fatStart = 2048;
    const std::uint32_t ntfsStart = fatStart + sectors(fat);
    const std::uint32_t linuxStart = ntfsStart + sectors(ntfs);
    std::vector<std::uint8_t> disk((linuxStart + 256) * 512ull, 0);
    auto entry = [&](int slot, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
        std::uint8_t* e = &disk[446 + 16 * slot];
        e[4] = type;
        std::memcpy(e + 8, &start, 4);
        std::memcpy(e + 12, &count, 4);
    };
    entry(0, 0x0E, fatStart, sectors(fat));
    entry(1, 0x07, ntfsStart, sectors(ntfs));
    entry(2, 0x83, linuxStart, 256);
    disk[510] = 0x55;
    disk[511] = 0xAA;
    std::memcpy(&disk[fatStart * 512ull], fat.data(), fat.size());
    std::memcpy(&disk[ntfsStart * 512ull], ntfs.data(), ntfs.size());
    const std::string path = folder + "/whole disk.img";
    testdata::WriteFileBytes(path, disk);
    return path;
}

} // namespace

// Stands in for the user's browser.
class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<guitest::TEnvironment> env_;
    std::unique_ptr<guitest::TMessageScript> messages_;

    std::unique_ptr<TFrmMain> MakeWindow(TMainWindowSeams seams)
    {
        auto window = std::make_unique<TFrmMain>(std::move(seams));
        if (window->ShouldRun())
            guitest::ShowAndActivate(*window);
        return window;
    }
    std::unique_ptr<TFrmMain> MakeWindow() { return MakeWindow(env_->Seams()); }

    // Adds an image as "salvage IMAGE" does, and analyses it with F5.
    static bool Analyse(TFrmMain& window, const QString& image)
    {
        if (!window.AddVolume(image))
            return false;
        QSignalSpy done(&window, &TFrmMain::searchDone);
        QTest::keyClick(&window, Qt::Key_F5);
        return done.wait(20000) || done.count() > 0;
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

    void startsIdleWithTheDesignLayout()
    {
        auto window = MakeWindow();
        QVERIFY(window->ShouldRun());
        QCOMPARE(window->windowTitle(), QString("Kestrel Razuzuda Rezer"));
        QCOMPARE(window->minimumSize(), QSize(720, 522));
        window->resize(500, 300);
        QVERIFY(window->width() >= 720 && window->height() >= 522);

        // The tool bar in its order, with the buttons' own captions.
        QStringList buttons;
        for (QAction* action : window->TlBrMain->actions()) {
            if (action->isSeparator())
                buttons << "|";
            else if (auto* widget = window->TlBrMain->widgetForAction(action); widget == window->TlBtnFilter)
                buttons << window->TlBtnFilter->text();
            else
                buttons << action->iconText();
        }
        QCOMPARE(buttons, (QStringList{"Wizard", "|", "Analyze disk", "Recover", "Stop", "|", "Find file", "Filter",
                                       "|", "Help", "|"}));
        QVERIFY(window->TlBtnFilter->isCheckable());
        QCOMPARE(window->actFileExit->toolTip(), QString("Exit"));
        QCOMPARE(window->actFileExit->statusTip(), QString("Quits the application"));
        QCOMPARE(window->actAnalyze->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(window->actStop->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));

        // Nothing analysed yet: the blank views stand over the results.
        QCOMPARE(window->Activity(), TActivity::Idle);
        QVERIFY(!window->actStop->isEnabled());
        QVERIFY(!window->actRecover->isEnabled());
        QVERIFY(!window->actFindFile->isEnabled());
        QVERIFY(!window->actAnalyze->isEnabled());  // the fake machine has no drives
        QCOMPARE(window->TreePages->currentWidget(), window->TrVwHide);
        QCOMPARE(window->ListPages->currentWidget(), window->LstVwHide);
        QCOMPARE(window->ListModel->SortMode(), 1);
        QVERIFY(messages_->Shown.empty());
    }

    void analysesTheFatReferenceImage()
    {
        auto window = MakeWindow();
        QVERIFY(window->AddVolume(Fat()));
        QCOMPARE(window->CmbBxDrives->currentText(), QString("6-fat-undel.dd : FAT"));
        QVERIFY(window->actAnalyze->isEnabled());
        QSignalSpy done(window.get(), &TFrmMain::searchDone);
        QTest::keyClick(window.get(), Qt::Key_F5);
        QVERIFY(done.wait(20000));
        QCOMPARE(window->Activity(), TActivity::Idle);
        QVERIFY(messages_->Shown.empty());

        // Folders in case-insensitive order under the root, the deleted ones
        // with image 2, the root with image 4.
        QCOMPARE(DumpTree(*window->NoFilterModel),
                 (QStringList{". [4]", "  ?IR1 [2]", "    DIR2 [2]", "  System Volume Information [2]",
                              "    _restore{A25F48CA-6632-4143-8EF8-3586A84AB5AF} [2]", "      ?P1 [2]"}));
        QVERIFY(window->TrVwNoFilter->isExpanded(window->NoFilterModel->index(0, 0)));
        // The filtered tree has the same folders: all of them hold deleted material.
        QCOMPARE(DumpTree(*window->FilterModel), DumpTree(*window->NoFilterModel));

        // The root is selected and listed: folders first, then files by name.
        QCOMPARE(window->TreePages->currentWidget(), window->TrVwNoFilter);
        QCOMPARE(SelectedText(*window->TrVwNoFilter), QString("."));
        const TFileListModel& list = *window->ListModel;
        // (The volume label is no file: it is not listed.)
        QCOMPARE(ListColumn(list, 0), (QStringList{"?IR1", "System Volume Information", "?ING.DAT", "?RAG1.DAT",
                                                   "?RAG2.DAT", "?ULT1.DAT"}));
        QCOMPARE(ListColumn(list, 1), (QStringList{"", "", "780 bytes", "1.55 kb", "3.78 kb", "3.71 kb"}));
        QCOMPARE(ListColumn(list, 2), (QStringList{"", "", "Good", "Good", "Good", "Good"}));
        QCOMPARE(list.RowImage(0), kImageDeletedFolder);
        QCOMPARE(list.RowImage(2), kImageDeletedFile);
        // A folder that holds deleted material is recoverable.
        QVERIFY(window->actRecover->isEnabled());
        QVERIFY(window->actFindFile->isEnabled());
        QVERIFY(!window->actFindnextfile->isEnabled());

        // Sorting by the headers; folders stay first whatever the column.
        QTreeView& view = *window->LstVwList;
        ClickHeader(view, TFileListModel::ColSize);
        QCOMPARE(list.SortMode(), 3);
        QCOMPARE(ListColumn(list, 0), (QStringList{"?IR1", "System Volume Information", "?ING.DAT", "?RAG1.DAT",
                                                   "?ULT1.DAT", "?RAG2.DAT"}));
        ClickHeader(view, TFileListModel::ColSize);
        QCOMPARE(list.SortMode(), 2);
        QCOMPARE(ListColumn(list, 0).mid(2), (QStringList{"?RAG2.DAT", "?ULT1.DAT", "?RAG1.DAT", "?ING.DAT"}));
        ClickHeader(view, TFileListModel::ColCondition);
        QCOMPARE(list.SortMode(), 5);
        QCOMPARE(ListColumn(list, 2).mid(2), (QStringList{"Good", "Good", "Good", "Good"}));
        ClickHeader(view, TFileListModel::ColName);
        QCOMPARE(list.SortMode(), 1);
        ClickHeader(view, TFileListModel::ColName);
        QCOMPARE(list.SortMode(), 0);
        QCOMPARE(ListColumn(list, 0), (QStringList{"System Volume Information", "?IR1", "?ULT1.DAT", "?RAG2.DAT",
                                                   "?RAG1.DAT", "?ING.DAT"}));
        for (int column : {TFileListModel::ColModified, TFileListModel::ColCreated}) {
            for (int click = 0; click < 2; ++click) {
                ClickHeader(view, column);
                QCOMPARE(list.SortMode() / 2, column);
                // Each file's date is in order by the mode's direction.
                const bool ascending = list.SortMode() % 2 == 1;
                const TTreeNode* root = window->NoFilterModel->NodeOf(window->TrVwNoFilter->currentIndex());
                TDateTime previous = ascending ? -1e9 : 1e9;
                for (int row = 2; row < list.RowCount(); ++row) {
                    const TFileInfo& file = root->Data().Files.at(static_cast<std::size_t>(list.RowSource(row)));
                    const TDateTime date = column == TFileListModel::ColModified ? file.Modified : file.Created;
                    QVERIFY(ascending ? date >= previous - 1e-9 : date <= previous + 1e-9);
                    previous = date;
                }
            }
        }

        // Double click: a file row does nothing, a folder row opens the folder.
        ClickHeader(view, TFileListModel::ColName);
        QCOMPARE(list.SortMode(), 1);
        const QModelIndex fileRow = list.index(3, 0);
        view.setCurrentIndex(fileRow);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(fileRow).center());
        QCOMPARE(SelectedText(*window->TrVwNoFilter), QString("."));
        view.setCurrentIndex(list.index(0, 0));
        QTest::keyClick(&view, Qt::Key_Return);
        QCOMPARE(SelectedText(*window->TrVwNoFilter), QString("?IR1"));
        QCOMPARE(ListColumn(list, 0), (QStringList{"DIR2", "MULT2.DAT"}));
        // In a deleted folder, every file is deleted.
        QCOMPARE(list.RowImage(1), kImageDeletedFile);
    }

    void analysesTheNtfsReferenceImage()
    {
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, Ntfs()));
        QVERIFY(messages_->Shown.empty());
        // The file whose folder's record was reused waits in a placeholder,
        // after the root (top-level nodes keep their order of arrival).
        QCOMPARE(DumpTree(*window->NoFilterModel),
                 (QStringList{". [4]", "  $Extend [0]", "  dir1 [2]", "    dir2 [2]", "  System Volume Information [0]",
                              "$$folder_37 [2]"}));
        QCOMPARE(DumpTree(*window->FilterModel),
                 (QStringList{". [4]", "  dir1 [2]", "    dir2 [2]", "$$folder_37 [2]"}));
        const TFileListModel& list = *window->ListModel;
        QCOMPARE(ListColumn(list, 0).mid(0, 3), (QStringList{"$Extend", "dir1", "System Volume Information"}));
        QVERIFY(ListColumn(list, 0).contains("res1.dat"));

        // The filter on: the root's copy lists only what is deleted.
        QTest::mouseClick(window->TlBtnFilter, Qt::LeftButton);
        QCOMPARE(window->CurrentTree(), window->TrVwFilter);
        QCOMPARE(window->TreePages->currentWidget(), window->TrVwFilter);
        QCOMPARE(SelectedText(*window->TrVwFilter), QString("."));
        // mult1.dat's deleted named stream is a row of its own, beside it.
        QCOMPARE(ListColumn(list, 0), (QStringList{"dir1", "frag1.dat", "frag2.dat", "mult1.dat", "mult1.dat:ADS",
                                                   "res1.dat", "sing1.dat"}));
        QVERIFY(window->actFilter->isChecked());

        // The placeholder: its deleted file, with the has-been-reused story.
        ClickNode(*window->TrVwFilter, FindNode(*window->FilterModel, "$$folder_37"));
        QCOMPARE(ListColumn(list, 0), QStringList{"sing2.dat"});
        QCOMPARE(ListColumn(list, 1), QStringList{"1005 bytes"});
    }

    void theFilterSwitchKeepsTheSelectedFolder()
    {
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, Ntfs()));
        QTreeView& all = *window->TrVwNoFilter;
        ClickNode(all, FindNode(*window->NoFilterModel, "dir2"));
        QCOMPARE(SelectedText(all), QString("dir2"));
        const TTreeNode* original = TResultsTreeModel::NodeOf(all.currentIndex());

        QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(window->CurrentTree(), window->TrVwFilter);
        const TTreeNode* copy = TResultsTreeModel::NodeOf(window->TrVwFilter->currentIndex());
        QVERIFY(copy);
        QCOMPARE(copy->Data().DirRef, original->Data().DirRef);
        QCOMPARE(copy->Text(), std::string("dir2"));
        QCOMPARE(ListColumn(*window->ListModel, 0), QStringList{"frag3.dat"});

        // Expanding a copy expands its original too.
        const QModelIndex dir1 = FindNode(*window->FilterModel, "dir1");
        window->TrVwFilter->collapse(dir1);
        QVERIFY(!all.isExpanded(FindNode(*window->NoFilterModel, "dir1")));
        window->TrVwFilter->expand(dir1);
        QVERIFY(all.isExpanded(FindNode(*window->NoFilterModel, "dir1")));

        // A folder only the full tree has: back in the full tree, it stays.
        QTest::mouseClick(window->TlBtnFilter, Qt::LeftButton);
        QCOMPARE(window->CurrentTree(), window->TrVwNoFilter);
        QCOMPARE(SelectedText(all), QString("dir2"));
        ClickNode(all, FindNode(*window->NoFilterModel, "$Extend"));
        QVERIFY(!window->actRecover->isEnabled());  // nothing deleted in it
        QTest::mouseClick(window->TlBtnFilter, Qt::LeftButton);
        // No twin: the filtered tree's first folder is selected.
        QCOMPARE(SelectedText(*window->TrVwFilter), QString("."));
    }

    void anotherDriveHidesTheResultsUntilTheAnalysedOneIsChosen()
    {
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, Fat()));
        QVERIFY(window->AddVolume(Ntfs()));
        QCOMPARE(window->CmbBxDrives->count(), 2);
        // AddVolume selects the new entry the way the user's choice would.
        QCOMPARE(window->CmbBxDrives->currentIndex(), 1);
        QCOMPARE(window->TreePages->currentWidget(), window->TrVwHide);
        QCOMPARE(window->ListPages->currentWidget(), window->LstVwHide);
        QVERIFY(!window->actFindFile->isEnabled());
        QVERIFY(!window->actFindnextfile->isEnabled());
        QVERIFY(!window->actRecover->isEnabled());
        QVERIFY(!window->TrVwNoFilter->isEnabled());
        QVERIFY(window->actAnalyze->isEnabled());

        // The user picks the analysed image again with the keyboard.
        window->CmbBxDrives->setFocus();
        QTest::keyClick(window->CmbBxDrives, Qt::Key_Up);
        QCOMPARE(window->CmbBxDrives->currentIndex(), 0);
        QCOMPARE(window->TreePages->currentWidget(), window->TrVwNoFilter);
        QCOMPARE(window->ListPages->currentWidget(), window->LstVwList);
        QVERIFY(window->actFindFile->isEnabled());
        QVERIFY(window->actRecover->isEnabled());
        QCOMPARE(DumpTree(*window->NoFilterModel).front(), QString(". [4]"));
        QCOMPARE(window->ListModel->RowCount(), 6);
        // The same image opened again is not listed twice.
        QVERIFY(window->AddVolume(Fat()));
        QCOMPARE(window->CmbBxDrives->count(), 2);
    }

    void stoppingASearchKeepsWhatWasFound()
    {
        const QString image = QString::fromStdString(testdata::Path("ntfs/ntfs-large.img"));
        const auto manifest = testdata::ReadNtfsManifest(testdata::Path("ntfs/ntfs-large.manifest"));
        std::size_t files = 0;
        for (const auto& e : manifest)
            files += e.entry.directory ? 0 : 1;
        QVERIFY(files >= 4000);

        TMainWindowSeams seams = env_->Seams();
        TFrmMain* self = nullptr;
        std::shared_ptr<guitest::TGatedVolume> gate;
        // The analysis's volume: held after its first MFT chunk until Stop.
        guitest::GateTheAnalysisVolume(seams, self, gate, [&] { return self->StopInProgress(); });
        auto window = MakeWindow(std::move(seams));
        self = window.get();
        QVERIFY(window->AddVolume(image));
        QSignalSpy done(window.get(), &TFrmMain::searchDone);
        QTest::keyClick(window.get(), Qt::Key_F5);

        // Analyzing: the first records arrive while the reader is held.
        QVERIFY(gate);
        QTRY_VERIFY_WITH_TIMEOUT(gate->Held() && window->Results().Tree().Count() > 0, 20000);
        QCOMPARE(window->Activity(), TActivity::Analyzing);
        QVERIFY(window->actStop->isEnabled());
        QVERIFY(!window->actAnalyze->isEnabled());
        QVERIFY(!window->CmbBxDrives->isEnabled());
        QVERIFY(!window->TlBtnFilter->isEnabled());
        QVERIFY(!window->actFilter->isEnabled());
        QVERIFY(window->actFindFile->isEnabled());
        QTRY_COMPARE(window->StatusPanel0->text(), QString("Analyzing..."));
        QCOMPARE(done.count(), 0);

        QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(done.count(), 1);
        QCOMPARE(window->Activity(), TActivity::Idle);
        QVERIFY(!window->actStop->isEnabled());
        QVERIFY(window->actAnalyze->isEnabled());
        QVERIFY(window->CmbBxDrives->isEnabled());
        QVERIFY(window->TlBtnFilter->isEnabled());
        QVERIFY(window->actFilter->isEnabled());
        QCOMPARE(window->StatusPanel0->text(), QString());
        QCOMPARE(window->ProgressPercent(), 0);

        // What was found stays: part of the files, and its filtered tree.
        std::size_t found = 0;
        const TResultsTree& tree = window->Results().Tree();
        for (const TTreeNode* n = tree.First(); n; n = tree.NextDepthFirst(*n))
            found += n->Data().Files.size();
        QVERIFY2(found > 0 && found < files, qPrintable(QString("%1 of %2").arg(found).arg(files)));
        QVERIFY(window->Results().FilterTree().Count() > 0);
        QVERIFY(window->TrVwNoFilter->currentIndex().isValid());
        QVERIFY(messages_->Shown.empty());
    }

    void closingDuringASearchAsksFirst()
    {
        const QString image = QString::fromStdString(testdata::Path("ntfs/ntfs-large.img"));
        TMainWindowSeams seams = env_->Seams();
        TFrmMain* self = nullptr;
        std::shared_ptr<guitest::TGatedVolume> gate;
        bool releaseGate = false;
        guitest::GateTheAnalysisVolume(seams, self, gate, [&] { return self->StopInProgress() || releaseGate; });
        auto window = MakeWindow(std::move(seams));
        self = window.get();
        QVERIFY(window->AddVolume(image));
        QTest::keyClick(window.get(), Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(gate && gate->Held(), 20000);

        // No: the search goes on.
        messages_->Answer(QMessageBox::No);
        QVERIFY(!window->close());
        QCOMPARE(messages_->Shown.size(), 1u);
        QCOMPARE(messages_->Shown[0].Text, QString("Razuzuda Rezer is currently analyzing your disks.\r"
                                                   "Would you like to stop the process and close the program?"));
        QCOMPARE(messages_->Shown[0].Title, QString("Razuzuda Rezer"));
        QCOMPARE(messages_->Shown[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(messages_->Shown[0].Icon, QMessageBox::Question);
        QCOMPARE(window->Activity(), TActivity::Analyzing);

        // Yes: stopped, then closed.
        messages_->Answer(QMessageBox::Yes);
        QVERIFY(window->close());
        QCOMPARE(window->Activity(), TActivity::Idle);
        QVERIFY(!window->isVisible());
        releaseGate = true;
    }

    void aSecondStartBringsTheFirstToTheFront()
    {
        auto first = MakeWindow();
        QSignalSpy front(first.get(), &TFrmMain::broughtToFront);
        TMainWindowSeams seams = env_->Seams();
        seams.Volumes = {Fat()};
        TFrmMain second(seams);
        QVERIFY(!second.ShouldRun());
        QCOMPARE(second.ExitCode(), 0);
        QVERIFY(front.wait(5000));
        // The image the second start was given is opened by the first.
        QCOMPARE(first->CmbBxDrives->currentText(), QString("6-fat-undel.dd : FAT"));
        QVERIFY(messages_->Shown.empty());
    }

    void aSocketLeftByACrashDoesNotBlockTheStart()
    {
        // A plain file where the socket would be, as a crash leaves it.
        const std::string socket = env_->Folder() + "/run/" + text::kInstanceName;
        std::ofstream(socket) << "stale";
        auto window = MakeWindow();
        QVERIFY(window->ShouldRun());
        TMainWindowSeams seams = env_->Seams();
        TFrmMain second(seams);
        // The first one listens again.
        QVERIFY(!second.ShouldRun());
    }

    void theSettingsReachTheRegistryAtExit()
    {
        const std::string settings = OptionsKeyPath();
        const std::string dsa = std::string("Software\\") + text::kApplicationTitle + "\\DSA";
        {
            auto window = MakeWindow();
            QVERIFY(window->actShowToolBar->isChecked());
            window->actShowToolBar->trigger();  // View, ToolBar
            QVERIFY(!window->TlBrMain->isVisible());
            QVERIFY(window->statusBar()->isVisible());

            // Edit, Settings...: untick both boxes, OK.
            QTimer::singleShot(0, [&window] {
                TfrmSettings& dialog = *window->frmSettings;
                QVERIFY(dialog.isVisible());
                QCOMPARE(dialog.windowTitle(), QString("Settings"));
                QVERIFY(dialog.chkDeterminate->isChecked());
                QVERIFY(dialog.ckShowWizardStartUp->isChecked());
                QVERIFY(!dialog.chkMountPoint->isVisible());
                QTest::mouseClick(dialog.chkDeterminate, Qt::LeftButton);
                QTest::mouseClick(dialog.ckShowWizardStartUp, Qt::LeftButton);
                QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
            });
            window->actSettings->trigger();
            QVERIFY(window->HideStartupWizard);

            // Cancel puts the boxes back as they were when it opened.
            QTimer::singleShot(0, [&window] {
                TfrmSettings& dialog = *window->frmSettings;
                QVERIFY(!dialog.chkDeterminate->isChecked());
                QVERIFY(!dialog.ckShowWizardStartUp->isChecked());
                QTest::mouseClick(dialog.chkDeterminate, Qt::LeftButton);
                QTest::mouseClick(dialog.ckShowWizardStartUp, Qt::LeftButton);
                QTest::keyClick(&dialog, Qt::Key_Escape);
            });
            window->actSettings->trigger();
            QVERIFY(!window->frmSettings->chkDeterminate->isChecked());
            QVERIFY(window->HideStartupWizard);
            QVERIFY(window->close());
            // Nothing is written before the window goes.
            QCOMPARE(env_->RegistryValue(settings, "ShowToolBar"), std::string());
        }
        QCOMPARE(env_->RegistryValue(settings, "ShowToolBar"), std::string("dword:0"));
        QCOMPARE(env_->RegistryValue(settings, "ShowStatusBar"), std::string("dword:1"));
        QCOMPARE(env_->RegistryValue(settings, "CheckDeterminate"), std::string("dword:0"));
        QCOMPARE(env_->RegistryValue(settings, "CheckMountPoint"), std::string("dword:1"));
        QCOMPARE(env_->RegistryValue(settings, "FirstLaunch"), std::string("dword:0"));
        QCOMPARE(env_->RegistryValue(dsa, "DSA_State"), std::string("dword:1"));

        // The next start takes them up.
        bool wizardShown = false;
        auto again = std::make_unique<TFrmMain>(env_->Seams());
        again->RunWizard = [&wizardShown](bool) { return wizardShown = true; };
        guitest::ShowAndActivate(*again);
        QVERIFY(!again->TlBrMain->isVisible());
        QVERIFY(!again->actShowToolBar->isChecked());
        QVERIFY(!again->frmSettings->Determinate());
        QVERIFY(again->HideStartupWizard);
        // A stored don't-show-again keeps the wizard closed.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(!wizardShown);
    }

    void theWizardOpensAtTheFirstActivation()
    {
        std::vector<bool> runs;
        auto window = std::make_unique<TFrmMain>(env_->Seams());
        window->RunWizard = [&runs](bool startup) {
            runs.push_back(startup);
            return true;  // "Don't show wizard on startup." ticked
        };
        guitest::ShowAndActivate(*window);
        QTRY_COMPARE(runs.size(), 1u);
        QVERIFY(runs[0]);
        QVERIFY(window->HideStartupWizard);
        // The Wizard button opens it again, not at start-up.
        window->actWizard->trigger();
        QCOMPARE(runs, (std::vector<bool>{true, false}));
        QVERIFY(messages_->Shown.empty());
    }

    void aDeviceThatMayNotBeReadIsExplained()
    {
        // A drive of the (fake) machine whose device the user may not read.
        TMainWindowSeams seams = env_->Seams();
        QStringList restarted;
        bool pkexec = true;
        seams.OpenVolume = [](const TLogicalDisk& disk, platform::OpenError& error) -> platform::VolumePtr {
            if (disk.DevicePath == "/dev/sdz1") {
                error = {EACCES, "Permission denied"};
                return nullptr;
            }
            return OpenLogicalDisk(disk, error);
        };
        seams.AdminRestart.Available = [&pkexec] { return pkexec; };
        seams.AdminRestart.Start = [&restarted](const QStringList& arguments) {
            restarted = arguments;
            return true;
        };
        auto window = MakeWindow(std::move(seams));
        window->CmbBxDrives->AddEntries({{TLogicalDisk{0, "", "", "/dev/sdz1", "/media/stick", 0, 0},
                                          "Local Disk (sdz1) : REMOVABLE", kDriveImageRemovable}});
        window->CmbBxDrives->setCurrentIndex(0);
        window->CmbBxDrivesChange();

        messages_->Answer(QMessageBox::No);
        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(messages_->Shown.size(), 1u);
        const QString text = messages_->Shown[0].Text;
        QVERIFY2(text.startsWith("You are not allowed to read /dev/sdz1."), qPrintable(text));
        QVERIFY(text.contains("administrator rights"));
        QVERIFY(!text.contains("Permission denied"));
        QCOMPARE(messages_->Shown[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(window->Activity(), TActivity::Idle);
        QVERIFY(restarted.isEmpty());
        QVERIFY(window->isVisible());

        // Without pkexec: plain words, one OK button.
        pkexec = false;
        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(messages_->Shown.size(), 2u);
        QCOMPARE(messages_->Shown[1].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(messages_->Shown[1].Text.contains("root"));

        // Yes: started again as the administrator with the device; this one closes.
        pkexec = true;
        messages_->Answer(QMessageBox::Yes);
        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(restarted, QStringList{"/dev/sdz1"});
        QVERIFY(!window->isVisible());
    }

    void aVolumeWithoutFatOrNtfsIsRefusedAndTheResultsStay()
    {
        const std::string blank = env_->Folder() + "/blank.img";
        testdata::WriteFileBytes(blank, std::vector<std::uint8_t>(64 * 1024, 0));
        auto window = MakeWindow();
        QVERIFY(Analyse(*window, Fat()));
        QVERIFY(!window->AddVolume(QString::fromStdString(blank)));
        QCOMPARE(messages_->Shown.size(), 1u);
        QVERIFY(messages_->Shown[0].Text.contains("No valid supported file system present on the volume."));
        QCOMPARE(window->CmbBxDrives->count(), 1);

        // A drive of the list that holds none: Analyze says so, Idle, the results stay.
        window->CmbBxDrives->AddEntries(
            {{TLogicalDisk{0, "Local Disk", "NTFS", blank, "", 0, 0}, "Local Disk (loop9) : NTFS", kDriveImageFixed}});
        window->CmbBxDrives->setCurrentIndex(1);
        window->CmbBxDrivesChange();
        QTest::keyClick(window.get(), Qt::Key_F5);
        QCOMPARE(messages_->Shown.size(), 2u);
        QCOMPARE(messages_->Shown[1].Text, QString("No valid supported file system present on the volume."));
        QCOMPARE(messages_->Shown[1].Icon, QMessageBox::Critical);
        QCOMPARE(window->Activity(), TActivity::Idle);
        QCOMPARE(window->AnalyzedDriveIndex(), 0);
        QVERIFY(window->Results().Tree().Count() > 0);
    }

    void aWholeDiskImageAddsEachPartition()
    {
        const QString disk = QString::fromStdString(MakeDiskImage(env_->Folder()));
        auto window = MakeWindow();
        QVERIFY(window->AddVolume(disk));
        QCOMPARE(window->CmbBxDrives->count(), 2);
        QCOMPARE(window->CmbBxDrives->itemText(0), QString("whole disk.img (partition 1) : FAT"));
        QCOMPARE(window->CmbBxDrives->itemText(1), QString("whole disk.img (partition 2) : NTFS"));
        QCOMPARE(window->CmbBxDrives->currentIndex(), 0);
        window->CmbBxDrives->setFocus();
        QTest::keyClick(window->CmbBxDrives, Qt::Key_Down);
        QSignalSpy done(window.get(), &TFrmMain::searchDone);
        QTest::keyClick(window.get(), Qt::Key_F5);
        QVERIFY(done.wait(20000));
        QCOMPARE(DumpTree(*window->FilterModel),
                 (QStringList{". [4]", "  dir1 [2]", "    dir2 [2]", "$$folder_37 [2]"}));
        QVERIFY(messages_->Shown.empty());
    }

    void openDiskImageRemembersItsFolder()
    {
        TMainWindowSeams seams = env_->Seams();
        QStringList asked;
        QStringList answers{Fat(), Ntfs(), QString()};
        seams.ChooseImage = [&](QWidget*, const QString& folder) {
            asked << folder;
            return answers.takeFirst();
        };
        {
            auto window = MakeWindow(std::move(seams));
            QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
            QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
            QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);  // cancelled
            QCOMPARE(asked.size(), 3);
            QCOMPARE(asked[0], QDir::homePath());
            QCOMPARE(asked[1], QFileInfo(Fat()).absolutePath());
            QCOMPARE(asked[2], QFileInfo(Ntfs()).absolutePath());
            QCOMPARE(window->CmbBxDrives->count(), 2);
            QCOMPARE(window->CmbBxDrives->currentText(), QString("7-ntfs-undel.dd : NTFS"));
        }
        QCOMPARE(env_->RegistryValue(OptionsKeyPath(), kOptImageFolder),
                 "sz:" + QFileInfo(Ntfs()).absolutePath().toStdString());
    }

    void aWrongOptionTypeEndsTheStartAndIsMendedForTheNext()
    {
        {
            auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, OptionsKeyPath(),
                                                 platform::RegOpen::Create);
            QVERIFY(key);
            QVERIFY(key->WriteString("ShowToolBar", "yes"));
            QVERIFY(key->WriteDword("CheckDeterminate", 0));
        }
        {
            TFrmMain window(env_->Seams());
            QVERIFY(!window.ShouldRun());
            QCOMPARE(window.ExitCode(), 1);
            QCOMPARE(messages_->Texts(), QStringList{"Wrong option type"});
            QCOMPARE(messages_->Shown[0].Icon, QMessageBox::Critical);
        }
        // The value that ended the start was replaced on the way out, and
        // only it: the next start works and keeps the other settings.
        QCOMPARE(env_->RegistryValue(OptionsKeyPath(), "ShowToolBar"), std::string("dword:1"));
        QCOMPARE(env_->RegistryValue(OptionsKeyPath(), "CheckDeterminate"), std::string("dword:0"));
        auto again = MakeWindow();
        QVERIFY(again->ShouldRun());
        QCOMPARE(messages_->Shown.size(), 1u);
        QVERIFY(!again->frmSettings->Determinate());
    }

    void helpOpensThePagesAndAboutNamesTheVersion()
    {
        auto window = MakeWindow();
        TUrlCatcher browser;
        QDesktopServices::setUrlHandler("file", &browser, "open");
        QTest::keyClick(window.get(), Qt::Key_F1);
        QDesktopServices::unsetUrlHandler("file");
        QVERIFY(messages_->Shown.empty());  // the pages were found
        QCOMPARE(browser.urls.size(), 1);
        QCOMPARE(browser.urls[0].fileName(), QString("index.html"));
        QVERIFY(QFileInfo::exists(browser.urls[0].toLocalFile()));

        window->actAbout->trigger();
        QCOMPARE(messages_->Shown.size(), 1u);
        QCOMPARE(messages_->Shown[0].Title, QString("About Razuzuda Rezer"));
        QVERIFY(messages_->Shown[0].Text.contains("Kestrel Razuzuda Rezer"));
        QVERIFY(messages_->Shown[0].Text.contains(QRegularExpression("Version [0-9]+\\.[0-9]+")));
    }

    void theStatusBarShowsHintsProgressAndTheActivity()
    {
        auto window = MakeWindow();
        window->SetStatusText("Analyzing...");
        QTRY_COMPARE(window->StatusPanel0->text(), QString("Analyzing..."));
        // A hint takes the panel; once it is gone the activity comes back.
        QStatusTipEvent hint("Analyze disk");
        QCoreApplication::sendEvent(window.get(), &hint);
        QCOMPARE(window->StatusPanel0->text(), QString("Analyze disk"));
        QStatusTipEvent gone(QString{});
        QCoreApplication::sendEvent(window.get(), &gone);
        QTRY_COMPARE(window->StatusPanel0->text(), QString("Analyzing..."));

        // Panel 1 at 50 %: the left half in the highlight colour.
        window->SetProgress(50);
        QTRY_COMPARE(window->StatusPanel1->Percent(), 50);
        const QImage panel = window->StatusPanel1->grab().toImage();
        const QColor highlight = window->StatusPanel1->palette().color(QPalette::Highlight);
        const int y = panel.height() / 2;
        const int half = panel.width() / 2;
        QCOMPARE(QColor(panel.pixel(panel.width() / 4, y)), highlight);
        QVERIFY(QColor(panel.pixel(half - 2, y)) == highlight);
        QVERIFY(QColor(panel.pixel(half + 2, y)) != highlight);
        QCOMPARE(TProgressPanel::BarWidth(150, 50), 75);
        QCOMPARE(TProgressPanel::BarWidth(150, 0), 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
