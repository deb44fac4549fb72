#include "salvage/ui/uMain.h"

#include "platform/Registry.h"
#include "platform/StorageDevices.h"
#include "salvage/recover/RecoveryJob.h"
#include "salvage/recover/TargetPlacement.h"
#include "salvage/recover/ThreadRecover.h"
#include "salvage/recover/dialogs/uBroken.h"
#include "salvage/recover/dialogs/uConfirmRestore.h"
#include "salvage/recover/dialogs/uRecover.h"
#include "salvage/recover/dialogs/uRecoveryReport.h"
#include "salvage/fs/VolumeProbe.h"
#include "salvage/recover/dialogs/uPreview.h"
#include "salvage/search/MatchName.h"
#include "salvage/search/SizeText.h"
#include "salvage/ui/Options.h"
#include "salvage/search/SearchDriver.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uArtwork.h"
#include "salvage/ui/uDriveBox.h"
#include "salvage/ui/uFind.h"
#include "salvage/ui/uFormat.h"
#include "salvage/ui/uHelp.h"
#include "salvage/ui/uListModel.h"
#include "salvage/ui/uMessageBox.h"
#include "salvage/ui/uProgressPanel.h"
#include "salvage/ui/uSettings.h"
#include "salvage/ui/uSingleInstance.h"
#include "salvage/ui/uTreeModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace salvage::ui {

// What the recovery's worker reports, on its thread: the status text and the
// percentage are only stored for the timer; the end goes to the main thread.
class TWindowRecoverySink final : public TRecoverySink {
public:
    explicit TWindowRecoverySink(TFrmMain& window) : window_(window) {}
    void StatusText(const std::string& text) override { window_.SetStatusText(QString::fromStdString(text)); }
    void Progress(int percent) override { window_.SetProgress(percent); }
    void Done(const TRecoverySummary& /*summary*/) override
    {
        const std::uint64_t run = Run.load();
        QMetaObject::invokeMethod(
            &window_, [this, run] { Finished(run); }, Qt::QueuedConnection);
    }
    // Set by the window: the job's number (before it starts), and what runs
    // on the main thread when the job has ended.
    std::atomic<std::uint64_t> Run{0};
    std::function<void(std::uint64_t)> Finished;

private:
    TFrmMain& window_;
};

namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

// The window's design size, which is also its smallest.
constexpr QSize kDesignSize(720, 522);
constexpr int kLeftPanelWidth = 220;
constexpr int kLeftPanelMinimum = 200;
constexpr int kSplitterWidth = 5;
constexpr QSize kToolButtonSize(73, 52);
constexpr int kStatusTimerMs = 50;
constexpr int kListColumnWidths[TFileListModel::ColumnCount] = {130, 65, 60, 115, 115};

// A hint is "short|long": the tool tip shows the short part, the status
// bar the long one (the same text without a bar).
void SetHint(QAction* action, const char* hint)
{
    const QString text = Text(hint);
    action->setToolTip(text.section(QLatin1Char('|'), 0, 0));
    action->setStatusTip(text.contains(QLatin1Char('|')) ? text.section(QLatin1Char('|'), 1) : text);
}

// Suspends a worker for as long as the object lives.
class TSuspended {
public:
    TSuspended(TSearchDriver& driver, bool active) : driver_(driver), active_(active)
    {
        if (active_)
            driver_.Suspend();
    }
    ~TSuspended()
    {
        if (active_)
            driver_.Resume();
    }
    TSuspended(const TSuspended&) = delete;
    TSuspended& operator=(const TSuspended&) = delete;

private:
    TSearchDriver& driver_;
    bool active_;
};

// Holds the recovery's worker, and its broken-name question, while the
// window asks one of its own.
class TRecoverySuspended {
public:
    TRecoverySuspended(TThreadRecover* thread, TBrokenNameAsker& asker) : thread_(thread), asker_(asker)
    {
        if (thread_)
            thread_->Suspend();
        asker_.Hold();
    }
    ~TRecoverySuspended()
    {
        asker_.Release();
        if (thread_)
            thread_->Resume();
    }
    TRecoverySuspended(const TRecoverySuspended&) = delete;
    TRecoverySuspended& operator=(const TRecoverySuspended&) = delete;

private:
    TThreadRecover* thread_;
    TBrokenNameAsker& asker_;
};

// The hourglass while a folder's contents are listed.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// The design width of a list column, or more when the user's font and date
// format need it to show a whole text.
int ListColumnWidth(const QTreeView& list, int column)
{
    const QFontMetrics metrics(list.font());
    constexpr int kPadding = 12;        // the cell's margins
    constexpr int kArrow = 16 + 4;      // the header's sort arrow and its gap
    QString sample;
    switch (column) {
    case TFileListModel::ColSize: sample = QString::fromStdString(FormatSize(1023 * 1048576 + 1023, DecimalSeparator())); break;
    case TFileListModel::ColCondition: sample = Text(text::kConditionGood); break;
    case TFileListModel::ColModified:
    case TFileListModel::ColCreated:
        // A wide date and time: two-digit day and month, a late hour.
        sample = DateText(EncodeDateTime({2000, 12, 28, 23, 58, 58, 0}).value_or(0));
        break;
    default: return kListColumnWidths[column];
    }
    const QString header = list.model()->headerData(column, Qt::Horizontal).toString();
    return std::max({kListColumnWidths[column], metrics.horizontalAdvance(sample) + kPadding,
                     metrics.horizontalAdvance(header) + kArrow + kPadding});
}

QString DsaKeyPath()
{
    return Text(text::kDsaKeyPrefix) + Text(text::kApplicationTitle) + Text(text::kDsaKeySuffix);
}

} // namespace

TFrmMain::TFrmMain(TMainWindowSeams seams, QWidget* parent) : QMainWindow(parent), seams_(std::move(seams))
{
    if (!seams_.OpenVolume)
        seams_.OpenVolume = [](const TLogicalDisk& disk, platform::OpenError& error) {
            return OpenLogicalDisk(disk, error);
        };
    if (!seams_.ChooseImage)
        seams_.ChooseImage = [](QWidget* owner, const QString& folder) {
            return QFileDialog::getOpenFileName(owner, Text(text::kOpenImageTitle), folder,
                                                Text(text::kOpenImageFilter));
        };
    if (!seams_.AdminRestart.Available || !seams_.AdminRestart.Start)
        seams_.AdminRestart = SystemAdminRestart();

    TSearchDriver::TEvents events;
    events.Progress = [this](int percent) { SetProgress(percent); };
    events.Done = [this] { SearchDone(); };
    events.Failed = [this](const std::string& message) {
        ShowMessageBox(this, QString::fromStdString(message), QMessageBox::Critical);
    };
    search_ = std::make_unique<TSearchDriver>(
        results_,
        [this](TSearchDriver::Task task) { QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection); },
        std::move(events));

    BuildForm();
    FormCreate();
}

