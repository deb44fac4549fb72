#include "salvage/wizard/uWizard.h"

#include "platform/Registry.h"
#include "platform/StorageDevices.h"
#include "salvage/disk/LogicalDisk.h"
#include "salvage/fs/DateTime.h"
#include "salvage/recover/TargetPlacement.h"
#include "salvage/recover/dialogs/uBroken.h"
#include "salvage/recover/dialogs/uConfirmRestore.h"
#include "salvage/search/Analysis.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uArtwork.h"
#include "salvage/ui/uFormat.h"
#include "salvage/ui/uMessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QPointer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeDatabase>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <optional>

#if defined(_WIN32)
#include <QImage>
#include <QPixmap>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#endif
#include <cstdlib>

namespace salvage::ui {

namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

QLabel* Heading(const char* text, QWidget* parent)
{
    auto* label = new QLabel(Text(text), parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.25);
    label->setFont(font);
    return label;
}

QLabel* Para(const char* text, QWidget* parent)
{
    auto* label = new QLabel(Text(text), parent);
    label->setWordWrap(true);
    return label;
}

constexpr int kRowRole = Qt::UserRole + 1;
constexpr int kColumnCount = 6;
constexpr int kColumnPath = 1;
// The counters' right edge lies 25 pixels from the window's: the window's
// margin and the result page's right margin.
constexpr int kWindowMargin = 9;
constexpr int kSearchPageRightMargin = 25 - kWindowMargin;

// The list items compare by the window's rule; Qt's own column sort is off.
class TFindItem final : public QTreeWidgetItem {
public:
    TFindItem(const TfrmWizard& wizard, const QStringList& texts) : QTreeWidgetItem(texts), wizard_(wizard) {}
    bool operator<(const QTreeWidgetItem& other) const override { return wizard_.lstvwFindCompare(*this, other) < 0; }

private:
    const TfrmWizard& wizard_;
};

int Sign(int value)
{
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

// Upper case in the user's locale, then byte order.
int CompareUpperText(const QString& a, const QString& b)
{
    const QByteArray ua = QLocale().toUpper(a).toUtf8();
    const QByteArray ub = QLocale().toUpper(b).toUtf8();
    return Sign(std::strcmp(ua.constData(), ub.constData()));
}

bool AccessDenied(int code)
{
#if defined(_WIN32)
    return code == 5;  // ERROR_ACCESS_DENIED
#else
    return code == EACCES || code == EPERM;
#endif
}

} // namespace

std::string WizardLetter(const TDriveEntry& entry)
{
#if defined(_WIN32)
    if (!entry.Disk.Root.empty())
        return entry.Disk.Root.substr(0, 1);
#endif
    const std::string& text = entry.Text;
    if (entry.Image == kDriveImageFile) {
        // "disk.img : FAT" or "disk.img (partition 1) : NTFS"
        const std::size_t colon = text.rfind(" : ");
        return text.substr(0, colon);
    }
    // "Label (sdb1) : FAT32"
    const std::size_t close = text.rfind(')');
    const std::size_t open = close == std::string::npos ? std::string::npos : text.rfind('(', close);
    if (open != std::string::npos)
        return text.substr(open + 1, close - open - 1);
    return text;
}

bool ParseIconEntry(const std::string& text, std::string& file, int& index)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    auto trim = [](std::string s) {
        const auto first = s.find_first_not_of(" \t");
        const auto last = s.find_last_not_of(" \t");
        return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
    };
    file = trim(text.substr(0, comma));
    file.erase(std::remove(file.begin(), file.end(), '"'), file.end());
    const std::string number = trim(text.substr(comma + 1));
    char* end = nullptr;
    const long value = std::strtol(number.c_str(), &end, 10);
    index = end != nullptr && *end == '\0' && !number.empty() && value >= INT32_MIN && value <= INT32_MAX
                ? static_cast<int>(value)
                : 0;
    return true;
}

// Rows, the path and the progress of the search, waiting for the main thread.
struct TfrmWizard::Inbox {
    std::mutex Mutex;
    bool WakePosted = false;
    std::vector<std::vector<TWizardRow>> Batches;
    QStringList Failures;
    bool Done = false;
    std::string Path;
    std::atomic<int> Progress{0};
};

class TfrmWizard::TDesktopSink final : public TWizardSink {
public:
    TDesktopSink(TfrmWizard& window, std::shared_ptr<Inbox> inbox) : window_(&window), inbox_(std::move(inbox)) {}

