// The wizard driven as a user would: drives ticked on the first page, the
// criteria typed on the second, the search over the reference images on the
// third, the list sorted by its headers, restores to a chosen folder (and
// cancelled half-way), and the original folder refused for an image.
#ifndef Q_MOC_RUN  // moc cannot read <compare>
#include "platform/StorageDevices.h"
#endif
#include "salvage/recover/dialogs/uConfirmRestore.h"
#include "salvage/ui/Strings.h"
#include "salvage/wizard/uRestoreDialog.h"
#include "salvage/wizard/uWizard.h"
#include "tests/wizard/WizardDrives.h"
#include "tests/support/Md5.h"
#include "tests/support/TestData.h"
#include "tests/ui/GuiSupport.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cerrno>
#include <filesystem>

using namespace salvage;
using namespace salvage::ui;

using wizardtest::ImageEntry;

namespace {

QStringList Column(const QTreeWidget& list, int column)
{
    QStringList texts;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        texts << list.topLevelItem(i)->text(column);
    return texts;
}

QStringList PathsAndNames(const QTreeWidget& list)
{
    QStringList texts;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        texts << list.topLevelItem(i)->text(1) + list.topLevelItem(i)->text(0);
    return texts;
}

std::string Md5Of(const std::string& path)
{
    return testdata::Md5Hex(testdata::ReadFileBytes(path));
}

// The searched image stands for the partition /dev/sdb1; every folder lies
// on /dev/sdb2 of the same disk.
class TSameDisk final : public platform::StorageQueries {
public:
    explicit TSameDisk(std::string source) : source_(std::move(source)) {}
    std::optional<platform::DeviceNumber> BlockDevice(const std::string& path) override
    {
        return path == source_ ? std::optional(kSdb1) : std::nullopt;
    }
    std::optional<platform::FileIdentity> File(const std::string&) override { return std::nullopt; }
    std::optional<platform::DeviceNumber> FileSystemDevice(const std::string&) override { return kSdb2; }
    platform::DeviceNumber WholeDisk(platform::DeviceNumber) override { return kSdb; }
    std::vector<platform::DeviceNumber> Underlying(platform::DeviceNumber) override { return {}; }
    std::optional<std::string> LoopBackingFile(platform::DeviceNumber) override { return std::nullopt; }
    std::string DeviceName(platform::DeviceNumber) override { return "/dev/sdb"; }

private:
    static constexpr platform::DeviceNumber kSdb{8, 16}, kSdb1{8, 17}, kSdb2{8, 18};
    std::string source_;
};

} // namespace

class WizardWindowTest : public QObject {
    Q_OBJECT

private:
    std::vector<TDriveEntry> drives_;
    TWizardSeams Seams()
    {
        TWizardSeams seams;
        seams.Drives = [this] { return drives_; };
        return seams;
    }
    // Opens the wizard on page 0, as the main window does, without its modal loop.
    static void Open(TfrmWizard& wizard)
    {
        wizard.pcMain->setCurrentIndex(1);
        wizard.btnBackClick();
        wizard.FormActivate();
        wizard.show();
    }
    // Ticks the drives, types the criteria, runs the search to its end.
    static bool Search(TfrmWizard& wizard, const QString& criteria = {}, bool notZero = false, bool good = false)
    {
        QTest::mouseClick(wizard.btnSel, Qt::LeftButton);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        wizard.edtCriteria->clear();
        QTest::keyClicks(wizard.edtCriteria, criteria);
        // On the box itself: the check box is wider than its text.
        for (auto [box, wanted] : {std::pair{wizard.chNotZeroSize, notZero}, std::pair{wizard.chGood, good}})
            if (box->isChecked() != wanted)
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        QSignalSpy stopped(&wizard, &TfrmWizard::searchStopped);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        return stopped.count() > 0 || stopped.wait(30000);
    }
    static void SelectAll(TfrmWizard& wizard)
    {
        wizard.lstvwFind->setFocus();
        wizard.lstvwFind->selectAll();
    }

private slots:
    void init()
    {
        drives_ = {ImageEntry(testdata::ReferenceFatImage(), "FAT"), ImageEntry(testdata::ReferenceNtfsImage(), "NTFS")};
    }