TFrmMain::~TFrmMain()
{
    FormDestroy();
    // The views and models follow the results, which go before the window's
    // children would: take them down first.
    for (QTreeView* view : {TrVwNoFilter, TrVwFilter, LstVwList})
        view->setModel(nullptr);
    delete ListModel;
    delete FilterModel;
    delete NoFilterModel;
}

// --- The form ---------------------------------------------------------------

void TFrmMain::BuildForm()
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(Text(text::kApplicationTitle));
    setWindowIcon(ProgramIcon());
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateResultViews();
    CreateStatusBar();

    // The design size, centred; the window cannot be made smaller.
    setMinimumSize(kDesignSize);
    resize(kDesignSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kDesignSize.width() / 2, kDesignSize.height() / 2));
}

void TFrmMain::CreateActions()
{
    auto make = [this](const char* name, const char* caption, const char* hint, const QKeySequence& shortcut,
                       void (TFrmMain::*handler)()) {
        auto* action = new QAction(caption ? Text(caption) : QString(), this);
        action->setObjectName(QLatin1String(name));
        if (hint)
            SetHint(action, hint);
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        if (handler)
            connect(action, &QAction::triggered, this, handler);
        addAction(action);
        return action;
    };
    actWizard = make("actWizard", text::kWizardHint, text::kWizardHint, {}, &TFrmMain::actWizardExecute);
    actWizard->setIconText(Text(text::kWizardButton));
    actWizard->setIcon(ToolImage(TToolImage::Wizard));
    actAnalyze = make("actAnalyze", text::kAnalyzeCaption, text::kAnalyzeHint, Qt::Key_F5,
                      &TFrmMain::actAnalyzeExecute);
    actAnalyze->setIconText(Text(text::kAnalyzeButton));
    actAnalyze->setIcon(ToolImage(TToolImage::Analyze));
    actRecover = make("actRecover", text::kRecoverCaption, text::kRecoverHint, Qt::CTRL | Qt::Key_R,
                      &TFrmMain::actRecoverExecute);
    actRecover->setIconText(Text(text::kRecoverButton));
    actRecover->setIcon(ToolImage(TToolImage::Recover));
    actStop = make("actStop", text::kStopCaption, text::kStopHint, Qt::CTRL | Qt::Key_S, &TFrmMain::actStopExecute);
    actStop->setIconText(Text(text::kStopButton));
    actStop->setIcon(ToolImage(TToolImage::Stop));
    actFileExit = make("actFileExit", text::kExitCaption, text::kExitHint, {}, nullptr);
    connect(actFileExit, &QAction::triggered, this, &QWidget::close);
    actFindFile = make("actFindFile", text::kFindCaption, text::kFindHint, Qt::CTRL | Qt::Key_F,
                       &TFrmMain::actFindFileExecute);
    actFindFile->setIconText(Text(text::kFindButton));
    actFindFile->setIcon(ToolImage(TToolImage::Find));
    actFindnextfile = make("actFindnextfile", text::kFindNextCaption, text::kFindNextHint, Qt::Key_F3,
                           &TFrmMain::actFindnextfileExecute);
    actFilter = make("actFilter", text::kFilterCaption, text::kFilterHint, Qt::CTRL | Qt::Key_T,
                     &TFrmMain::actFilterExecute);
    actFilter->setCheckable(true);
    actShowToolBar = make("actShowToolBar", text::kToolBarCaption, nullptr, {}, nullptr);
    actShowToolBar->setCheckable(true);
    actShowStatusBar = make("actShowStatusBar", text::kStatusBarCaption, nullptr, {}, nullptr);
    actShowStatusBar->setCheckable(true);
    actContents = make("actContents", text::kContentsCaption, text::kContentsHint, QKeySequence::HelpContents,
                       &TFrmMain::actContentsExecute);
    actContents->setIconText(Text(text::kHelpButton));
    actContents->setIcon(ToolImage(TToolImage::Help));
    // F1 opens the help from every window of the program.
    actContents->setShortcutContext(Qt::ApplicationShortcut);
    actAbout = make("actAbout", text::kAboutCaption, text::kAboutHint, {}, &TFrmMain::actAboutExecute);
    actSettings = make("actSettings", text::kSettingsCaption, text::kSettingsHint, {}, &TFrmMain::actSettingsExecute);
    actOpenImage = make("actOpenImage", text::kOpenImageCaption, text::kOpenImageHint, QKeySequence::Open,
                        &TFrmMain::actOpenImageExecute);
    actOpenImage->setIcon(ToolImage(TToolImage::OpenImage));

    // Space previews the list's file: the key belongs to the list alone
    // (the list adds the action once it exists), not to the whole window.
    actPreview = new QAction(Text(text::kPreviewCaption), this);
    actPreview->setObjectName(QStringLiteral("actPreview"));
    SetHint(actPreview, text::kPreviewHint);
    actPreview->setShortcut(Qt::Key_Space);
    actPreview->setShortcutContext(Qt::WidgetShortcut);
    connect(actPreview, &QAction::triggered, this, &TFrmMain::actPreviewExecute);
}

void TFrmMain::CreateMenus()
{
    QMenu* file = menuBar()->addMenu(Text(text::kMenuFile));
    file->addAction(actOpenImage);
    file->addSeparator();
    file->addAction(actAnalyze);
    file->addAction(actRecover);
    file->addAction(actStop);
    file->addSeparator();
    file->addAction(actFileExit);

    QMenu* edit = menuBar()->addMenu(Text(text::kMenuEdit));
    edit->addAction(actFindFile);
    edit->addAction(actFindnextfile);
    edit->addSeparator();
    // Not placed by the original design; a user must be able to reach it.
    edit->addAction(actSettings);

    QMenu* view = menuBar()->addMenu(Text(text::kMenuView));
    view->addAction(actFilter);
    view->addSeparator();
    view->addAction(actShowToolBar);
    view->addAction(actShowStatusBar);

    QMenu* help = menuBar()->addMenu(Text(text::kMenuHelp));
    help->addAction(actContents);
    help->addSeparator();
    help->addAction(actAbout);
}

