#pragma once
// TFrmMain: the main window of Razuzuda Rezer. It owns the option store, the
// results of one analysis (the full tree, the filtered copy and the list),
// the drive box and the one worker that runs at a time, and switches its
// actions by its activity: Idle, Analyzing or Recovering.

#include "platform/Drives.h"
#include "platform/Volume.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/search/Analysis.h"
#include "salvage/search/FoundFileModel.h"
#include "salvage/ui/uAdminRestart.h"

#include <QMainWindow>
#include <QMutex>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;

namespace platform {
class StorageQueries;
}

namespace salvage {
class TOptions;
class TSearchDriver;
class TThreadRecover;
struct TRecoverySummary;
}

namespace salvage::ui {

class TBrokenNameAsker;
class TDriveBox;
class TEngineMessages;
class TFrmBroken;
class TFrmRecover;
class TfrmConfirmRestore;
class TWindowRecoverySink;
class TFileListModel;
class TProgressPanel;
class TResultsTreeModel;
class TSingleInstance;
class TfrmFind;
class TfrmSettings;
class TFrmPreview;

enum class TActivity { Idle = 0, Analyzing = 1, Recovering = 2 };

// What the program's start and the tests give the window.
struct TMainWindowSeams {
    // Where the drive list is read from.
    platform::DriveSources Drives;
    // Opens a drive's volume read-only (OpenLogicalDisk when empty).
    std::function<platform::VolumePtr(const TLogicalDisk&, platform::OpenError&)> OpenVolume;
    // Asks for a disk image to open, starting in `folder` (a file dialog when empty).
    std::function<QString(QWidget* owner, const QString& folder)> ChooseImage;
    // Starting again with administrator rights (pkexec when empty).
    TAdminRestart AdminRestart;
    // Where the single-instance socket lives (the user's runtime folder when empty).
    QString InstanceFolder;
    // Images or devices from the command line, handed to a running instance.
    QStringList Volumes;
    // What the system says about disks, for the question whether a recovery
    // target lies on the disk being recovered (the system's when empty).
    std::function<std::unique_ptr<platform::StorageQueries>()> StorageQueries;
};

// The option that remembers the folder of the last disk image opened.
inline constexpr const char* kOptImageFolder = "PathOpenImage";

class TFrmMain final : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmMain(TMainWindowSeams seams = {}, QWidget* parent = nullptr);
    ~TFrmMain() override;
    Q_DISABLE_COPY_MOVE(TFrmMain)

    // False when the window is not to be shown and the program ends: another
    // instance runs (and was brought to the front), or the creation failed
    // (the user was told why).
    [[nodiscard]] bool ShouldRun() const noexcept { return shouldRun_; }
    [[nodiscard]] int ExitCode() const noexcept { return exitCode_; }

    // Adds images or devices to the drive box and selects the first one
    // added (an image given on the command line, "Open disk image...").
    void OpenVolumes(const QStringList& paths);
    bool AddVolume(const QString& path);

    // The operations other windows and the workers call.
    void SetProgress(int percent);            // any thread
    void SetStatusText(const QString& text);  // any thread
    [[nodiscard]] QString StatusText() const;
    void SearchDone();
    // Builds the job from the tree's and the list's selection and starts the
    // recovery (the recover dialog calls it); RecoveryDone returns to Idle.
    void StartRecovery(const QString& targetPath, bool recoverAll, bool restoreStructure);
    void RecoveryDone();

    [[nodiscard]] TActivity Activity() const noexcept { return activity_; }
    [[nodiscard]] int AnalyzedDriveIndex() const noexcept { return analyzedDriveIndex_; }
    [[nodiscard]] int ProgressPercent() const noexcept { return progress_.load(); }
    [[nodiscard]] TFoundFileModel& Results() noexcept { return results_; }
    [[nodiscard]] QTreeView* CurrentTree() const noexcept { return currentTree_; }
    [[nodiscard]] TResultsTreeModel* CurrentTreeModel() const;
    [[nodiscard]] TOptions& Options() const { return *options_; }
    // True while Stop waits for the worker to end.
    [[nodiscard]] bool StopInProgress() const noexcept { return stopInProgress_.load(); }

    // The state of the start-up wizard's "Don't show wizard on startup."
    bool HideStartupWizard = false;
    // Shows the recovery wizard modally (`startup`: opened at program start)
    // and returns its "Don't show wizard on startup." state. Set once the
    // wizard exists; until then the Wizard button says it is not available.
    std::function<bool(bool startup)> RunWizard;

    // The window's actions and controls, by the names the program uses.
    QAction* actWizard;
    QAction* actAnalyze;
    QAction* actRecover;
    QAction* actStop;
    QAction* actFileExit;
    QAction* actFindFile;
    QAction* actFindnextfile;
    QAction* actFilter;
    QAction* actShowToolBar;
    QAction* actShowStatusBar;
    QAction* actContents;
    QAction* actAbout;
    QAction* actSettings;
    QAction* actOpenImage;
    QAction* actPreview;