    void nextWithoutADriveAsksForOne()
    {
        guitest::TMessageScript messages;
        TfrmWizard wizard(Seams());
        Open(wizard);
        QCOMPARE(wizard.windowTitle(), QStringLiteral("Razuzuda Rezer Wizard"));
        QCOMPARE(wizard.lsDisks->count(), 2);
        QCOMPARE(wizard.lsDisks->item(0)->text(), QStringLiteral("Disk image (6-fat-undel.dd:)"));
        QVERIFY(!wizard.btnBack->isEnabled());
        QVERIFY(!wizard.btnHelp->isEnabled());
        QVERIFY(wizard.ckDontShowStartup->isHidden());
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(messages.Texts(), QStringList{QStringLiteral("Please select a drive and then click Next.")});
        QCOMPARE(messages.Shown.front().Icon, QMessageBox::Question);
        QCOMPARE(wizard.pcMain->currentIndex(), 0);
        // Select all, Deselect all.
        QTest::mouseClick(wizard.btnSel, Qt::LeftButton);
        QCOMPARE(wizard.lsDisks->item(1)->checkState(), Qt::Checked);
        QTest::mouseClick(wizard.btnDesel, Qt::LeftButton);
        QCOMPARE(wizard.lsDisks->item(1)->checkState(), Qt::Unchecked);
        wizard.lsDisks->item(1)->setCheckState(Qt::Checked);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(wizard.pcMain->currentIndex(), 1);
        QVERIFY(wizard.btnBack->isEnabled());
        QVERIFY(wizard.chNotZeroSize->isChecked());
        QVERIFY(!wizard.chGood->isChecked());
    }

    void drivesThatCannotBeReadAreLeftOutOrGreyed()
    {
        TWizardSeams seams = Seams();
        drives_.push_back(ImageEntry("/nonexistent/denied.img", "FAT"));
        drives_.push_back(ImageEntry("/nonexistent/gone.img", "FAT"));
        seams.OpenVolume = [](const TLogicalDisk& disk, platform::OpenError& error) -> platform::VolumePtr {
            if (disk.DevicePath.find("denied") != std::string::npos) {
                error = {EACCES, "Permission denied"};
                return nullptr;
            }
            return OpenLogicalDisk(disk, error);
        };
        TfrmWizard wizard(std::move(seams));
        Open(wizard);
        QCOMPARE(wizard.lsDisks->count(), 3);
        QListWidgetItem* denied = wizard.lsDisks->item(2);
        QVERIFY(!(denied->flags() & Qt::ItemIsEnabled));
        QVERIFY(denied->toolTip().contains(QStringLiteral("Permission denied")));
        QTest::mouseClick(wizard.btnSel, Qt::LeftButton);
        QCOMPARE(denied->checkState(), Qt::Unchecked);
    }