void TFrmMain::CreateToolBar()
{
    TlBrMain = addToolBar(QStringLiteral("Tools"));
    TlBrMain->setObjectName(QStringLiteral("TlBrMain"));
    TlBrMain->setMovable(false);
    TlBrMain->setFloatable(false);
    TlBrMain->setIconSize(QSize(32, 32));
    TlBrMain->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    TlBrMain->toggleViewAction()->setVisible(false);

    TlBtnFilter = new QToolButton(TlBrMain);
    TlBtnFilter->setObjectName(QStringLiteral("TlBtnFilter"));
    TlBtnFilter->setText(Text(text::kFilterButton));
    TlBtnFilter->setToolTip(Text(text::kFilterHint));
    TlBtnFilter->setStatusTip(Text(text::kFilterHint));
    TlBtnFilter->setIcon(ToolImage(TToolImage::Filter));
    TlBtnFilter->setCheckable(true);
    TlBtnFilter->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    TlBtnFilter->setIconSize(QSize(32, 32));
    TlBtnFilter->setAutoRaise(true);
    connect(TlBtnFilter, &QToolButton::clicked, this, &TFrmMain::ApplyFilterView);

    TlBrMain->addAction(actWizard);
    TlBrMain->addSeparator();
    TlBrMain->addAction(actAnalyze);
    TlBrMain->addAction(actRecover);
    TlBrMain->addAction(actStop);
    TlBrMain->addSeparator();
    TlBrMain->addAction(actFindFile);
    TlBrMain->addWidget(TlBtnFilter);
    TlBrMain->addSeparator();
    TlBrMain->addAction(actContents);
    TlBrMain->addSeparator();
    for (QAction* action : TlBrMain->actions())
        if (QWidget* button = TlBrMain->widgetForAction(action); button && !action->isSeparator())
            button->setMinimumSize(kToolButtonSize);

    connect(actShowToolBar, &QAction::toggled, TlBrMain, &QWidget::setVisible);
}

void TFrmMain::CreateResultViews()
{
    auto makeTree = [this](const char* name) {
        auto* tree = new QTreeView;
        tree->setObjectName(QLatin1String(name));
        tree->setHeaderHidden(true);
        tree->setIndentation(19);
        tree->setUniformRowHeights(true);
        tree->setSelectionMode(QAbstractItemView::SingleSelection);
        tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tree->setIconSize(QSize(16, 16));
        tree->setContextMenuPolicy(Qt::CustomContextMenu);
        return tree;
    };
    TrVwNoFilter = makeTree("TrVwNoFilter");
    TrVwFilter = makeTree("TrVwFilter");
    // The filtered tree's folder names can be edited: a recovered folder
    // takes the name its node shows.
    TrVwFilter->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    TrVwHide = makeTree("TrVwHide");
    TrVwHide->setEnabled(false);

    NoFilterModel = new TResultsTreeModel(results_.Tree(), false, this);
    FilterModel = new TResultsTreeModel(results_.FilterTree(), true, this);
    TrVwNoFilter->setModel(NoFilterModel);
    TrVwFilter->setModel(FilterModel);
    currentTree_ = TrVwNoFilter;

    for (QTreeView* tree : {TrVwNoFilter, TrVwFilter}) {
        TResultsTreeModel* model = ModelOf(tree);
        connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, tree](const QModelIndex& current) { TreeSelectionChanged(tree, current); });
        connect(tree, &QTreeView::expanded, this, [this, tree](const QModelIndex& i) { MirrorExpansion(tree, i, true); });
        connect(tree, &QTreeView::collapsed, this,
                [this, tree](const QModelIndex& i) { MirrorExpansion(tree, i, false); });
        connect(model, &TResultsTreeModel::expandedChanged, this,
                [this, tree](const QModelIndex& i, bool on) { FollowEngineExpansion(tree, i, on); });
        connect(model, &TResultsTreeModel::treeReset, this, [this, tree] { RestoreExpansion(tree); });
        connect(tree, &QWidget::customContextMenuRequested, this,
                [this, tree](const QPoint& position) { TreeContextMenu(tree, position); });
    }

    ListModel = new TFileListModel(this);
    ListModel->Follow(results_.Tree());
    ListModel->Follow(results_.FilterTree());
    auto makeList = [](const char* name) {
        auto* list = new QTreeView;
        list->setObjectName(QLatin1String(name));
        list->setRootIsDecorated(false);
        list->setItemsExpandable(false);
        list->setUniformRowHeights(true);
        list->setAllColumnsShowFocus(true);
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setSelectionBehavior(QAbstractItemView::SelectRows);
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setIconSize(QSize(16, 16));
        list->header()->setStretchLastSection(false);
        list->header()->setSortIndicatorShown(false);
        list->header()->setSectionsClickable(true);
        list->header()->setSectionsMovable(false);
        return list;
    };
    LstVwList = makeList("LstVwList");
    LstVwList->setModel(ListModel);
    LstVwList->setContextMenuPolicy(Qt::CustomContextMenu);
    LstVwList->installEventFilter(this);
    LstVwList->addAction(actPreview);
    connect(LstVwList, &QAbstractItemView::doubleClicked, this, &TFrmMain::OpenListFolder);
    connect(LstVwList->header(), &QHeaderView::sectionClicked, ListModel, &TFileListModel::ColumnClicked);
    connect(LstVwList, &QWidget::customContextMenuRequested, this, &TFrmMain::ListContextMenu);
    LstVwHide = makeList("LstVwHide");
    auto* blank = new QStandardItemModel(0, TFileListModel::ColumnCount, LstVwHide);
    for (int c = 0; c < TFileListModel::ColumnCount; ++c)
        blank->setHeaderData(c, Qt::Horizontal, ListModel->headerData(c, Qt::Horizontal, Qt::DisplayRole));
    LstVwHide->setModel(blank);
    LstVwHide->setEnabled(false);
    for (QTreeView* list : {LstVwList, LstVwHide})
        for (int c = 0; c < TFileListModel::ColumnCount; ++c)
            list->setColumnWidth(c, ListColumnWidth(*list, c));

    // Left: the drive box over the trees; right: the list.
    auto* left = new QWidget;
    left->setMinimumWidth(kLeftPanelMinimum);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(2);
    CmbBxDrives = new TDriveBox(left);
    CmbBxDrives->setObjectName(QStringLiteral("CmbBxDrives"));
    connect(CmbBxDrives, &QComboBox::activated, this, &TFrmMain::CmbBxDrivesChange);
    TreePages = new QStackedWidget(left);
    TreePages->addWidget(TrVwNoFilter);
    TreePages->addWidget(TrVwFilter);
    TreePages->addWidget(TrVwHide);
    leftLayout->addWidget(CmbBxDrives);
    leftLayout->addWidget(TreePages, 1);

    ListPages = new QStackedWidget;
    ListPages->addWidget(LstVwList);
    ListPages->addWidget(LstVwHide);

    SplitterMain = new QSplitter(Qt::Horizontal, this);
    SplitterMain->setObjectName(QStringLiteral("SplitterMain"));
    SplitterMain->setHandleWidth(kSplitterWidth);
    SplitterMain->setChildrenCollapsible(false);
    SplitterMain->addWidget(left);
    SplitterMain->addWidget(ListPages);
    SplitterMain->setStretchFactor(0, 0);
    SplitterMain->setStretchFactor(1, 1);
    SplitterMain->setSizes({kLeftPanelWidth, kDesignSize.width() - kLeftPanelWidth - kSplitterWidth});
    setCentralWidget(SplitterMain);

    PopupMenu = new QMenu(this);
    PopupMenu->addAction(actRecover);
    LstPopupMenu = new QMenu(this);
    LstPopupMenu->setObjectName(QStringLiteral("LstPopupMenu"));
    LstPopupMenu->addAction(actRecover);
    LstPopupMenu->addAction(actPreview);
}