    void RowsFound(std::vector<TWizardRow> rows) override
    {
        Post([&](Inbox& in) { in.Batches.push_back(std::move(rows)); });
    }
    void PathChanged(const std::string& path) override
    {
        // Shown by the panel's timer.
        std::lock_guard lock(inbox_->Mutex);
        inbox_->Path = path;
    }
    void Progress(int percent) override { inbox_->Progress.store(percent, std::memory_order_relaxed); }
    void DriveFailed(const std::string& letter, const std::string& message) override
    {
        Post([&](Inbox& in) {
            in.Failures.push_back(
                Text(text::kWizardDriveSkipped).arg(QString::fromStdString(letter), QString::fromStdString(message)));
        });
    }
    void Done() override
    {
        Post([](Inbox& in) { in.Done = true; });
    }

private:
    template <class F>
    void Post(F&& change)
    {
        bool wake = false;
        {
            std::lock_guard lock(inbox_->Mutex);
            change(*inbox_);
            wake = !inbox_->WakePosted;
            inbox_->WakePosted = true;
        }
        if (wake)
            QMetaObject::invokeMethod(window_, [w = window_, inbox = inbox_] {
                if (w && w->inbox_ == inbox)
                    w->DrainInbox();
            }, Qt::QueuedConnection);
    }

    QPointer<TfrmWizard> window_;
    std::shared_ptr<Inbox> inbox_;
};

TfrmWizard::TfrmWizard(TWizardSeams seams, QWidget* parent) : QDialog(parent), seams_(std::move(seams))
{
    FormCreate();
}

TfrmWizard::~TfrmWizard()
{
    search_.reset();
}

void TfrmWizard::FormCreate()
{
    setObjectName(QStringLiteral("frmWizard"));
    setWindowTitle(Text(text::kWizardCaption));
    setModal(true);

    pcMain = new QStackedWidget(this);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    tsWelcome = CreateWelcomePage();
    tsCriteria = CreateCriteriaPage();
    tsSearch = CreateSearchPage();
    pcMain->addWidget(tsWelcome);
    pcMain->addWidget(tsCriteria);
    pcMain->addWidget(tsSearch);

    btnBack = new QPushButton(Text(text::kWizardBack), this);
    btnBack->setObjectName(QStringLiteral("btnBack"));
    btnBack->setEnabled(false);
    btnNext = new QPushButton(Text(text::kWizardNext), this);
    btnNext->setObjectName(QStringLiteral("btnNext"));
    btnNext->setDefault(true);
    btnCancel = new QPushButton(Text(text::kWizardClose), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnHelp = new QPushButton(Text(text::kWizardHelp), this);
    btnHelp->setObjectName(QStringLiteral("btnHelp"));
    btnHelp->setEnabled(false);
    ckDontShowStartup = new QCheckBox(Text(text::kWizardDontShow), this);
    ckDontShowStartup->setObjectName(QStringLiteral("ckDontShowStartup"));
    ckDontShowStartup->hide();
    for (QPushButton* b : {btnBack, btnNext, btnCancel, btnHelp})
        b->setAutoDefault(false);
    btnNext->setDefault(true);

    connect(btnNext, &QPushButton::clicked, this, &TfrmWizard::btnNextClick);
    connect(btnBack, &QPushButton::clicked, this, &TfrmWizard::btnBackClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmWizard::reject);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ckDontShowStartup);
    buttons->addStretch();
    buttons->addWidget(btnBack);
    buttons->addWidget(btnNext);
    buttons->addSpacing(8);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnHelp);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kWindowMargin, kWindowMargin, kWindowMargin, kWindowMargin);
    layout->addWidget(pcMain, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    panelTimer_ = new QTimer(this);
    panelTimer_->setInterval(50);
    connect(panelTimer_, &QTimer::timeout, this, [this] {
        if (!inbox_)
            return;
        ProgressBar->setValue(inbox_->Progress.load(std::memory_order_relaxed));
        std::lock_guard lock(inbox_->Mutex);
        lblPath->setText(QString::fromStdString(inbox_->Path));
    });

    frmRestoreW = std::make_unique<TfrmRestoreW>(this);
    ClearImageList();
    resize(780, 480);
}