    void searchOfTwoImagesListsTheDeletedFiles()
    {
        TfrmWizard wizard(Seams());
        Open(wizard);
        QVERIFY(Search(wizard));
        QVERIFY(!wizard.Searching());
        QVERIFY(wizard.pnlSearch->isHidden());
        QVERIFY(wizard.btnCancelSearch->isHidden());
        QVERIFY(!wizard.btnNext->isEnabled());
        QCOMPARE(wizard.lblFound->text(), QStringLiteral("14"));
        QCOMPARE(wizard.lblRestored->text(), QStringLiteral("0"));
        // Sorted by "Original path", ties by name.
        const QStringList rows = PathsAndNames(*wizard.lstvwFind);
        QCOMPARE(rows.size(), 14);
        QCOMPARE(rows.front(), QStringLiteral("6-fat-undel.dd:\\?ING.DAT"));
        QVERIFY(rows.contains(QStringLiteral("7-ntfs-undel.dd:\\<Folder unknown>\\sing2.dat")));
        QVERIFY(rows.contains(QStringLiteral("7-ntfs-undel.dd:\\dir1\\dir2\\frag3.dat")));
        QVERIFY(rows.contains(QStringLiteral("6-fat-undel.dd:\\?IR1\\DIR2\\FRAG3.DAT")));
        QStringList sorted = rows;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return a.toUpper().toUtf8() < b.toUpper().toUtf8();
        });
        QCOMPARE(Column(*wizard.lstvwFind, 1), [&] {
            QStringList paths;
            for (int i = 0; i < wizard.lstvwFind->topLevelItemCount(); ++i)
                paths << wizard.lstvwFind->topLevelItem(i)->text(1);
            std::stable_sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
                return a.toUpper().toUtf8() < b.toUpper().toUtf8();
            });
            return paths;
        }());
        // The row texts.
        QTreeWidgetItem* sing = wizard.lstvwFind->topLevelItem(0);
        QCOMPARE(sing->text(2), QStringLiteral("780 bytes"));
        QCOMPARE(sing->text(5), QStringLiteral("Good"));
        QVERIFY(!sing->text(3).isEmpty());
        QVERIFY(!sing->text(4).isEmpty());
    }

    void aDriveWithoutAFileSystemGetsAStatusLine()
    {
        const std::string dir = testdata::MakeTempDir("kestrel-wizard-nofs");
        testdata::WriteFileBytes(dir + "/notfs.img", std::vector<std::uint8_t>(8192, 0x20));
        drives_.insert(drives_.begin(), ImageEntry(dir + "/notfs.img", "FAT"));
        TfrmWizard wizard(Seams());
        Open(wizard);
        QCOMPARE(wizard.lsDisks->count(), 3);
        QVERIFY(Search(wizard));
        std::filesystem::remove_all(dir);
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 14);
        QCOMPARE(wizard.lblStatus->text(),
                 QStringLiteral("Search for deleted files. The result will be shown in the list below.\n"
                                "notfs.img was not searched: No valid supported file system present on the volume."));
    }

    void criteriaNarrowTheSearch()
    {
        TfrmWizard wizard(Seams());
        Open(wizard);
        QVERIFY(Search(wizard, QStringLiteral("*.dat")));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 14);
        QTest::mouseClick(wizard.btnBack, Qt::LeftButton);
        QCOMPARE(wizard.pcMain->currentIndex(), 1);
        QVERIFY(wizard.btnNext->isEnabled());
        wizard.edtCriteria->clear();
        QTest::keyClicks(wizard.edtCriteria, QStringLiteral("frag"));
        QSignalSpy stopped(&wizard, &TfrmWizard::searchStopped);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QVERIFY(stopped.count() > 0 || stopped.wait(30000));
        QCOMPARE(Column(*wizard.lstvwFind, 0),
                 (QStringList{QStringLiteral("FRAG3.DAT"), QStringLiteral("frag1.dat"), QStringLiteral("frag2.dat"),
                              QStringLiteral("frag3.dat")}));
    }

    void zeroByteAndBadFilesAreHiddenOnRequest()
    {
        drives_ = {ImageEntry(testdata::Path("wizard/wizard.img"), "FAT")};
        TfrmWizard wizard(Seams());
        Open(wizard);
        QVERIFY(Search(wizard, {}, false, false));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 4);
        QVERIFY(Column(*wizard.lstvwFind, 5).contains(QStringLiteral("Bad")));
        QVERIFY(Column(*wizard.lstvwFind, 2).contains(QStringLiteral("0 bytes")));
        QTest::mouseClick(wizard.btnBack, Qt::LeftButton);
        QTest::mouseClick(wizard.btnBack, Qt::LeftButton);
        QVERIFY(Search(wizard, {}, true, false));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 3);
        QVERIFY(!Column(*wizard.lstvwFind, 2).contains(QStringLiteral("0 bytes")));
        QTest::mouseClick(wizard.btnBack, Qt::LeftButton);
        QTest::mouseClick(wizard.btnBack, Qt::LeftButton);
        QVERIFY(Search(wizard, {}, true, true));
        QCOMPARE(Column(*wizard.lstvwFind, 5), (QStringList{QStringLiteral("Good"), QStringLiteral("Good")}));
    }

    void sizeSortsAsText()
    {
        TfrmWizard wizard(Seams());
        Open(wizard);
        QVERIFY(Search(wizard));
        auto click = [&](int section) {
            QHeaderView* header = wizard.lstvwFind->header();
            const QPoint at(header->sectionViewportPosition(section) + 5, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        click(2);
        QStringList sizes = Column(*wizard.lstvwFind, 2);
        // "1.55 kb" before "780 bytes": the texts, not the numbers.
        QVERIFY(sizes.indexOf(QStringLiteral("1.55 kb")) < sizes.indexOf(QStringLiteral("780 bytes")));
        QStringList expected = sizes;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const QString& a, const QString& b) { return a.toUpper().toUtf8() < b.toUpper().toUtf8(); });
        QCOMPARE(sizes, expected);
        // Ties go by name, ascending, whichever way the column goes.
        click(2);
        sizes = Column(*wizard.lstvwFind, 2);
        QVERIFY(std::is_sorted(sizes.begin(), sizes.end(), [](const QString& a, const QString& b) {
            return a.toUpper().toUtf8() > b.toUpper().toUtf8();
        }));
        QCOMPARE(sizes.front(), expected.back());
        const int first = static_cast<int>(sizes.indexOf(QStringLiteral("780 bytes")));
        QCOMPARE(wizard.lstvwFind->topLevelItem(first)->text(0), QStringLiteral("?ING.DAT"));
        QCOMPARE(wizard.lstvwFind->topLevelItem(first + 1)->text(0), QStringLiteral("sing1.dat"));
        // Name, ascending.
        click(0);
        QCOMPARE(wizard.lstvwFind->topLevelItem(0)->text(0), QStringLiteral("?ING.DAT"));
    }

    void backCancelsARunningSearch()
    {
        for (int i = 0; i < 30; ++i) {
            drives_.push_back(ImageEntry(testdata::ReferenceNtfsImage(), "NTFS"));
            drives_.push_back(ImageEntry(testdata::ReferenceFatImage(), "FAT"));
        }
        TfrmWizard wizard(Seams());
        Open(wizard);
        QTest::mouseClick(wizard.btnSel, Qt::LeftButton);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QSignalSpy stopped(&wizard, &TfrmWizard::searchStopped);
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QVERIFY(wizard.Searching());
        QVERIFY(!wizard.btnCancelSearch->isHidden());
        QTest::mouseClick(wizard.btnBack, Qt::LeftButton);
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!wizard.Searching());
        QCOMPARE(wizard.pcMain->currentIndex(), 1);
        QVERIFY(wizard.btnNext->isEnabled());
        const int partial = wizard.lstvwFind->topLevelItemCount();
        QCOMPARE(wizard.lblFound->text(), QString::number(partial));
        // Forward again: a new search, the list emptied first.
        QTest::mouseClick(wizard.btnNext, Qt::LeftButton);
        QCOMPARE(wizard.lblFound->text(), QStringLiteral("0"));
        QVERIFY(stopped.wait(60000));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 31 * 14);
    }

    void restoreToAChosenFolderIsByteExact()
    {
        const std::string out = testdata::MakeTempDir("kestrel-wizard-gui");
        TWizardSeams seams = Seams();
        int confirmations = 0;
        seams.ConfirmRestore = [&](QWidget*) {
            ++confirmations;
            return TRestoreChoice::Alternative;
        };
        seams.ChooseFolder = [&](QWidget*, const QString& title) {
            [&] { QCOMPARE(title, QStringLiteral("Choose path for recovery")); }();
            return QString::fromStdString(out);
        };
        drives_ = {ImageEntry(testdata::ReferenceNtfsImage(), "NTFS")};
        TfrmWizard wizard(std::move(seams));
        Open(wizard);
        QVERIFY(Search(wizard));
        // Without a selection: the message.
        guitest::TMessageScript messages;
        wizard.lstvwFind->clearSelection();
        QTest::mouseClick(wizard.btnRestore, Qt::LeftButton);
        QCOMPARE(messages.Texts(),
                 QStringList{QStringLiteral("No file selected. Please select one or more files and click Restore.")});
        QCOMPARE(confirmations, 0);
        // Four rows of eight.
        for (int i = 0; i < 4; ++i)
            wizard.lstvwFind->topLevelItem(2 * i)->setSelected(true);
        QStringList chosen;
        for (int i = 0; i < 4; ++i)
            chosen << wizard.lstvwFind->topLevelItem(2 * i)->text(0);
        QTest::mouseClick(wizard.btnRestore, Qt::LeftButton);
        QCOMPARE(confirmations, 1);
        QCOMPARE(wizard.lblRestored->text(), QStringLiteral("4"));
        QCOMPARE(wizard.lblFound->text(), QStringLiteral("8"));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 4);
        const std::map<QString, std::string> key = {
            {QStringLiteral("res1.dat"), "9036637712b491904cd0bfbdbe648453"},
            {QStringLiteral("sing1.dat"), "59b20779f69ff9f0ac5fcd2c38835a79"},
            {QStringLiteral("mult1.dat"), "ffd27bd782bdce67750b6b9ee069d2ef"},
            {QStringLiteral("frag1.dat"), "7a3bc5b763bef201202108f4ba128149"},
            {QStringLiteral("frag2.dat"), "0e80ab84ef0087e60dfc67b88a1cf13e"},
            {QStringLiteral("mult2.dat"), "59cf0e9cd107bc1e75afb7374f6e05bb"},
            {QStringLiteral("frag3.dat"), "21121699487f3fbbdb9a4b3391b6d3e0"},
            {QStringLiteral("sing2.dat"), "c229626f6a71b167ad7e50c4f2fccdb1"}};
        for (const QString& name : chosen) {
            QCOMPARE(Md5Of(out + "/" + name.toStdString()), key.at(name));
            QVERIFY(!Column(*wizard.lstvwFind, 0).contains(name));
        }
        QCOMPARE(static_cast<int>(std::distance(std::filesystem::directory_iterator(out),
                                                std::filesystem::directory_iterator())),
                 4);
        std::filesystem::remove_all(out);
    }

    void cancelDuringARestoreKeepsTheWrittenRowsOut()
    {
        const std::string out = testdata::MakeTempDir("kestrel-wizard-cancel");
        drives_ = {ImageEntry(testdata::ReferenceFatImage(), "FAT")};
        TWizardSeams seams = Seams();
        TfrmWizard* window = nullptr;
        int asked = 0;
        seams.AskBrokenName = [&](const std::string& name) {
            TBrokenNameAnswer answer;
            answer.OldName = name;
            if (++asked == 1) {
                answer.ModalResult = static_cast<int>(TBrokenNameResult::Rename);
                answer.NewName = "_" + name.substr(1);
                return answer;
            }
            // The user cancels the restore while the second name is asked.
            QTest::mouseClick(window->frmRestoreW->btnCancel, Qt::LeftButton);
            answer.ModalResult = static_cast<int>(TBrokenNameResult::Skip);
            return answer;
        };
        seams.ChooseFolder = [&](QWidget*, const QString&) { return QString::fromStdString(out); };
        TfrmWizard wizard(std::move(seams));
        window = &wizard;
        Open(wizard);
        QVERIFY(Search(wizard));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 6);
        SelectAll(wizard);
        const QString first = wizard.lstvwFind->topLevelItem(0)->text(0);
        Restoreas1Click(wizard);
        QCOMPARE(asked, 2);
        QCOMPARE(wizard.lblRestored->text(), QStringLiteral("1"));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 5);
        QVERIFY(!Column(*wizard.lstvwFind, 0).contains(first));
        QVERIFY(std::filesystem::exists(out + "/_" + first.mid(1).toStdString()));
        QVERIFY(!wizard.frmRestoreW->isVisible());
        std::filesystem::remove_all(out);
    }

    void theOriginalFolderOfAnImageIsRefused()
    {
        guitest::TMessageScript messages;
        messages.Answer(QMessageBox::Yes);
        TfrmWizard wizard(Seams());
        Open(wizard);
        QVERIFY(Search(wizard));
        SelectAll(wizard);
        wizard.Recover1->trigger();
        QCOMPARE(messages.Shown.size(), std::size_t{2});
        QCOMPARE(messages.Shown[0].Text,
                 QStringLiteral("Do you want to restore the selected files or their original location?"));
        QVERIFY(messages.Shown[1].Text.contains(QStringLiteral("not mounted")));
        QVERIFY(messages.Shown[1].Text.contains(QStringLiteral("Nothing was written")));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 14);
        QCOMPARE(wizard.lblRestored->text(), QStringLiteral("0"));
    }

    void restoreToTheOriginalFolderAsksFirst()
    {
        // The image stands in for a volume mounted at `root`.
        const std::string root = testdata::MakeTempDir("kestrel-wizard-original");
        drives_ = {ImageEntry(testdata::ReferenceNtfsImage(), "NTFS")};
        drives_.front().Disk.Root = root;
        TWizardSeams seams = Seams();
        seams.ConfirmRestore = [](QWidget*) { return TRestoreChoice::Original; };
        TfrmWizard wizard(std::move(seams));
        Open(wizard);
        QVERIFY(Search(wizard));
        SelectAll(wizard);
        guitest::TMessageScript messages;
        messages.Answer(QMessageBox::No);
        QTest::mouseClick(wizard.btnRestore, Qt::LeftButton);
        // Asked plainly first; No writes nothing.
        QCOMPARE(messages.Shown.size(), std::size_t{1});
        QVERIFY(messages.Shown[0].Text.contains(QStringLiteral("onto the volume they were deleted from")));
        QCOMPARE(messages.Shown[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(std::filesystem::is_empty(root));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 8);
        messages.Answer(QMessageBox::Yes);
        QTest::mouseClick(wizard.btnRestore, Qt::LeftButton);
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 0);
        QCOMPARE(wizard.lblRestored->text(), QStringLiteral("8"));
        QCOMPARE(Md5Of(root + "/MFT 37/sing2.dat"), std::string("c229626f6a71b167ad7e50c4f2fccdb1"));
        QCOMPARE(Md5Of(root + "/dir1/dir2/frag3.dat"), std::string("21121699487f3fbbdb9a4b3391b6d3e0"));
        QCOMPARE(Md5Of(root + "/dir1/mult2.dat"), std::string("59cf0e9cd107bc1e75afb7374f6e05bb"));
        QCOMPARE(Md5Of(root + "/res1.dat"), std::string("9036637712b491904cd0bfbdbe648453"));
        std::filesystem::remove_all(root);
    }

    void aFolderOnTheDiskThatIsReadIsQuestioned()
    {
        const std::string out = testdata::MakeTempDir("kestrel-wizard-samedisk");
        drives_ = {ImageEntry(testdata::ReferenceNtfsImage(), "NTFS")};
        TWizardSeams seams = Seams();
        seams.ConfirmRestore = [](QWidget*) { return TRestoreChoice::Alternative; };
        seams.ChooseFolder = [&](QWidget*, const QString&) { return QString::fromStdString(out); };
        seams.Storage = [] { return std::make_unique<TSameDisk>(testdata::ReferenceNtfsImage()); };
        TfrmWizard wizard(std::move(seams));
        Open(wizard);
        QVERIFY(Search(wizard));
        SelectAll(wizard);
        guitest::TMessageScript messages;
        messages.Answer(QMessageBox::No);
        QTest::mouseClick(wizard.btnRestore, Qt::LeftButton);
        QCOMPARE(messages.Shown.size(), std::size_t{1});
        QVERIFY(messages.Shown[0].Text.contains(QStringLiteral("on the disk you are recovering from (/dev/sdb)")));
        QVERIFY(std::filesystem::is_empty(out));
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 8);
        messages.Answer(QMessageBox::Yes);
        QTest::mouseClick(wizard.btnRestore, Qt::LeftButton);
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 0);
        QCOMPARE(Md5Of(out + "/sing2.dat"), std::string("c229626f6a71b167ad7e50c4f2fccdb1"));
        std::filesystem::remove_all(out);
    }

    void aTargetThatCannotBeMadeWaitsForCancel()
    {
        const std::string dir = testdata::MakeTempDir("kestrel-wizard-nofolder");
        testdata::WriteFileBytes(dir + "/file", {0});
        drives_ = {ImageEntry(testdata::ReferenceNtfsImage(), "NTFS")};
        TWizardSeams seams = Seams();
        seams.ChooseFolder = [&](QWidget*, const QString&) { return QString::fromStdString(dir + "/file/below"); };
        TfrmWizard wizard(std::move(seams));
        Open(wizard);
        QVERIFY(Search(wizard));
        SelectAll(wizard);
        guitest::TMessageScript messages;
        bool openAfterMessage = false;
        messages.WhileShown = [&](const TMessageRequest&) {
            // Once the message is answered the window still waits; the user cancels it.
            QTimer::singleShot(0, &wizard, [&] {
                openAfterMessage = wizard.frmRestoreW->isVisible();
                QTest::mouseClick(wizard.frmRestoreW->btnCancel, Qt::LeftButton);
            });
        };
        wizard.Restoreas1->trigger();
        QCOMPARE(messages.Texts(), QStringList{QStringLiteral("Folder has not been created!")});
        QCOMPARE(messages.Shown.front().Owner, nullptr);
        QVERIFY(openAfterMessage);
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 8);
        QCOMPARE(wizard.lblRestored->text(), QStringLiteral("0"));
        QVERIFY(!std::filesystem::exists(dir + "/file/below"));
        std::filesystem::remove_all(dir);
    }

    void theConfirmationDialogChoosesTheWay()
    {
        const std::string out = testdata::MakeTempDir("kestrel-wizard-confirm");
        drives_ = {ImageEntry(testdata::ReferenceNtfsImage(), "NTFS")};
        TfrmConfirmRestore confirm;
        TWizardSeams seams = Seams();
        seams.ConfirmDialog = &confirm;
        int chosen = 0;
        seams.ChooseFolder = [&](QWidget*, const QString&) {
            ++chosen;
            return QString::fromStdString(out);
        };
        TfrmWizard wizard(std::move(seams));
        Open(wizard);
        QVERIFY(Search(wizard));
        wizard.lstvwFind->topLevelItem(0)->setSelected(true);
        // Cancel: nothing happens.
        QTimer::singleShot(0, &confirm, [&] { QTest::mouseClick(confirm.btnCancel, Qt::LeftButton); });
        QTest::mouseClick(wizard.btnRestore, Qt::LeftButton);
        QCOMPARE(chosen, 0);
        // "Restore to an alternative location", OK: the folder browser, then the restore.
        QTimer::singleShot(0, &confirm, [&] {
            QTest::mouseClick(confirm.rbAlternative, Qt::LeftButton, {}, QPoint(8, confirm.rbAlternative->height() / 2));
            QTest::mouseClick(confirm.btnOK, Qt::LeftButton);
        });
        QTest::mouseClick(wizard.btnRestore, Qt::LeftButton);
        QCOMPARE(chosen, 1);
        QCOMPARE(wizard.lstvwFind->topLevelItemCount(), 7);
        QVERIFY(confirm.rbAlternative->isChecked());
        std::filesystem::remove_all(out);
    }

    void typeNamesComeFromTheMimeDatabase()
    {
        TfrmWizard wizard(Seams());
        QString type;
        int icon = -1;
        wizard.GetFileInfo(QStringLiteral("README"), type, icon);
        QCOMPARE(type, QStringLiteral("File"));
        QCOMPARE(icon, 0);
        wizard.GetFileInfo(QStringLiteral("data.zzqqx"), type, icon);
        QCOMPARE(type, QStringLiteral("File \".ZZQQX\""));
        QCOMPARE(icon, 0);
        wizard.GetFileInfo(QStringLiteral("notes.TXT"), type, icon);
        QVERIFY(!type.isEmpty());
        QVERIFY(!type.startsWith(QStringLiteral("File \"")));
        const std::size_t cached = wizard.FileTypes.size();
        QString again;
        int againIcon = -1;
        wizard.GetFileInfo(QStringLiteral("other.txt"), again, againIcon);
        QCOMPARE(again, type);
        QCOMPARE(againIcon, icon);
        QCOMPARE(wizard.FileTypes.size(), cached);
    }

    void typeNamesAndIconsFromTheRegistry()
    {
        guitest::TEnvironment environment;
        std::filesystem::create_directories(environment.Folder() + "/registry");
        testdata::WriteFileBytes(environment.Folder() + "/registry/HKEY_CLASSES_ROOT.reg", [] {
            const std::string text =
                "Windows Registry Editor Version 5.00\r\n\r\n"
                "[HKEY_CLASSES_ROOT\\.doc]\r\n@=\"Word.Document.8\"\r\n\r\n"
                "[HKEY_CLASSES_ROOT\\Word.Document.8]\r\n@=\"Microsoft Word Document\"\r\n\r\n"
                "[HKEY_CLASSES_ROOT\\Word.Document.8\\DefaultIcon]\r\n"
                "@=\"\\\"C:\\\\Office\\\\winword.exe\\\",-3\"\r\n\r\n"
                "[HKEY_CLASSES_ROOT\\.nc]\r\n@=\"NoComma\"\r\n\r\n"
                "[HKEY_CLASSES_ROOT\\NoComma]\r\n@=\"\"\r\n\r\n"
                "[HKEY_CLASSES_ROOT\\NoComma\\DefaultIcon]\r\n@=\"shell32.dll\"\r\n";
            return std::vector<std::uint8_t>(text.begin(), text.end());
        }());
        TWizardSeams seams = Seams();
        seams.FileTypesFromRegistry = true;
        std::vector<std::pair<std::string, int>> extracted;
        seams.ExtractIcon = [&](const std::string& file, int index) {
            extracted.emplace_back(file, index);
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::blue);
            return QIcon(pixmap);
        };
        TfrmWizard wizard(std::move(seams));
        QString type;
        int icon = -1;
        wizard.GetFileInfo(QStringLiteral("letter.DOC"), type, icon);
        QCOMPARE(type, QStringLiteral("Microsoft Word Document"));
        QCOMPARE(icon, 2);
        QCOMPARE(extracted, (std::vector<std::pair<std::string, int>>{{"C:\\Office\\winword.exe", -3}}));
        // No comma: no icon. An empty type name: the default one.
        wizard.GetFileInfo(QStringLiteral("x.nc"), type, icon);
        QCOMPARE(type, QStringLiteral("File \".NC\""));
        QCOMPARE(icon, 0);
        // Unknown to the registry.
        wizard.GetFileInfo(QStringLiteral("x.unknownext"), type, icon);
        QCOMPARE(type, QStringLiteral("File \".UNKNOWNEXT\""));
        QCOMPARE(icon, 0);
        QCOMPARE(extracted.size(), std::size_t{1});
    }

    void iconSpecifications()
    {
        std::string file;
        int index = 7;
        QVERIFY(!ParseIconEntry("shell32.dll", file, index));
        QVERIFY(ParseIconEntry(" \"C:\\Program Files\\app.exe\" , -3 ", file, index));
        QCOMPARE(QString::fromStdString(file), QStringLiteral("C:\\Program Files\\app.exe"));
        QCOMPARE(index, -3);
        QVERIFY(ParseIconEntry("x.dll,abc", file, index));
        QCOMPARE(index, 0);
    }

private:
    static void Restoreas1Click(TfrmWizard& wizard) { wizard.Restoreas1->trigger(); }
};

QTEST_MAIN(WizardWindowTest)
#include "WizardWindowTest.moc"