    QToolBar* TlBrMain;
    QToolButton* TlBtnFilter;
    TDriveBox* CmbBxDrives;
    QTreeView* TrVwNoFilter;
    QTreeView* TrVwFilter;
    QTreeView* TrVwHide;
    QTreeView* LstVwList;
    QTreeView* LstVwHide;
    QStackedWidget* TreePages;  // the current tree, or TrVwHide over it
    QStackedWidget* ListPages;  // LstVwList, or LstVwHide over it
    QSplitter* SplitterMain;
    QLabel* StatusPanel0;
    TProgressPanel* StatusPanel1;
    QWidget* StatusPanel2;
    QMenu* PopupMenu;
    QMenu* LstPopupMenu;  // the list's: recover, and a look at the file
    QTimer* StatusTimer;

    TResultsTreeModel* NoFilterModel;
    TResultsTreeModel* FilterModel;
    TFileListModel* ListModel;
    std::unique_ptr<TfrmFind> frmFind;
    std::unique_ptr<TfrmSettings> frmSettings;
    std::unique_ptr<TFrmRecover> frmRecover;
    std::unique_ptr<TFrmBroken> frmBroken;
    std::unique_ptr<TfrmConfirmRestore> frmConfirmRestore;
    std::unique_ptr<TFrmPreview> frmPreview;

signals:
    // SearchDone ran: the analysis ended by itself or was stopped.
    void searchDone();
    // Another start of the program brought this window to the front.
    void broughtToFront();
    // A recovery ended (by itself or stopped) and its report was shown.
    void recoveryDone();

public slots:
    void actAnalyzeExecute();
    void actStopExecute();
    void actOpenImageExecute();
    void actSettingsExecute();
    void actWizardExecute();
    void actRecoverExecute();
    void actFindFileExecute();
    void actFindnextfileExecute();
    void actPreviewExecute();
    void actFilterExecute();
    void actContentsExecute();
    void actAboutExecute();
    void CmbBxDrivesChange();
    void ApplyFilterView();
    void OpenListFolder();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildForm();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateResultViews();
    void CreateStatusBar();
    void FormCreate();
    void FormDestroy();
    void updateActions();

    void FirstActivation();
    void WMUserShow(const QStringList& volumes);
    void StatusTimerTick();
    void TreeSelectionChanged(QTreeView* view, const QModelIndex& current);
    void MirrorExpansion(QTreeView* view, const QModelIndex& index, bool expanded);
    void FollowEngineExpansion(QTreeView* view, const QModelIndex& index, bool expanded);
    void RestoreExpansion(QTreeView* view);
    void TreeContextMenu(QTreeView* view, const QPoint& position);
    void ListContextMenu(const QPoint& position);
    void ReportOpenFailure(const TLogicalDisk& disk, const platform::OpenError& error);
    void RestartAsAdministrator(const QStringList& arguments);
    void NotAvailableYet();
    // Ends the running worker, and the preview's read; `report`: tell the
    // user what a stopped recovery left.
    void StopWorker(bool report);
    // The recovery's end arrived from its thread (run `run`).
    void RecoveryFinished(std::uint64_t run);
    void ReportRecovery(const TRecoverySummary& summary, bool stopped);
    void FindFile(const QString& pattern, bool deletedOnly);
    [[nodiscard]] bool FindInFiles(TTreeNode& node, const QString& pattern, bool deletedOnly, bool lastStep,
                                   int startRow, bool& started);

    [[nodiscard]] TResultsTreeModel* ModelOf(const QTreeView* view) const;
    [[nodiscard]] QTreeView* OtherTree(const QTreeView* view) const;
    [[nodiscard]] TTreeNode* SelectedNode(const QTreeView* view) const;
    void SelectNode(QTreeView* view, const TTreeNode* node);
    [[nodiscard]] bool AnalysedDriveSelected() const;
    void RepairStoredOptions();
    void ReadStartupWizardFlag();
    void WriteStartupWizardFlag() const;

    TMainWindowSeams seams_;
    bool shouldRun_ = true;
    int exitCode_ = 0;
    bool secondInstance_ = false;
    bool created_ = false;  // FormCreate ran to its end
    bool activated_ = false;

    std::unique_ptr<TOptions> options_;
    std::unique_ptr<TSingleInstance> instance_;
    std::unique_ptr<TEngineMessages> engineMessages_;

    TFoundFileModel results_;
    std::unique_ptr<TSearchDriver> search_;
    std::shared_ptr<TAnalysis> analysis_;  // the volume whose results the window holds

    // The recovery: its worker, what the worker reports to, and its
    // broken-name question, answered by frmBroken.
    std::unique_ptr<TWindowRecoverySink> recoverySink_;
    std::unique_ptr<TBrokenNameAsker> brokenAsker_;
    std::unique_ptr<TThreadRecover> recoverThread_;
    std::uint64_t recoveryRun_ = 0;  // counts starts and stops
    QString recoveryTarget_;

    TActivity activity_ = TActivity::Idle;
    int analyzedDriveIndex_ = -1;
    bool findUsed_ = false;
    QTreeView* currentTree_ = nullptr;
    std::atomic<int> progress_{0};
    std::atomic<bool> stopInProgress_{false};
    mutable QMutex statusMutex_;
    QString statusText_;
    QString shownStatus_;  // what the timer last put into panel 0
};

} // namespace salvage::ui
