#include "kestrel/DlgSelectiveInstall.h"

#include "basekit/HoverButton2.h"
#include "basekit/MessageBox.h"
#include "basekit/Paths.h"
#include "basekit/Skin.h"
#include "kestrel/Strings.h"
#include "kestrel/VersionRecord.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>

using namespace kestrel;

namespace {

constexpr int kColumnWidths[CDlgSelectiveInstall::kColumns] = {120, 115, 75, 50, 120};

QIcon ToolIcon(const std::string& examined)
{
    if (DoesPathExists(examined)) {
        const QIcon icon = QFileIconProvider().icon(QFileInfo(QString::fromStdString(examined)));
        if (!icon.isNull() && !icon.availableSizes().isEmpty())
            return icon;
    }
    return QIcon(kIcon);
}

} // namespace

CDlgSelectiveInstall::CDlgSelectiveInstall(CFolderSource folders, QWidget* parent)
    : CDlgMainWnd(parent), folders_(std::move(folders))
{
    InitKestrelArt();
    setObjectName(QStringLiteral("selectiveInstall"));
    setWindowTitle(kAppTitle);
    SetCaptionText(kManagerCaption);
    picture_ = LoadSkinBitmap(Bitmap(bmp::ManagerPicture));
    plate_ = LoadSkinBitmap(Bitmap(bmp::ManagerPlate));

    description_ = new QLabel(this);
    description_->setAttribute(Qt::WA_TransparentForMouseEvents);
    intro_ = new QLabel(kManagerIntro, this);
    intro_->setWordWrap(true);
    intro_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("programList"));
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAllColumnsShowFocus(true);
    list_->setIconSize(QSize(16, 16));
    list_->setHeaderLabels({QStringLiteral("Application Name"), QStringLiteral("File Name"), QStringLiteral("Version"),
                            QStringLiteral("File Size"), QStringLiteral("Update Date")});
    list_->header()->setStretchLastSection(false);
    for (int c = 0; c < kColumns; ++c)
        list_->setColumnWidth(c, kColumnWidths[c]);

    line_ = new QFrame(this);
    line_->setFrameShape(QFrame::HLine);
    line_->setFrameShadow(QFrame::Sunken);
    updateNow_ = new QPushButton(QStringLiteral("Update Now"), this);
    updateNow_->setAutoDefault(false);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setAutoDefault(false);
    connect(updateNow_, &QPushButton::clicked, this, &CDlgSelectiveInstall::UpdateNow);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    SetMinSize(QSize(504, 351));
    resize(675, 477);
    CenterWindow();
    PlaceCaptionButtons(QPoint(625, 4), QPoint(645, 4), QSize(18, 18));
    FillList();
    LayOut();
}

void CDlgSelectiveInstall::FillList()
{
    const CToolInstaller installer = MakeInstaller(folders_);
    list_->clear();
    for (int row = 0; row < kToolCount; ++row) {
        const CToolRow& tool = installer.Table()[row];
        const std::string examined = installer.ExaminedPath(row);
        const CVersionInfo version = ReadVersionInfo(examined);
        auto* item = new QTreeWidgetItem(list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setIcon(0, ToolIcon(examined));
        item->setText(0, QString::fromStdString(tool.displayName));
        item->setText(1, QString::fromStdString(tool.fileName));
        item->setText(2, QString::fromStdString(version.String("FileVersion")));
        item->setCheckState(0, installer.IsInstalled(row) ? Qt::Checked : Qt::Unchecked);
        item->setText(3, QString::fromStdString(FileSizeText(examined)));
        item->setText(4, QString::fromStdString(UpdateDateText(version.fileDate)));
        item->setToolTip(4, item->text(4));
    }
    // The widths above are the least each column gets; none cuts its texts.
    for (int c = 0; c < kColumns; ++c) {
        list_->resizeColumnToContents(c);
        list_->setColumnWidth(c, std::max(list_->columnWidth(c), kColumnWidths[c]));
    }
}

void CDlgSelectiveInstall::UpdateNow()
{
    const int count = list_->topLevelItemCount();
    if (CVMessageBox(this, kUpdateQuestion, CVIcon::Question, CVButtons::YesNo) != CVAnswer::Yes)
        return;
    // The waits dispatch events: nothing may start a second update meanwhile.
    updateNow_->setEnabled(false);
    cancel_->setEnabled(false);
    list_->setEnabled(false);
    CToolInstaller installer = MakeInstaller(folders_);
    for (int row = 0; row < count && row < kToolCount; ++row) {
        if (list_->topLevelItem(row)->checkState(0) == Qt::Checked)
            installer.Install(row);
        else
            installer.Remove(row);
    }
    CVMessageBox(this, kUpdateFinished, CVIcon::Information);
    accept();
}

void CDlgSelectiveInstall::resizeEvent(QResizeEvent* event)
{
    CDlgMainWnd::resizeEvent(event);
    LayOut();
}

void CDlgSelectiveInstall::LayOut()
{
    if (!list_)
        return;
    const int w = width(), h = height();
    intro_->setGeometry(170, 75, w - 185, 75);
    list_->setGeometry(170, 160, w - 190, h / 2);
    description_->setGeometry(170, h / 2 + 100, w - 190, 75);
    line_->setGeometry(7, h - 60, w - 14, 1);
    cancel_->setGeometry(w - 120, h - 45, 100, 25);
    updateNow_->setGeometry(w - 230, h - 45, 100, 25);
    if (MinimiseButton()) {
        MinimiseButton()->move(w - 50, 4);
        CloseButton()->move(w - 30, 4);
    }
}

void CDlgSelectiveInstall::PaintDlgNow(QPainter& p)
{
    CDlgMainWnd::PaintDlgNow(p);
    PaintBMP(p, 9, 108, picture_);
    PaintBMP(p, 400, 28, 251, 37, plate_);
}
