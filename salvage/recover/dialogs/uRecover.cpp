#include "salvage/recover/dialogs/uRecover.h"

#include "salvage/ui/Options.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uArtwork.h"
#include "salvage/ui/uMessageBox.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace salvage::ui {
namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

// The tall picture at the dialog's left: the recover image on a band of the
// highlight colour fading downwards.
QPixmap TallPicture(const QWidget& owner, QSize size)
{
    const qreal ratio = owner.devicePixelRatioF();
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    const QColor top = owner.palette().color(QPalette::Highlight);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, top.lighter(170));
    QPainter painter(&pixmap);
    painter.fillRect(QRect(QPoint(0, 0), size), gradient);
    const int image = 48;
    ToolImage(TToolImage::Recover).paint(&painter, QRect((size.width() - image) / 2, 16, image, image));
    return pixmap;
}

bool EndsWithSeparator(const QString& path)
{
    if (path.endsWith(QLatin1Char('/')))
        return true;
#if defined(_WIN32)
    return path.endsWith(QLatin1Char('\\'));
#else
    return false;
#endif
}

} // namespace

TFrmRecover::TFrmRecover(TOptions& options, QWidget* parent) : QDialog(parent), options_(options)
{
    setObjectName(QStringLiteral("FrmRecover"));
    setWindowTitle(Text(text::kRecoverTitle));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    Image = new QLabel(this);
    Image->setObjectName(QStringLiteral("Image"));
    lblFolder = new QLabel(Text(text::kRecoverFolderLabel), this);
    lblFolder->setObjectName(QStringLiteral("lblFolder"));
    edtPath = new QLineEdit(this);
    edtPath->setObjectName(QStringLiteral("edtPath"));
    lblFolder->setBuddy(edtPath);
    Browse = new QPushButton(Text(text::kRecoverBrowse), this);
    Browse->setObjectName(QStringLiteral("Browse"));
    chStructure = new QCheckBox(Text(text::kRecoverStructure), this);
    chStructure->setObjectName(QStringLiteral("chStructure"));
    chAllFiles = new QCheckBox(Text(text::kRecoverAllFiles), this);
    chAllFiles->setObjectName(QStringLiteral("chAllFiles"));
    chAllFiles->setChecked(true);
    btnOK = new QPushButton(Text(text::kOK), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(Text(text::kCancel), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    connect(Browse, &QPushButton::clicked, this, &TFrmRecover::BrowseClick);
    connect(btnOK, &QPushButton::clicked, this, &TFrmRecover::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TFrmRecover::reject);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(edtPath, 1);
    pathRow->addWidget(Browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* controls = new QVBoxLayout;
    controls->addWidget(lblFolder);
    controls->addLayout(pathRow);
    controls->addSpacing(8);
    controls->addWidget(chStructure);
    controls->addWidget(chAllFiles);
    controls->addStretch();
    controls->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Image);
    layout->addSpacing(6);
    layout->addLayout(controls, 1);
    edtPath->setMinimumWidth(300);

    // The tab order starts at OK.
    setTabOrder(btnOK, btnCancel);
    setTabOrder(btnCancel, Browse);
    setTabOrder(Browse, edtPath);
    setTabOrder(edtPath, chStructure);
    setTabOrder(chStructure, chAllFiles);

    const int height = sizeHint().height();
    Image->setPixmap(TallPicture(*this, QSize(80, height - 2 * layout->contentsMargins().top())));
    Image->setAlignment(Qt::AlignTop);
    setFixedSize(sizeHint());

    FormCreate();
}

TFrmRecover::~TFrmRecover()
{
    FormDestroy();
}

void TFrmRecover::FormCreate()
{
    edtPath->setText(QString::fromStdString(options_.Find(kOptPathRecover).GetString()));
    chAllFiles->setChecked(options_.Find(kOptCheckRecoverAll).GetBoolean());
    chStructure->setChecked(options_.Find(kOptCheckRestoreStructure).GetBoolean());
}

void TFrmRecover::FormDestroy()
{
    options_.Find(kOptPathRecover).SetString(edtPath->text().toStdString());
    options_.Find(kOptCheckRecoverAll).SetBoolean(chAllFiles->isChecked());
    options_.Find(kOptCheckRestoreStructure).SetBoolean(chStructure->isChecked());
}

void TFrmRecover::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    btnOK->setFocus(Qt::OtherFocusReason);
    emit shown();
}

void TFrmRecover::BrowseClick()
{
    const QString title = Text(text::kRecoverBrowseTitle);
    const QString folder = ChooseFolder ? ChooseFolder(this, title)
                                        : QFileDialog::getExistingDirectory(this, title, QString());
    if (!folder.isEmpty())
        edtPath->setText(QDir::toNativeSeparators(folder));
}

bool TFrmRecover::ConfirmPlacement(const QString& folder)
{
    if (!CheckTarget)
        return true;
    const TTargetCheck check = CheckTarget(folder.toStdString());
    if (!check.Dangerous())
        return true;
    const QString shown = QDir::toNativeSeparators(folder);
    const QString device = QString::fromStdString(check.Device);
    const QString where = check.Placement == TTargetPlacement::InsideImage
                              ? Text(text::kRecoverInsideImage).arg(shown, device)
                              : Text(text::kRecoverSameDisk).arg(shown, device);
    return ShowMessageBox(this, where + QStringLiteral("\r\r") + Text(text::kRecoverSameDiskRisk),
                          QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TFrmRecover::btnOKClick()
{
    QString path = edtPath->text().trimmed();
    edtPath->setText(path);
    if (path.isEmpty()) {
        ShowMessageBox(this, Text(text::kRecoverChooseFolder));
        return;
    }
    if (!EndsWithSeparator(path)) {
        path += QDir::separator();
        edtPath->setText(path);
    }
    // Before anything is made there: a folder on the disk being recovered
    // can cost the very files the user wants back.
    if (!ConfirmPlacement(path))
        return;
    if (!QFileInfo(path).isDir()) {
        if (ShowMessageBox(this, Text(text::kRecoverCreateFolder), QMessageBox::Question,
                           QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
            return;
        if (!QDir().mkpath(path) || !QFileInfo(path).isDir()) {
            ShowMessageBox(this, Text(text::kRecoverNotCreated), QMessageBox::Warning);
            return;
        }
    }
    if (StartRecovery)
        StartRecovery(path, chAllFiles->isChecked(), chStructure->isChecked());
    done(QDialog::Accepted);
}

void TFrmRecover::reject()
{
    done(kCancelResult);
}

} // namespace salvage::ui