void TFrmMain::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StBrStatus"));
    StatusPanel0 = new QLabel(bar);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setFixedWidth(200);
    StatusPanel1 = new TProgressPanel(bar);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusPanel1->setFixedWidth(150);
    StatusPanel2 = new QWidget(bar);
    StatusPanel2->setObjectName(QStringLiteral("StatusPanel2"));
    StatusPanel2->setFixedWidth(150);
    bar->addWidget(StatusPanel0);
    bar->addWidget(StatusPanel1);
    bar->addWidget(StatusPanel2);
    bar->addWidget(new QWidget(bar), 1);
    connect(actShowStatusBar, &QAction::toggled, bar, &QWidget::setVisible);

    StatusTimer = new QTimer(this);
    StatusTimer->setInterval(kStatusTimerMs);
    connect(StatusTimer, &QTimer::timeout, this, &TFrmMain::StatusTimerTick);
}

// --- Creation and destruction -----------------------------------------------

void TFrmMain::FormCreate()
{
    try {
        options_ = NewProgramOptions();
        options_->AddString(kOptImageFolder, std::string());
        options_->Load();

        instance_ = std::make_unique<TSingleInstance>(Text(text::kInstanceName), seams_.InstanceFolder);
        if (!instance_->Claim(seams_.Volumes)) {
            // The running instance comes to the front instead.
            secondInstance_ = true;
            shouldRun_ = false;
            return;
        }
        connect(instance_.get(), &TSingleInstance::showRequested, this, &TFrmMain::WMUserShow);
        engineMessages_ = std::make_unique<TEngineMessages>(this);
        findUsed_ = false;
        currentTree_ = TrVwNoFilter;

        CmbBxDrives->LoadDrives(seams_.Drives);

        const bool showStatusBar = options_->Find(kOptShowStatusBar).GetBoolean();
        const bool showToolBar = options_->Find(kOptShowToolBar).GetBoolean();
        actShowStatusBar->setChecked(showStatusBar);
        actShowToolBar->setChecked(showToolBar);
        statusBar()->setVisible(showStatusBar);
        TlBrMain->setVisible(showToolBar);

        progress_ = 0;
        analyzedDriveIndex_ = -1;
        activity_ = TActivity::Idle;
        CmbBxDrivesChange();
        ListModel->SetSortMode(TFileListModel::kInitialSortMode);
        ReadStartupWizardFlag();

        frmFind = std::make_unique<TfrmFind>(this);
        frmSettings = std::make_unique<TfrmSettings>(*options_, HideStartupWizard, this);
        frmRecover = std::make_unique<TFrmRecover>(*options_, this);
        frmRecover->StartRecovery = [this](const QString& path, bool recoverAll, bool restoreStructure) {
            StartRecovery(path, recoverAll, restoreStructure);
        };
        frmRecover->CheckTarget = [this](const std::string& folder) {
            if (!analysis_)
                return TTargetCheck{};
            const std::unique_ptr<platform::StorageQueries> queries =
                seams_.StorageQueries ? seams_.StorageQueries() : platform::SystemStorageQueries();
            return CheckTargetPlacement(analysis_->Disk().DevicePath, folder, *queries);
        };
        frmBroken = std::make_unique<TFrmBroken>(this);
        frmConfirmRestore = std::make_unique<TfrmConfirmRestore>(this);
        recoverySink_ = std::make_unique<TWindowRecoverySink>(*this);
        recoverySink_->Finished = [this](std::uint64_t run) { RecoveryFinished(run); };
        brokenAsker_ = std::make_unique<TBrokenNameAsker>(*frmBroken);
        frmPreview = std::make_unique<TFrmPreview>(this);
        StatusTimer->start();
        created_ = true;
    } catch (const std::exception& error) {
        ShowMessageBox(this, QString::fromStdString(error.what()), QMessageBox::Critical);
        shouldRun_ = false;
        exitCode_ = 1;
    }
}

void TFrmMain::RepairStoredOptions()
{
    // A value of the wrong type ends the start; left in place it would end
    // every start after it. Only such values are replaced (by the default);
    // the other stored settings stay as they are.
    const auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, options_->KeyPath(),
                                               platform::RegOpen::Read);
    if (!key)
        return;
    for (std::size_t i = 0; i < options_->Count(); ++i) {
        const TOption& option = options_->Item(i);
        const auto value = key->Read(option.Name());
        if (!value)
            continue;
        const bool fits = (value->type == platform::RegType::Dword && option.Kind() == TOption::kInteger) ||
                          (value->type == platform::RegType::Sz && option.Kind() == TOption::kString) ||
                          (value->type == platform::RegType::Binary && option.Kind() == TOption::kBinary);
        const bool ours = value->type == platform::RegType::Dword || value->type == platform::RegType::Sz ||
                          value->type == platform::RegType::Binary;
        if (ours && !fits)
            options_->SaveOne(option.Name());
    }
}

