#pragma once
// TfrmWizard: the three-page recovery wizard. Page one picks the drives (the
// entries of the main window's drive box that can be read), page two the
// search criteria, page three runs the search (TSearchWizard) and lists the
// deleted files found, from which the user restores a selection, to one
// folder or back to the files' original folders.
//
// The rows are the window's own: one TWizardRow per file found, kept until
// the next search; the list items name them by index.

#include "platform/Volume.h"
#include "salvage/ui/DriveList.h"
#include "salvage/wizard/SearchWizard.h"
#include "salvage/wizard/uRestoreDialog.h"

#include <QDialog>
#include <QIcon>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace platform {
class StorageQueries;
}

namespace salvage::ui {

class TfrmConfirmRestore;
class TFrmBroken;

// Where the restore goes, as the confirmation answers it.
enum class TRestoreChoice { Cancel, Original, Alternative };

// What the program and the tests give the wizard.
struct TWizardSeams {
    // The main window's drive box, in order.
    std::function<std::vector<TDriveEntry>()> Drives;
    // Opens a drive's volume read-only to see whether it can be read (OpenLogicalDisk when empty).
    std::function<platform::VolumePtr(const TLogicalDisk&, platform::OpenError&)> OpenVolume;
    // The confirmation of "Restore..." (ConfirmDialog when empty).
    std::function<TRestoreChoice(QWidget* owner)> ConfirmRestore;
    // The main window's TfrmConfirmRestore (the wizard's own when null).
    TfrmConfirmRestore* ConfirmDialog = nullptr;
    // The folder browser (QFileDialog when empty); an empty text: none chosen.
    std::function<QString(QWidget* owner, const QString& title)> ChooseFolder;
    // The broken-name question, on the main thread (BrokenDialog's when empty).
    TBrokenNameAnswerer AskBrokenName;
    // The broken-name dialog shared with the main recovery (the wizard's own when null).
    TFrmBroken* BrokenDialog = nullptr;
    // Where a target folder lies (the system's when empty).
    std::function<std::unique_ptr<platform::StorageQueries>()> Storage;
    // File-type names and icons from HKEY_CLASSES_ROOT (Windows) rather than
    // the shared MIME database (elsewhere).
#if defined(_WIN32)
    bool FileTypesFromRegistry = true;
#else
    bool FileTypesFromRegistry = false;
#endif
    // The small icon `index` of a program or library (ExtractSmallIcon when empty).
    std::function<QIcon(const std::string& file, int index)> ExtractIcon;
    // The main window's FAT placement rule, as the options hold it now (free gaps when empty).
    std::function<TFatClusterRule()> FatClusters;
};

// "C" on Windows; elsewhere the short name of the volume: the device's
// name ("sdb1") or the image file's ("disk.img", "disk.img (partition 1)").
[[nodiscard]] std::string WizardLetter(const TDriveEntry& entry);

// An icon entry "file,index" of the registry: the file without its
// quotes and the index (0 when it is not a number). False without a comma.
[[nodiscard]] bool ParseIconEntry(const std::string& text, std::string& file, int& index);

// The small icon `index` of a program or library (none off Windows).
[[nodiscard]] QIcon ExtractSmallIcon(const std::string& file, int index);

class TFileTypeObject {
public:
    TFileTypeObject(int iconIndex, QString typeName) : IconIndex(iconIndex), TypeName(std::move(typeName)) {}
    int IconIndex;
    QString TypeName;
};

class TfrmWizard final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmWizard(TWizardSeams seams, QWidget* parent = nullptr);
    ~TfrmWizard() override;
    Q_DISABLE_COPY_MOVE(TfrmWizard)

    // As the main window opens it: page 0, "Don't show wizard on startup."
    // from `hideStartup`; returns its state when the wizard is closed.
    bool Execute(bool startup, bool hideStartup);