QWidget* TfrmWizard::CreateWelcomePage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsWelcome"));
    lsDisks = new QListWidget(page);
    lsDisks->setObjectName(QStringLiteral("lsDisks"));
    lsDisks->setSelectionMode(QAbstractItemView::SingleSelection);
    lsDisks->setIconSize(QSize(16, 16));
    btnSel = new QPushButton(Text(text::kWizardSelectAll), page);
    btnSel->setObjectName(QStringLiteral("btnSel"));
    btnDesel = new QPushButton(Text(text::kWizardDeselectAll), page);
    btnDesel->setObjectName(QStringLiteral("btnDesel"));
    btnSel->setAutoDefault(false);
    btnDesel->setAutoDefault(false);
    connect(btnSel, &QPushButton::clicked, this, &TfrmWizard::btnSelClick);
    connect(btnDesel, &QPushButton::clicked, this, &TfrmWizard::btnDeselClick);

    auto* side = new QVBoxLayout;
    side->addWidget(btnSel);
    side->addWidget(btnDesel);
    side->addStretch();
    auto* list = new QHBoxLayout;
    list->addWidget(lsDisks, 1);
    list->addLayout(side);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Heading(text::kWizardWelcome, page));
    layout->addWidget(Para(text::kWizardIntro, page));
    layout->addWidget(Para(text::kWizardSelectDrives, page));
    layout->addSpacing(6);
    layout->addWidget(Para(text::kWizardDrivesLabel, page));
    layout->addLayout(list, 1);
    layout->addWidget(Para(text::kWizardClickNext, page));
    return page;
}

QWidget* TfrmWizard::CreateCriteriaPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsCriteria"));
    edtCriteria = new QLineEdit(page);
    edtCriteria->setObjectName(QStringLiteral("edtCriteria"));
    chNotZeroSize = new QCheckBox(Text(text::kWizardNotZeroSize), page);
    chNotZeroSize->setObjectName(QStringLiteral("chNotZeroSize"));
    chNotZeroSize->setChecked(true);
    chGood = new QCheckBox(Text(text::kWizardGoodOnly), page);
    chGood->setObjectName(QStringLiteral("chGood"));
    auto* criteria = new QLabel(Text(text::kWizardCriteriaLabel), page);
    criteria->setBuddy(edtCriteria);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Heading(text::kWizardWhat, page));
    layout->addWidget(Para(text::kWizardCriteriaIntro, page));
    layout->addSpacing(10);
    layout->addWidget(criteria);
    layout->addWidget(edtCriteria);
    layout->addSpacing(10);
    layout->addWidget(chNotZeroSize);
    layout->addWidget(chGood);
    layout->addStretch();
    return page;
}

QWidget* TfrmWizard::CreateSearchPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tsSearch"));
    lblFound = new QLabel(QStringLiteral("0"), page);
    lblFound->setObjectName(QStringLiteral("lblFound"));
    lblRestored = new QLabel(QStringLiteral("0"), page);
    lblRestored->setObjectName(QStringLiteral("lblRestored"));
    for (QLabel* l : {lblFound, lblRestored})
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblStatus = Para(text::kWizardStatus, page);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));

    lstvwFind = new QTreeWidget(page);
    lstvwFind->setObjectName(QStringLiteral("lstvwFind"));
    lstvwFind->setRootIsDecorated(false);
    lstvwFind->setUniformRowHeights(true);
    lstvwFind->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstvwFind->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstvwFind->setIconSize(QSize(16, 16));
    // A long path keeps its end (the folder the file was in) in view.
    lstvwFind->setTextElideMode(Qt::ElideMiddle);
    lstvwFind->setContextMenuPolicy(Qt::CustomContextMenu);
    QStringList headers;
    for (const char* c : text::kWizardColumns)
        headers << Text(c);
    lstvwFind->setHeaderLabels(headers);
    lstvwFind->header()->setSectionsClickable(true);
    lstvwFind->header()->setSortIndicatorShown(false);
    const int widths[kColumnCount] = {100, 128, 80, 90, 80, 60};
    for (int i = 0; i < kColumnCount; ++i)
        lstvwFind->setColumnWidth(i, widths[i]);
    lstvwFind->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    connect(lstvwFind->header(), &QHeaderView::sectionClicked, this, &TfrmWizard::lstvwFindColumnClick);

    PopupMenu = new QMenu(lstvwFind);
    Recover1 = PopupMenu->addAction(Text(text::kWizardRestoreMenu));
    Recover1->setObjectName(QStringLiteral("Recover1"));
    Restoreas1 = PopupMenu->addAction(Text(text::kWizardRestoreAsMenu));
    Restoreas1->setObjectName(QStringLiteral("Restoreas1"));
    connect(Recover1, &QAction::triggered, this, &TfrmWizard::Recover1Click);
    connect(Restoreas1, &QAction::triggered, this, &TfrmWizard::Restoreas1Click);
    connect(lstvwFind, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu->popup(lstvwFind->viewport()->mapToGlobal(at)); });

    btnRestore = new QPushButton(Text(text::kWizardRestoreButton), page);
    btnRestore->setObjectName(QStringLiteral("btnRestore"));
    btnCancelSearch = new QPushButton(Text(text::kWizardCancelSearch), page);
    btnCancelSearch->setObjectName(QStringLiteral("btnCancelSearch"));
    btnCancelSearch->hide();
    for (QPushButton* b : {btnRestore, btnCancelSearch})
        b->setAutoDefault(false);
    connect(btnRestore, &QPushButton::clicked, this, &TfrmWizard::btnRestoreClick);
    connect(btnCancelSearch, &QPushButton::clicked, this, &TfrmWizard::Stop);

    pnlSearch = new QWidget(page);
    pnlSearch->setObjectName(QStringLiteral("pnlSearch"));
    auto* searching = new QLabel(Text(text::kWizardSearching), pnlSearch);
    lblPath = new QLabel(pnlSearch);
    lblPath->setObjectName(QStringLiteral("lblPath"));
    lblPath->setMinimumWidth(200);
    lblPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ProgressBar = new QProgressBar(pnlSearch);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    auto* find = new QLabel(pnlSearch);
    find->setPixmap(ToolImage(TToolImage::Find).pixmap(32, 32));
    auto* panelText = new QVBoxLayout;
    panelText->addWidget(searching);
    panelText->addWidget(lblPath);
    panelText->addWidget(ProgressBar);
    auto* panel = new QHBoxLayout(pnlSearch);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(find);
    panel->addLayout(panelText, 1);
    pnlSearch->hide();

    auto* counters = new QGridLayout;
    counters->addWidget(new QLabel(Text(text::kWizardFound), page), 0, 0);
    counters->addWidget(lblFound, 0, 1);
    counters->addWidget(new QLabel(Text(text::kWizardRestored), page), 1, 0);
    counters->addWidget(lblRestored, 1, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(Heading(text::kWizardResultTitle, page), 1);
    top->addLayout(counters);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pnlSearch, 1);
    buttons->addStretch();
    buttons->addWidget(btnCancelSearch);
    buttons->addWidget(btnRestore);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, kSearchPageRightMargin, 0);
    layout->addLayout(top);
    layout->addWidget(lblStatus);
    layout->addWidget(lstvwFind, 1);
    layout->addLayout(buttons);
    return page;
}