void TFrmMain::FormDestroy()
{
    if (secondInstance_)
        return;  // it never showed; the running instance keeps the settings
    search_->Stop();
    // The preview's read names a file of results_, which go with the window.
    if (frmPreview)
        frmPreview->StopReading();
    if (recoverThread_) {
        recoverThread_->RequestStop();
        brokenAsker_->Cancel();
        recoverThread_.reset();
    }
    // The dialogs write their options into the store first, in the reverse
    // of their creation.
    brokenAsker_.reset();
    frmConfirmRestore.reset();
    frmBroken.reset();
    frmRecover.reset();
    frmSettings.reset();
    if (!options_)
        return;
    try {
        if (created_) {
            options_->Find(kOptShowStatusBar).SetBoolean(actShowStatusBar->isChecked());
            options_->Find(kOptShowToolBar).SetBoolean(actShowToolBar->isChecked());
            options_->SaveAll();
        } else {
            RepairStoredOptions();
        }
        options_.reset();
    } catch (const std::exception& error) {
        qWarning("The settings could not be saved: %s", error.what());
    }
    if (created_)
        WriteStartupWizardFlag();
}

void TFrmMain::ReadStartupWizardFlag()
{
    const auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, DsaKeyPath().toStdString(),
                                               platform::RegOpen::Read);
    if (!key)
        return;
    if (const auto value = key->Read(text::kDsaValue); value && value->type == platform::RegType::Dword)
        HideStartupWizard = value->number != 0;
}

void TFrmMain::WriteStartupWizardFlag() const
{
    if (const auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, DsaKeyPath().toStdString(),
                                                   platform::RegOpen::Create))
        key->WriteDword(text::kDsaValue, HideStartupWizard ? 1 : 0);
}

void TFrmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activated_) {
        activated_ = true;
        // After the window has painted: the wizard is modal.
        QTimer::singleShot(0, this, &TFrmMain::FirstActivation);
    }
}

void TFrmMain::FirstActivation()
{
    // A stored "Don't show wizard on startup." keeps the wizard closed.
    if (RunWizard && !HideStartupWizard)
        HideStartupWizard = RunWizard(true);
}

void TFrmMain::WMUserShow(const QStringList& volumes)
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    emit broughtToFront();
    OpenVolumes(volumes);
}

// --- Enabled states -----------------------------------------------------------

bool TFrmMain::AnalysedDriveSelected() const
{
    return analyzedDriveIndex_ >= 0 && CmbBxDrives->currentIndex() == analyzedDriveIndex_;
}