    void SetCount(int found, int restored);
    // The type name and the index into FileImageList of a file name.
    void GetFileInfo(const QString& name, QString& typeName, int& iconIndex);
    void Stop();
    void StartRecover(const QString& target);
    [[nodiscard]] bool Searching() const noexcept { return search_ != nullptr; }
    [[nodiscard]] const TWizardRow* RowOf(const QTreeWidgetItem* item) const;

    // Pages and controls, by the names the program uses.
    QStackedWidget* pcMain;
    QWidget* tsWelcome;
    QWidget* tsCriteria;
    QWidget* tsSearch;
    QListWidget* lsDisks;
    QPushButton* btnSel;
    QPushButton* btnDesel;
    QLineEdit* edtCriteria;
    QCheckBox* chNotZeroSize;
    QCheckBox* chGood;
    QLabel* lblFound;
    QLabel* lblRestored;
    QLabel* lblStatus;
    QTreeWidget* lstvwFind;
    QPushButton* btnRestore;
    QPushButton* btnCancelSearch;
    QWidget* pnlSearch;
    QLabel* lblPath;
    QProgressBar* ProgressBar;
    QPushButton* btnNext;
    QPushButton* btnBack;
    QPushButton* btnCancel;
    QPushButton* btnHelp;
    QCheckBox* ckDontShowStartup;
    QMenu* PopupMenu;
    QAction* Recover1;
    QAction* Restoreas1;
    std::unique_ptr<TfrmRestoreW> frmRestoreW;

    std::vector<QIcon> FileImageList;
    std::map<QString, TFileTypeObject> FileTypes;  // by extension, lower case
    int SortColumn = -1;
    bool SortAscending = true;
    bool StartupMode = false;
    int FoundCount = 0;
    int RestoredCount = 0;

    void btnNextClick();
    void btnBackClick();
    void btnSelClick();
    void btnDeselClick();
    void btnRestoreClick();
    void Recover1Click();
    void Restoreas1Click();
    void lstvwFindColumnClick(int column);
    // The compare result of two rows by SortColumn and SortAscending.
    [[nodiscard]] int lstvwFindCompare(const QTreeWidgetItem& a, const QTreeWidgetItem& b) const;
    void FormActivate();

signals:
    // The search ended (Stop ran).
    void searchStopped();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    struct Inbox;
    class TDesktopSink;

    void FormCreate();
    QWidget* CreateWelcomePage();
    QWidget* CreateCriteriaPage();
    QWidget* CreateSearchPage();
    void ClearImageList();
    [[nodiscard]] TFileTypeObject AddFileType(const QString& ext, const QString& fallback);
    void StartSearch();
    void ShowPage(int index);
    void DrainInbox();
    void AddRows(std::vector<TWizardRow> rows);
    void SortList();
    [[nodiscard]] TFatClusterRule FatClusterRule() const;
    [[nodiscard]] bool HasSelection() const;
    [[nodiscard]] TRestoreChoice AskRestoreChoice();
    [[nodiscard]] QString ChooseFolder();
    [[nodiscard]] bool RefuseTarget(const QString& target, const std::vector<std::size_t>& drives);
    void ReportRestore(const TRestoreSummary& summary, std::size_t attempted, bool ended);

    TWizardSeams seams_;
    std::vector<TDriveEntry> diskEntries_;  // the entries behind lsDisks, in order
    std::vector<TWizardRow> rows_;
    std::vector<TWizardDrive> searchedDrives_;
    std::vector<std::shared_ptr<TAnalysis>> searchedVolumes_;
    std::shared_ptr<Inbox> inbox_;
    std::unique_ptr<TDesktopSink> sink_;
    std::unique_ptr<TSearchWizard> search_;
    std::unique_ptr<TfrmConfirmRestore> frmConfirmRestore_;
    std::unique_ptr<TFrmBroken> frmBroken_;
    QTimer* panelTimer_;
    bool activating_ = false;
    bool stopping_ = false;
};

} // namespace salvage::ui