void TfrmWizard::ClearImageList()
{
    FileImageList.clear();
    FileImageList.push_back(style()->standardIcon(QStyle::SP_FileIcon));
    FileImageList.push_back(style()->standardIcon(QStyle::SP_DirIcon));
}

bool TfrmWizard::Execute(bool startup, bool hideStartup)
{
    // As the main window opens it: page 1, Back to page 0.
    pcMain->setCurrentIndex(1);
    btnBackClick();
    StartupMode = startup;
    ckDontShowStartup->setChecked(hideStartup);
    FormActivate();
    exec();
    return ckDontShowStartup->isChecked();
}

void TfrmWizard::FormActivate()
{
    if (activating_)
        return;
    activating_ = true;
    ckDontShowStartup->hide();
    SortColumn = -1;
    lsDisks->clear();
    diskEntries_.clear();
    const std::vector<TDriveEntry> drives = seams_.Drives ? seams_.Drives() : std::vector<TDriveEntry>{};
    for (const TDriveEntry& entry : drives) {
        platform::OpenError error;
        const platform::VolumePtr volume =
            seams_.OpenVolume ? seams_.OpenVolume(entry.Disk, error) : OpenLogicalDisk(entry.Disk, error);
        BootSectorBytes boot{};
        const bool readable = volume && ReadBootSector(*volume, boot);
        const bool denied = !volume && AccessDenied(error.code);
        // A drive that is not ready (no medium, gone) is not listed.
        if (!readable && !denied)
            continue;
        const std::string letter = WizardLetter(entry);
        const std::string label = entry.Image == kDriveImageFile ? text::kWizardDiskImage
                                  : entry.Disk.VolumeName.empty() ? salvage::kLocalDisk
                                                                  : entry.Disk.VolumeName;
        auto* item = new QListWidgetItem(DriveImage(entry.Image),
                                         QString::fromStdString(label + " (" + letter + ":)"), lsDisks);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
        if (denied) {
            // Listed, so the user sees why it cannot be searched.
            item->setFlags(Qt::NoItemFlags);
            item->setToolTip(Text(text::kWizardNoRights).arg(QString::fromStdString(error.message)));
        }
        diskEntries_.push_back(entry);
    }
    activating_ = false;
}

void TfrmWizard::btnSelClick()
{
    for (int i = 0; i < lsDisks->count(); ++i)
        if (lsDisks->item(i)->flags() & Qt::ItemIsUserCheckable)
            lsDisks->item(i)->setCheckState(Qt::Checked);
}

void TfrmWizard::btnDeselClick()
{
    for (int i = 0; i < lsDisks->count(); ++i)
        lsDisks->item(i)->setCheckState(Qt::Unchecked);
}