void TFrmMain::updateActions()
{
    const bool idle = activity_ == TActivity::Idle;
    const bool analysing = activity_ == TActivity::Analyzing;
    const bool shown = AnalysedDriveSelected();
    const TTreeNode* selected = SelectedNode(currentTree_);

    actAnalyze->setEnabled(idle && CmbBxDrives->count() > 0);
    actStop->setEnabled(!idle);
    CmbBxDrives->setEnabled(!analysing);
    TlBtnFilter->setEnabled(!analysing);
    actFilter->setEnabled(!analysing);
    actOpenImage->setEnabled(!analysing);
    actFindFile->setEnabled(shown);
    actFindnextfile->setEnabled(shown && findUsed_);
    // The reader serves one worker at a time.
    actPreview->setEnabled(shown && idle);
    // One worker at a time: no recovery while the search holds the volume.
    actRecover->setEnabled(shown && idle && selected && ShowsDeleted(*selected));

    TrVwNoFilter->setEnabled(shown);
    TrVwFilter->setEnabled(shown);
    // A recovery reads the folders' names: they are not edited meanwhile.
    TrVwFilter->setEditTriggers(activity_ == TActivity::Recovering
                                    ? QAbstractItemView::NoEditTriggers
                                    : QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    LstVwList->setEnabled(shown);
    TreePages->setCurrentWidget(shown ? currentTree_ : TrVwHide);
    ListPages->setCurrentWidget(shown ? LstVwList : LstVwHide);
}

void TFrmMain::CmbBxDrivesChange()
{
    updateActions();
}

// --- Volumes ------------------------------------------------------------------

void TFrmMain::OpenVolumes(const QStringList& paths)
{
    for (const QString& path : paths)
        AddVolume(path);
}

bool TFrmMain::AddVolume(const QString& path)
{
    if (path.isEmpty())
        return false;
    // A device keeps its name; a file is taken by its full path.
    const QFileInfo info(path);
    const std::string name =
        (path.startsWith(QStringLiteral("/dev/")) ? path : QDir::cleanPath(info.absoluteFilePath())).toStdString();
    const bool select = activity_ != TActivity::Analyzing;

    if (const int listed = CmbBxDrives->FindDevice(name); listed >= 0) {
        if (select)
            CmbBxDrives->setCurrentIndex(listed);
        CmbBxDrivesChange();
        return true;
    }
    TLogicalDisk disk;
    disk.DevicePath = name;
    platform::OpenError error;
    const platform::VolumePtr volume = seams_.OpenVolume(disk, error);
    if (!volume) {
        ReportOpenFailure(disk, error);
        return false;
    }
    const std::vector<TDriveEntry> entries = ImageEntries(name, ProbeDisk(disk, volume));
    if (entries.empty()) {
        ShowMessageBox(this, Text(text::kNothingToAnalyse).arg(path), QMessageBox::Warning);
        return false;
    }
    const int first = CmbBxDrives->AddEntries(entries);
    if (select)
        CmbBxDrives->setCurrentIndex(first);
    CmbBxDrivesChange();
    return true;
}

void TFrmMain::actOpenImageExecute()
{
    TOption& folder = options_->Find(kOptImageFolder);
    QString start = QString::fromStdString(folder.GetString());
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::homePath();
    const QString path = seams_.ChooseImage(this, start);
    if (path.isEmpty())
        return;
    folder.SetString(QFileInfo(path).absolutePath().toStdString());
    AddVolume(path);
}

void TFrmMain::ReportOpenFailure(const TLogicalDisk& disk, const platform::OpenError& error)
{
    const QString device = QString::fromStdString(disk.DevicePath);
    if (!IsPermissionError(error.code)) {
        ShowMessageBox(this, Text(text::kCannotOpen).arg(device, QString::fromStdString(error.message)),
                       QMessageBox::Critical);
        return;
    }
    const QString reason = Text(text::kNoPermission).arg(device);
    if (!seams_.AdminRestart.Available()) {
        ShowMessageBox(this, reason + QStringLiteral("\r\r") + Text(text::kNoAdminTool), QMessageBox::Warning);
        return;
    }
    if (ShowMessageBox(this, reason + QStringLiteral("\r\r") + Text(text::kOfferAdminRestart), QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        RestartAsAdministrator({device});
}

void TFrmMain::RestartAsAdministrator(const QStringList& arguments)
{
    // The new instance must not find this one still listening.
    instance_->Release();
    if (!seams_.AdminRestart.Start(arguments)) {
        instance_->Claim();
        ShowMessageBox(this, Text(text::kAdminRestartFailed), QMessageBox::Critical);
        return;
    }
    close();
}

// --- Analysis -----------------------------------------------------------------

void TFrmMain::actAnalyzeExecute()
{
    if (activity_ != TActivity::Idle)
        return;
    const int index = CmbBxDrives->currentIndex();
    const TDriveEntry* entry = CmbBxDrives->Entry(index);
    if (!entry)
        return;  // no drive to analyse
    const TLogicalDisk disk = entry->Disk;

    // Open the volume and read its boot sector first: when that fails the
    // previous results stay as they are.
    platform::OpenError openError;
    platform::VolumePtr volume = seams_.OpenVolume(disk, openError);
    if (!volume) {
        ReportOpenFailure(disk, openError);
        return;
    }
    std::string error;
    // The search follows the boot sector's file system, not the drive's
    // FileSystem text: a removable NTFS drive gets the NTFS search.
    std::shared_ptr<TAnalysis> analysis = TAnalysis::Open(disk, std::move(volume), error);
    if (!analysis) {
        ShowMessageBox(this, QString::fromStdString(error), QMessageBox::Critical);
        return;
    }
    // The search replaces the results a preview may be reading from.
    StopWorker(false);

    analyzedDriveIndex_ = index;
    activity_ = TActivity::Analyzing;
    TlBtnFilter->setChecked(false);
    ApplyFilterView();
    currentTree_->selectionModel()->clear();
    SetProgress(0);
    SetStatusText(Text(text::kAnalyzing));
    updateActions();

    TAnalysisOptions options;
    options.EstimateCondition = frmSettings->Determinate();
    options.FatClusters = FatClusterRuleOption(*options_);
    analysis_ = analysis;
    if (!search_->Start(std::move(analysis), options, error)) {
        SearchDone();
        ShowMessageBox(this, QString::fromStdString(error), QMessageBox::Critical);
    }
}

void TFrmMain::SearchDone()
{
    SetStatusText({});
    StatusPanel0->clear();
    // The search driver has built the filtered tree (after a stop too).
    SetProgress(0);
    activity_ = TActivity::Idle;
    updateActions();
    currentTree_->viewport()->update();
    if (TResultsTreeModel* model = CurrentTreeModel(); model->rowCount() > 0 && !currentTree_->currentIndex().isValid())
        currentTree_->setCurrentIndex(model->index(0, 0));
    emit searchDone();
}

void TFrmMain::actStopExecute()
{
    StopWorker(true);
}

void TFrmMain::StopWorker(bool report)
{
    // A preview's read leases the reader as the workers do, and reads the
    // results: it ends first (it runs only while the window is idle).
    if (frmPreview)
        frmPreview->StopReading();
    if (activity_ == TActivity::Analyzing) {
        stopInProgress_ = true;
        search_->Stop();
        stopInProgress_ = false;
        SearchDone();
    } else if (activity_ == TActivity::Recovering && recoverThread_) {
        // A question that waits is answered "Skip" (and an open dialog
        // closed), so the worker cannot keep the stop waiting.
        ++recoveryRun_;
        stopInProgress_ = true;
        recoverThread_->RequestStop();
        brokenAsker_->Cancel();
        recoverThread_->Stop();
        stopInProgress_ = false;
        std::unique_ptr<TThreadRecover> thread = std::move(recoverThread_);
        RecoveryDone();
        if (report)
            ReportRecovery(thread->Summary(), true);
        emit recoveryDone();
    }
}

void TFrmMain::closeEvent(QCloseEvent* event)
{
    if (!actStop->isEnabled()) {
        StopWorker(false);
        event->accept();
        return;
    }
    QMessageBox::StandardButton answer;
    {
        TSuspended suspended(*search_, activity_ == TActivity::Analyzing);
        TRecoverySuspended held(activity_ == TActivity::Recovering ? recoverThread_.get() : nullptr, *brokenAsker_);
        answer = ShowMessageBox(this, Text(text::kCloseQuestion), QMessageBox::Question,
                                QMessageBox::Yes | QMessageBox::No);
    }
    if (answer == QMessageBox::Yes) {
        StopWorker(false);
        event->accept();
    } else {
        event->ignore();
    }
}

// --- Status bar ---------------------------------------------------------------

void TFrmMain::SetProgress(int percent)
{
    progress_.store(percent);
}

void TFrmMain::SetStatusText(const QString& text)
{
    QMutexLocker lock(&statusMutex_);
    statusText_ = text;
}

QString TFrmMain::StatusText() const
{
    QMutexLocker lock(&statusMutex_);
    return statusText_;
}

void TFrmMain::StatusTimerTick()
{
    // Hints take panel 0 while the mouse is over a control; the activity text
    // comes back once the hint is gone. A new activity text (the recovery's
    // file names) replaces the one shown before it, but never a hint.
    const QString status = StatusText();
    const QString shown = StatusPanel0->text();
    if ((shown.isEmpty() || shown == shownStatus_) && status != shown) {
        StatusPanel0->setText(status);
        shownStatus_ = status;
    }
    StatusPanel1->SetPercent(progress_.load());
}

bool TFrmMain::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        StatusPanel0->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

// --- Results views ------------------------------------------------------------

TResultsTreeModel* TFrmMain::ModelOf(const QTreeView* view) const
{
    return view == TrVwFilter ? FilterModel : NoFilterModel;
}

TResultsTreeModel* TFrmMain::CurrentTreeModel() const
{
    return ModelOf(currentTree_);
}

QTreeView* TFrmMain::OtherTree(const QTreeView* view) const
{
    return view == TrVwFilter ? TrVwNoFilter : TrVwFilter;
}

TTreeNode* TFrmMain::SelectedNode(const QTreeView* view) const
{
    return view ? TResultsTreeModel::NodeOf(view->currentIndex()) : nullptr;
}

void TFrmMain::SelectNode(QTreeView* view, const TTreeNode* node)
{
    const QModelIndex index = ModelOf(view)->IndexOf(node);
    view->setCurrentIndex(index);
    view->scrollTo(index);
}

void TFrmMain::actFilterExecute()
{
    TlBtnFilter->setChecked(!TlBtnFilter->isChecked());
    ApplyFilterView();
}

void TFrmMain::ApplyFilterView()
{
    const bool filtered = TlBtnFilter->isChecked();
    QTreeView* from = currentTree_;
    QTreeView* to = filtered ? TrVwFilter : TrVwNoFilter;
    currentTree_ = to;
    actFilter->setChecked(filtered);
    if (from != to) {
        // The same folder stays selected when it is in both trees.
        TResultsTree& target = ModelOf(to)->Tree();
        if (const TTreeNode* selected = SelectedNode(from)) {
            const std::int32_t twin = selected->Data().TwinIndex;
            if (twin >= 0)
                SelectNode(to, target.NodeAt(twin));
            else if (filtered && target.First())
                SelectNode(to, target.First());
        }
    }
    // The list shows the contents of the folder selected in the tree shown.
    TTreeNode* shown = SelectedNode(currentTree_);
    if (shown != ListModel->ShownFolder())
        ListModel->SetShownFolder(shown);
    updateActions();
}

void TFrmMain::TreeSelectionChanged(QTreeView* view, const QModelIndex& current)
{
    TTreeNode* node = TResultsTreeModel::NodeOf(current);
    if (view != currentTree_ || !node)
        return;
    TBusyCursor busy;
    ListModel->SetShownFolder(node);
    updateActions();
}

void TFrmMain::MirrorExpansion(QTreeView* view, const QModelIndex& index, bool expanded)
{
    TTreeNode* node = TResultsTreeModel::NodeOf(index);
    if (!node)
        return;
    if (expanded && view == TrVwNoFilter && !NoFilterModel->ExpansionAllowed()) {
        view->collapse(index);
        return;
    }
    node->Owner().SetExpanded(*node, expanded);
    if (const std::int32_t twin = node->Data().TwinIndex; twin >= 0)
        if (TTreeNode* other = ModelOf(OtherTree(view))->Tree().NodeAt(twin))
            other->Owner().SetExpanded(*other, expanded);
}

void TFrmMain::FollowEngineExpansion(QTreeView* view, const QModelIndex& index, bool expanded)
{
    if (view->isExpanded(index) != expanded)
        view->setExpanded(index, expanded);
}

void TFrmMain::RestoreExpansion(QTreeView* view)
{
    const TResultsTree& tree = ModelOf(view)->Tree();
    for (const TTreeNode* node = tree.First(); node; node = tree.NextDepthFirst(*node))
        if (node->Expanded())
            view->setExpanded(ModelOf(view)->IndexOf(node), true);
}

void TFrmMain::OpenListFolder()
{
    TSuspended suspended(*search_, activity_ == TActivity::Analyzing);
    const int row = LstVwList->currentIndex().row();
    TTreeNode* selected = SelectedNode(currentTree_);
    if (row < 0 || !selected || !ListModel->IsFolderRow(row))
        return;
    TTreeNode* child = ListModel->FolderAt(row);
    if (!child)
        return;
    selected->Owner().SetExpanded(*selected, true);
    SelectNode(currentTree_, child);
}

bool TFrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == LstVwList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OpenListFolder();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFrmMain::TreeContextMenu(QTreeView* view, const QPoint& position)
{
    const QModelIndex index = view->indexAt(position);
    if (!index.isValid())
        return;
    view->setCurrentIndex(index);
    if (SelectedNode(currentTree_))
        PopupMenu->popup(view->viewport()->mapToGlobal(position));
}

void TFrmMain::ListContextMenu(const QPoint& position)
{
    if (LstVwList->indexAt(position).isValid() && SelectedNode(currentTree_))
        LstPopupMenu->popup(LstVwList->viewport()->mapToGlobal(position));
}

// --- The other actions ----------------------------------------------------------

void TFrmMain::actSettingsExecute()
{
    frmSettings->exec();
}

void TFrmMain::actWizardExecute()
{
    if (!RunWizard) {
        NotAvailableYet();
        return;
    }
    actStopExecute();
    RunWizard(false);
}

// --- Recovery -------------------------------------------------------------------

void TFrmMain::actRecoverExecute()
{
    if (!actRecover->isEnabled())
        return;
    frmRecover->exec();
}

void TFrmMain::StartRecovery(const QString& targetPath, bool recoverAll, bool restoreStructure)
{
    const TTreeNode* folder = SelectedNode(currentTree_);
    if (!folder || !analysis_)
        return;
    StopWorker(false);

    // The rows selected in the list, in list order: subfolders and files of
    // the folder it shows.
    TRecoverySelection selection;
    selection.SelectedFolder = folder;
    const TTreeNode* shown = ListModel->ShownFolder();
    if (shown == folder && LstVwList->selectionModel()) {
        std::vector<int> rows;
        for (const QModelIndex& index : LstVwList->selectionModel()->selectedRows())
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        for (const int row : rows) {
            if (ListModel->IsFolderRow(row)) {
                if (const TTreeNode* child = ListModel->FolderAt(row))
                    selection.ListFolders.push_back(child);
            } else {
                selection.ListFiles.push_back({shown, static_cast<std::size_t>(ListModel->RowSource(row))});
            }
        }
        selection.HasListSelection = !rows.empty();
    }
    TRecoveryJob job;
    if (!BuildRecoveryJob(selection, targetPath.toStdString(), recoverAll, restoreStructure, job))
        return;
    job.Analysis = analysis_;
    job.FatClusters = FatClusterRuleOption(*options_);

    activity_ = TActivity::Recovering;
    recoveryTarget_ = targetPath;
    SetProgress(0);
    SetStatusText(Text(text::kRecovering));
    brokenAsker_->StartJob();
    recoverySink_->Run = ++recoveryRun_;
    recoverThread_ = std::make_unique<TThreadRecover>(std::move(job), *recoverySink_, *brokenAsker_);
    updateActions();
    recoverThread_->Start();
}

void TFrmMain::RecoveryFinished(std::uint64_t run)
{
    if (run != recoveryRun_ || !recoverThread_)
        return;  // that job was stopped meanwhile
    // Its end was the worker's last report: the thread ends now.
    recoverThread_->Wait();
    std::unique_ptr<TThreadRecover> thread = std::move(recoverThread_);
    RecoveryDone();
    ReportRecovery(thread->Summary(), false);
    emit recoveryDone();
}

void TFrmMain::RecoveryDone()
{
    activity_ = TActivity::Idle;
    SetStatusText({});
    StatusPanel0->clear();
    SetProgress(0);
    updateActions();
}

void TFrmMain::ReportRecovery(const TRecoverySummary& summary, bool stopped)
{
    ShowRecoveryReport(this, summary, recoveryTarget_, stopped);
}

// --- Find -----------------------------------------------------------------------

void TFrmMain::actFindFileExecute()
{
    if (frmFind->exec() != QDialog::Accepted || frmFind->Pattern().isEmpty())
        return;
    FindFile(frmFind->Pattern(), frmFind->DeletedOnly());
    if (!findUsed_) {
        findUsed_ = true;
        updateActions();
    }
}

void TFrmMain::actFindnextfileExecute()
{
    // The text and the box as the dialog was left.
    if (!frmFind->Pattern().isEmpty())
        FindFile(frmFind->Pattern(), frmFind->DeletedOnly());
}

void TFrmMain::FindFile(const QString& pattern, bool deletedOnly)
{
    // The tree must not grow while it is walked.
    TSuspended suspended(*search_, activity_ == TActivity::Analyzing);
    ListModel->ApplyPendingRows();
    QTreeView* tree = currentTree_;
    const TResultsTree& results = ModelOf(tree)->Tree();
    const auto count = static_cast<std::int32_t>(results.Count());
    const std::string wanted = pattern.toStdString();

    // From the selected folder, at the file row after the selected one.
    std::int32_t startNode = 0;
    int startRow = 0;
    if (const TTreeNode* selected = SelectedNode(tree)) {
        startNode = std::max<std::int32_t>(0, selected->AbsoluteIndex());
        const QModelIndexList rows = LstVwList->selectionModel()->selectedRows();
        if (!rows.isEmpty()) {
            int first = rows.front().row();
            for (const QModelIndex& row : rows)
                first = std::min(first, row.row());
            startRow = std::max(0, first - static_cast<int>(selected->ChildCount()) + 1);
        }
    }

    // Every folder once, in tree order from the start, and the start folder
    // again at the end for its rows before the start row.
    bool started = false;
    for (std::int32_t k = 0; count > 0 && k <= count; ++k) {
        TTreeNode* node = results.NodeAt((k + startNode) % count);
        if (!node)
            continue;
        const bool qualifies = !deletedOnly || ShowsDeleted(*node);
        if (started && qualifies && MatchName(node->Text(), wanted)) {
            SelectNode(tree, node);
            tree->setFocus();
            return;
        }
        if (!qualifies) {
            started = true;
            continue;
        }
        if (node != SelectedNode(tree)) {
            // Only a folder with a match is opened in the list.
            const std::vector<TFileInfo>& files = node->Data().Files;
            const bool any = std::any_of(files.begin(), files.end(), [&](const TFileInfo& file) {
                return (!deletedOnly || file.Deleted) && MatchName(file.Name, wanted);
            });
            if (!any) {
                // Past a folder, the search has started: the folders after
                // it are tested even when no folder was selected.
                started = true;
                continue;
            }
            SelectNode(tree, node);
        }
        if (FindInFiles(*node, pattern, deletedOnly, k == count, startRow, started))
            return;
        started = true;
    }
    ShowTitledMessageBox(this, Text(text::kApplicationTitle), Text(text::kCannotFindFile).arg(pattern));
}

bool TFrmMain::FindInFiles(TTreeNode& node, const QString& pattern, bool deletedOnly, bool lastStep, int startRow,
                           bool& started)
{
    if (ListModel->ShownFolder() != &node)
        ListModel->SetShownFolder(&node);
    const std::string wanted = pattern.toStdString();
    const int children = static_cast<int>(node.ChildCount());
    const int files = ListModel->RowCount() - children;
    const std::vector<TFileInfo>& records = node.Data().Files;
    // The file rows as the list shows them, in its sort order.
    for (int r = 0; r < files; ++r) {
        if (lastStep && r > startRow)
            break;
        if (!started && r == startRow)
            started = true;
        const int row = children + r;
        const auto source = static_cast<std::size_t>(ListModel->RowSource(row));
        if (!started || source >= records.size())
            continue;
        const TFileInfo& file = records[source];
        if ((!deletedOnly || file.Deleted) && MatchName(file.Name, wanted)) {
            LstVwList->setFocus();
            const QModelIndex index = ListModel->index(row, 0);
            LstVwList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                     QItemSelectionModel::Rows);
            LstVwList->scrollTo(index, QAbstractItemView::EnsureVisible);
            LstVwList->viewport()->update();
            return true;
        }
    }
    return false;
}

// --- Preview --------------------------------------------------------------------

void TFrmMain::actPreviewExecute()
{
    if (activity_ != TActivity::Idle || !AnalysedDriveSelected() || !analysis_)
        return;
    const int row = LstVwList->currentIndex().row();
    TTreeNode* shown = ListModel->ShownFolder();
    if (row < 0 || row >= ListModel->RowCount() || !shown || ListModel->IsFolderRow(row))
        return;
    const TFileLocation location{shown, static_cast<std::size_t>(ListModel->RowSource(row))};
    frmPreview->ShowFile(analysis_, location, FatClusterRuleOption(*options_));
}

void TFrmMain::NotAvailableYet()
{
    ShowMessageBox(this, Text(text::kNotAvailableYet), QMessageBox::Information);
}

void TFrmMain::actContentsExecute()
{
    OpenHelp(this);
}

void TFrmMain::actAboutExecute()
{
    ShowAboutBox(this);
}

} // namespace salvage::ui