void TfrmWizard::ShowPage(int index)
{
    pcMain->setCurrentIndex(index);
    btnBack->setEnabled(index > 0);
}

void TfrmWizard::btnNextClick()
{
    const int page = pcMain->currentIndex();
    if (page == pcMain->count() - 1)
        return;
    if (page == 0) {
        bool ticked = false;
        for (int i = 0; i < lsDisks->count(); ++i)
            ticked = ticked || lsDisks->item(i)->checkState() == Qt::Checked;
        if (!ticked) {
            ShowMessageBox(this, Text(text::kWizardSelectDrive), QMessageBox::Question);
            return;
        }
    }
    ShowPage(page + 1);
    if (page + 1 == pcMain->count() - 1)
        StartSearch();
}

void TfrmWizard::btnBackClick()
{
    const int page = pcMain->currentIndex();
    if (page == 0)
        return;
    if (page == pcMain->count() - 1)
        Stop();
    ShowPage(page - 1);
    btnNext->setEnabled(page - 1 != pcMain->count() - 1);
}

void TfrmWizard::StartSearch()
{
    btnNext->setEnabled(false);
    SetCount(0, 0);
    pnlSearch->show();
    btnCancelSearch->show();
    TWizardSettings settings;
    settings.GoodOnly = chGood->isChecked();
    settings.NotZeroSize = chNotZeroSize->isChecked();
    settings.Criteria = edtCriteria->text().toStdString();
    settings.FatClusters = FatClusterRule();
    ProgressBar->setValue(0);
    lblPath->clear();
    lblStatus->setText(Text(text::kWizardStatus));

    lstvwFind->clear();
    rows_.clear();
    searchedVolumes_.clear();
    std::vector<TWizardDrive> drives;
    for (int i = 0; i < lsDisks->count() && i < static_cast<int>(diskEntries_.size()); ++i) {
        if (lsDisks->item(i)->checkState() != Qt::Checked)
            continue;
        const TDriveEntry& entry = diskEntries_[static_cast<std::size_t>(i)];
        drives.push_back({WizardLetter(entry), entry.Disk});
    }
    searchedDrives_ = drives;
    inbox_ = std::make_shared<Inbox>();
    sink_ = std::make_unique<TDesktopSink>(*this, inbox_);
    search_ = std::make_unique<TSearchWizard>(std::move(drives), settings, *sink_);
    search_->Start();
    panelTimer_->start();
}

TFatClusterRule TfrmWizard::FatClusterRule() const
{
    return seams_.FatClusters ? seams_.FatClusters() : TFatClusterRule::FreeGaps;
}

void TfrmWizard::DrainInbox()
{
    if (!inbox_)
        return;
    std::vector<std::vector<TWizardRow>> batches;
    QStringList failures;
    bool done = false;
    {
        std::lock_guard lock(inbox_->Mutex);
        inbox_->WakePosted = false;
        batches.swap(inbox_->Batches);
        failures.swap(inbox_->Failures);
        done = inbox_->Done;
        inbox_->Done = false;
    }
    for (auto& batch : batches)
        AddRows(std::move(batch));
    // A drive that could not be searched gets a line; the others are searched.
    for (const QString& failure : failures)
        lblStatus->setText(lblStatus->text() + QLatin1Char('\n') + failure);
    if (done)
        Stop();
}

void TfrmWizard::AddRows(std::vector<TWizardRow> rows)
{
    const QLocale locale;
    const char decimal = DecimalSeparator(locale);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (TWizardRow& row : rows) {
        const QString name = QString::fromStdString(row.File.Name);
        QString typeName;
        int icon = 0;
        GetFileInfo(name, typeName, icon);
        QString modified;
        if (const auto ms = DateTimeToUnixMilliseconds(row.File.Modified); ms && row.File.Modified != 0)
            modified = locale.toString(QDateTime::fromMSecsSinceEpoch(*ms), QLocale::ShortFormat);
        const QStringList texts{name,
                                QString::fromStdString(row.DisplayPath),
                                QString::fromStdString(WizardFormatSize(row.File.Size, decimal)),
                                typeName,
                                modified,
                                Text(row.File.Condition == kGood ? text::kWizardGood : text::kWizardBad)};
        auto* item = new TFindItem(*this, texts);
        item->setIcon(0, FileImageList[static_cast<std::size_t>(icon)]);
        item->setIcon(1, FileImageList[1]);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, kRowRole, QVariant::fromValue<qulonglong>(rows_.size()));
        rows_.push_back(std::move(row));
        items.push_back(item);
    }
    lstvwFind->addTopLevelItems(items);
    FoundCount += static_cast<int>(items.size());
    SetCount(FoundCount, RestoredCount);
}

const TWizardRow* TfrmWizard::RowOf(const QTreeWidgetItem* item) const
{
    if (item == nullptr)
        return nullptr;
    const auto index = item->data(0, kRowRole).toULongLong();
    return index < rows_.size() ? &rows_[index] : nullptr;
}

void TfrmWizard::Stop()
{
    if (stopping_ || (btnCancelSearch->isHidden() && !search_))
        return;
    stopping_ = true;
    pnlSearch->hide();
    btnCancelSearch->hide();
    panelTimer_->stop();
    if (search_) {
        search_->Stop();
        // What was found before the stop stays.
        DrainInbox();
        searchedVolumes_ = search_->Volumes();
        search_.reset();
    }
    sink_.reset();
    inbox_.reset();
    SortColumn = kColumnPath;
    SortAscending = true;
    SortList();
    // The paths and dates as wide as they are (the drive names of images are long).
    for (const int column : {kColumnPath, 4}) {
        const int narrow = lstvwFind->columnWidth(column);
        lstvwFind->resizeColumnToContents(column);
        lstvwFind->setColumnWidth(column, std::clamp(lstvwFind->columnWidth(column), narrow, 320));
    }
    const QList<QTreeWidgetItem*> selected = lstvwFind->selectedItems();
    if (!selected.isEmpty())
        lstvwFind->scrollToItem(selected.front());
    stopping_ = false;
    emit searchStopped();
}

void TfrmWizard::SetCount(int found, int restored)
{
    FoundCount = found;
    RestoredCount = restored;
    lblFound->setText(QString::number(found));
    lblRestored->setText(QString::number(restored));
}

int TfrmWizard::lstvwFindCompare(const QTreeWidgetItem& a, const QTreeWidgetItem& b) const
{
    const int captions = CompareUpperText(a.text(0), b.text(0));
    if (SortColumn <= 0)
        return SortAscending ? captions : -captions;
    const int k = std::min(SortColumn, kColumnCount - 1);
    const int texts = CompareUpperText(a.text(k), b.text(k));
    if (texts != 0)
        return SortAscending ? texts : -texts;
    return captions;
}

void TfrmWizard::SortList()
{
    if (SortColumn < 0)
        return;
    // The order is the compare rule's; Qt is only asked to apply it.
    lstvwFind->sortItems(0, Qt::AscendingOrder);
    lstvwFind->header()->setSortIndicator(SortColumn, SortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    lstvwFind->header()->setSortIndicatorShown(true);
}

void TfrmWizard::lstvwFindColumnClick(int column)
{
    if (column == SortColumn) {
        SortAscending = !SortAscending;
    } else {
        SortColumn = column;
        SortAscending = true;
    }
    SortList();
}

bool TfrmWizard::HasSelection() const
{
    return !lstvwFind->selectedItems().isEmpty();
}

TRestoreChoice TfrmWizard::AskRestoreChoice()
{
    if (seams_.ConfirmRestore)
        return seams_.ConfirmRestore(this);
    TfrmConfirmRestore* dialog = seams_.ConfirmDialog;
    if (dialog == nullptr) {
        if (!frmConfirmRestore_)
            frmConfirmRestore_ = std::make_unique<TfrmConfirmRestore>(this);
        dialog = frmConfirmRestore_.get();
    }
    if (dialog->exec() != TfrmConfirmRestore::kOKResult)
        return TRestoreChoice::Cancel;
    return dialog->rbAlternative->isChecked() ? TRestoreChoice::Alternative : TRestoreChoice::Original;
}

QString TfrmWizard::ChooseFolder()
{
    const QString title = Text(text::kWizardChoosePath);
    if (seams_.ChooseFolder)
        return seams_.ChooseFolder(this, title);
    return QFileDialog::getExistingDirectory(this, title);
}

void TfrmWizard::btnRestoreClick()
{
    if (!HasSelection()) {
        ShowMessageBox(this, Text(text::kWizardNoSelection), QMessageBox::Question);
        return;
    }
    switch (AskRestoreChoice()) {
    case TRestoreChoice::Cancel: return;
    case TRestoreChoice::Original:
        Stop();
        StartRecover({});
        return;
    case TRestoreChoice::Alternative:
        if (const QString folder = ChooseFolder(); !folder.isEmpty()) {
            Stop();
            StartRecover(folder);
        }
        return;
    }
}

void TfrmWizard::Recover1Click()
{
    if (!HasSelection()) {
        ShowMessageBox(this, Text(text::kWizardNoSelection), QMessageBox::Question);
        return;
    }
    if (ShowMessageBox(this, Text(text::kWizardRestoreQuestion), QMessageBox::Warning,
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    Stop();
    StartRecover({});
}

void TfrmWizard::Restoreas1Click()
{
    if (!HasSelection()) {
        ShowMessageBox(this, Text(text::kWizardNoSelection), QMessageBox::Question);
        return;
    }
    if (const QString folder = ChooseFolder(); !folder.isEmpty()) {
        Stop();
        StartRecover(folder);
    }
}

bool TfrmWizard::RefuseTarget(const QString& target, const std::vector<std::size_t>& drives)
{
    // Writing onto the disk that is read can overwrite what is still to be
    // restored: the user is told, as by the main recovery, and decides.
    std::unique_ptr<platform::StorageQueries> queries =
        seams_.Storage ? seams_.Storage() : platform::SystemStorageQueries();
    for (std::size_t d : drives) {
        if (d >= searchedDrives_.size())
            continue;
        const TTargetCheck check =
            CheckTargetPlacement(searchedDrives_[d].Disk.DevicePath, target.toStdString(), *queries);
        if (!check.Dangerous())
            continue;
        const QString shown = QDir::toNativeSeparators(target);
        const QString device = QString::fromStdString(check.Device);
        const QString where = check.Placement == TTargetPlacement::InsideImage
                                  ? Text(text::kRecoverInsideImage).arg(shown, device)
                                  : Text(text::kRecoverSameDisk).arg(shown, device);
        return ShowMessageBox(this, where + QStringLiteral("\r\r") + Text(text::kRecoverSameDiskRisk),
                              QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes;
    }
    return false;
}

void TfrmWizard::StartRecover(const QString& target)
{
    TRestoreRun run;
    run.Target = target.toStdString();
    run.FatClusters = FatClusterRule();
    std::vector<std::size_t> drives;
    for (int i = 0; i < lstvwFind->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lstvwFind->topLevelItem(i);
        const TWizardRow* row = item->isSelected() ? RowOf(item) : nullptr;
        if (row == nullptr)
            continue;
        run.Items.push_back({row->File, row->RecoveryPath, row->Drive, item->data(0, kRowRole).toULongLong()});
        if (std::find(drives.begin(), drives.end(), row->Drive) == drives.end())
            drives.push_back(row->Drive);
    }
    for (std::size_t d = 0; d < searchedDrives_.size(); ++d)
        run.Drives.push_back({searchedDrives_[d].Letter, searchedDrives_[d].Disk.Root,
                              d < searchedVolumes_.size() ? searchedVolumes_[d] : nullptr});
    if (run.Items.empty())
        return;
    if (target.isEmpty()) {
        // The original folder lies below the volume's mount point.
        for (std::size_t d : drives) {
            if (run.Drives[d].Root.empty()) {
                ShowMessageBox(this, Text(text::kWizardNotMounted).arg(QString::fromStdString(run.Drives[d].Letter)),
                               QMessageBox::Warning);
                return;
            }
        }
        if (ShowMessageBox(this, Text(text::kWizardSameVolume), QMessageBox::Warning,
                           QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
    } else if (RefuseTarget(target, drives)) {
        return;
    }
    const std::size_t attempted = run.Items.size();
    TBrokenNameAnswerer answerer = seams_.AskBrokenName;
    std::function<void()> dismiss;
    if (!answerer) {
        // The broken-name dialog of the main recovery; it keeps what it
        // was last told ("Change all unknown symbols to:") between uses.
        TFrmBroken* broken = seams_.BrokenDialog;
        if (broken == nullptr) {
            if (!frmBroken_)
                frmBroken_ = std::make_unique<TFrmBroken>(this);
            broken = frmBroken_.get();
        }
        answerer = [broken](const std::string& name) { return broken->AskBrokenName(name); };
        dismiss = [broken] {
            if (broken->isVisible())
                broken->done(static_cast<int>(TBrokenNameResult::Skip));
        };
    }
    frmRestoreW->Prepare(std::move(run), std::move(answerer), std::move(dismiss));
    frmRestoreW->exec();

    // The rows whose files were written leave the list.
    std::vector<std::uint64_t> restored = std::move(frmRestoreW->RestoredList);
    frmRestoreW->RestoredList.clear();
    std::sort(restored.begin(), restored.end());
    for (int i = lstvwFind->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* item = lstvwFind->topLevelItem(i);
        if (std::binary_search(restored.begin(), restored.end(), item->data(0, kRowRole).toULongLong()))
            delete lstvwFind->takeTopLevelItem(i);
    }
    SetCount(FoundCount, RestoredCount + static_cast<int>(restored.size()));
    ReportRestore(frmRestoreW->Summary, attempted, frmRestoreW->RunEnded);
}

void TfrmWizard::ReportRestore(const TRestoreSummary& summary, std::size_t attempted, bool ended)
{
    if (!ended || (summary.NotWritten.empty() && summary.Partial.empty()))
        return;
    (void)attempted;
    QString message;
    auto list = [&](const std::vector<TRestoreProblem>& problems) {
        constexpr std::size_t kShown = 10;
        for (std::size_t i = 0; i < problems.size() && i < kShown; ++i)
            message += QStringLiteral("\n%1: %2").arg(QString::fromStdString(problems[i].Name),
                                                      QString::fromStdString(problems[i].Message));
        if (problems.size() > kShown)
            message += QStringLiteral("\n...");
    };
    if (!summary.NotWritten.empty()) {
        message += Text(text::kWizardNotWritten).arg(summary.NotWritten.size());
        list(summary.NotWritten);
    }
    if (!summary.Partial.empty()) {
        if (!message.isEmpty())
            message += QStringLiteral("\n\n");
        message += Text(text::kWizardPartial).arg(summary.Partial.size());
        list(summary.Partial);
    }
    ShowMessageBox(this, message, QMessageBox::Warning);
}

void TfrmWizard::GetFileInfo(const QString& name, QString& typeName, int& iconIndex)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : name.mid(dot);
    const QString fallback = ext.isEmpty()
                                 ? Text(text::kWizardFile)
                                 : Text(text::kWizardFile) + QStringLiteral(" \"") + ext.toUpper() + QLatin1Char('"');
    typeName.clear();
    iconIndex = 0;
    if (!ext.isEmpty()) {
        const QString key = ext.toLower();
        auto it = FileTypes.find(key);
        if (it == FileTypes.end())
            it = FileTypes.emplace(key, AddFileType(ext, fallback)).first;
        typeName = it->second.TypeName;
        iconIndex = it->second.IconIndex;
    }
    if (typeName.isEmpty())
        typeName = fallback;
}

TFileTypeObject TfrmWizard::AddFileType(const QString& ext, const QString& fallback)
{
    TFileTypeObject type(0, fallback);
    auto addIcon = [&](const QIcon& icon) {
        if (icon.isNull())
            return;
        FileImageList.push_back(icon);
        type.IconIndex = static_cast<int>(FileImageList.size()) - 1;
    };
    if (seams_.FileTypesFromRegistry) {
        // HKEY_CLASSES_ROOT: the extension names a class, the class its type
        // name and its "DefaultIcon" ("file,index").
        const auto extKey = platform::OpenRegistryKey(platform::RegRoot::ClassesRoot, ext.toStdString(),
                                                      platform::RegOpen::Read);
        const auto className = extKey ? extKey->Read({}) : std::nullopt;
        const auto classKey = className && !className->text.empty()
                                  ? platform::OpenRegistryKey(platform::RegRoot::ClassesRoot, className->text,
                                                              platform::RegOpen::Read)
                                  : nullptr;
        if (classKey) {
            if (const auto name = classKey->Read({}))
                type.TypeName = QString::fromStdString(name->text);
            const auto iconKey = classKey->OpenSubKey("DefaultIcon", platform::RegOpen::Read);
            const auto icon = iconKey ? iconKey->Read({}) : std::nullopt;
            std::string file;
            int index = 0;
            if (icon && ParseIconEntry(icon->text, file, index))
                addIcon(seams_.ExtractIcon ? seams_.ExtractIcon(file, index) : ExtractSmallIcon(file, index));
        }
        return type;
    }
    // The shared MIME database names the type and gives its theme icon.
    const QMimeDatabase mime;
    const QMimeType found = mime.mimeTypeForFile(QStringLiteral("x") + ext.toLower(), QMimeDatabase::MatchExtension);
    if (found.isValid() && !found.isDefault()) {
        if (!found.comment().isEmpty())
            type.TypeName = found.comment();
        QIcon icon = QIcon::fromTheme(found.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(found.genericIconName());
        addIcon(icon);
    }
    return type;
}

QIcon ExtractSmallIcon(const std::string& file, int index)
{
#if defined(_WIN32)
    HICON icon16 = nullptr;
    const std::wstring path = QString::fromStdString(file).toStdWString();
    if (ExtractIconExW(path.c_str(), index, nullptr, &icon16, 1) == 0 || icon16 == nullptr)
        return {};
    QIcon icon(QPixmap::fromImage(QImage::fromHICON(icon16)));
    DestroyIcon(icon16);
    return icon;
#else
    // Icon resources of Windows programs are not read here.
    (void)file;
    (void)index;
    return {};
#endif
}

void TfrmWizard::closeEvent(QCloseEvent* event)
{
    Stop();
    QDialog::closeEvent(event);
}

void TfrmWizard::reject()
{
    Stop();
    QDialog::reject();
}

} // namespace salvage::ui
