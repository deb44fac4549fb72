#include "kestrelupdate/DlgUpdateWizard.h"

#include "basekit/CorvaleApp.h"
#include "basekit/Skin.h"
#include "kestrelupdate/DlgProxySettings.h"
#include "kestrelupdate/UpdateArt.h"
#include "kestrelupdate/UpdateStrings.h"

#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QProcess>
#include <QPushButton>

namespace {

constexpr QSize kWindowSize(650, 500);
constexpr QSize kMinimumSize(500, 350);
constexpr QRect kPage(180, 120, 463, 310);
constexpr QRect kPicture(6, 116, 155, 305);
constexpr QRect kPlate(440, 36, 200, 37);
// The row of buttons below the etched line, from the bottom edge.
constexpr int kButtonRowBottom = 14;
constexpr int kLineAboveButtons = 12;

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

CDlgUpdateWizard::CDlgUpdateWizard(kestrelupdate::CheckSetup setup, bool autoCheck, QWidget* parent)
    : CDlgMainWnd(parent), wizardKey_(setup.wizardKey)
{
    InitUpdateArt();
    setObjectName(QStringLiteral("updateWizard"));
    picture_ = LoadSkinBitmap(kestrelupdate::UpdateBitmap(kestrelupdate::bmp::Picture));
    plate_ = LoadSkinBitmap(kestrelupdate::UpdateBitmap(kestrelupdate::bmp::TitlePlate));

    setWindowIcon(QIcon(kestrelupdate::kUpdateIcon));
    setWindowTitle(Text(kestrelupdate::text::kTitle));
    resize(kWindowSize);
    SetMinSize(kMinimumSize);
    PlaceCaptionButtons(QPoint(605, 4), QPoint(625, 4), QSize(18, 18));
    SetCaptionText(Text(kestrelupdate::text::kCaption));
    SetDragAnywhere(true);

    line_ = new QFrame(this);
    line_->setObjectName(QStringLiteral("etchedLine"));
    line_->setFrameShape(QFrame::HLine);
    line_->setFrameShadow(QFrame::Sunken);
    proxy_ = new QPushButton(Text(kestrelupdate::text::kProxySettings), this);
    proxy_->setObjectName(QStringLiteral("proxySettings1017"));
    proxy_->setToolTip(Text(kestrelupdate::text::kProxyTip));
    exit_ = new QPushButton(Text(kestrelupdate::text::kExitWizard), this);
    exit_->setObjectName(QStringLiteral("exitWizard1018"));
    exit_->setToolTip(Text(kestrelupdate::text::kExitTip));
    help_ = new QPushButton(Text(kestrelupdate::text::kHelp), this);
    help_->setObjectName(QStringLiteral("help1020"));
    for (QPushButton* button : {proxy_, exit_, help_})
        button->setAutoDefault(false);
    connect(proxy_, &QPushButton::clicked, this, &CDlgUpdateWizard::OnProxySettings);
    connect(help_, &QPushButton::clicked, this, &CDlgUpdateWizard::OnHelp);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);

    page_ = new CDlgCheckUpdate(std::move(setup), autoCheck, this);
    PlaceControls();
    page_->show();
    CenterWindow();
}

CDlgUpdateWizard::~CDlgUpdateWizard() = default;

void CDlgUpdateWizard::OnProxySettings()
{
#if defined(Q_OS_WIN)
    // Internet Options on its Connections page, where the system's proxy is set.
    QProcess::startDetached(QStringLiteral("control.exe"), {QStringLiteral("inetcpl.cpl,,4")});
#else
    CDlgProxySettings dialog(wizardKey_, this);
    dialog.exec();
#endif
}

void CDlgUpdateWizard::OnHelp()
{
    CCorvaleApp::StartHelp(this);
}

void CDlgUpdateWizard::PaintDlgNow(QPainter& painter)
{
    CDlgMainWnd::PaintDlgNow(painter);
    PaintBMP(painter, kPicture.x(), kPicture.y(), kPicture.width(), kPicture.height(), picture_);
    PaintBMP(painter, kPlate.x(), kPlate.y(), kPlate.width(), kPlate.height(), plate_);
}

void CDlgUpdateWizard::resizeEvent(QResizeEvent* event)
{
    CDlgMainWnd::resizeEvent(event);
    PlaceControls();
}

void CDlgUpdateWizard::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        OnHelp();
        return;
    }
    CDlgMainWnd::keyPressEvent(event);
}

void CDlgUpdateWizard::PlaceControls()
{
    if (!page_)
        return;
    // The buttons and the line keep to the bottom edge; the page keeps its
    // place and gives up what a smaller window lacks.
    const int w = width(), h = height();
    const int buttonHeight = std::max({proxy_->sizeHint().height(), help_->sizeHint().height(), 26});
    const int rowTop = h - kButtonRowBottom - buttonHeight;
    const auto widthOf = [](QPushButton* b) { return std::max(b->sizeHint().width() + 16, 96); };
    proxy_->setGeometry(kPage.x() + 12, rowTop, widthOf(proxy_), buttonHeight);
    const int exitX = w - 19 - widthOf(exit_);
    exit_->setGeometry(exitX, rowTop, widthOf(exit_), buttonHeight);
    help_->setGeometry(exitX - 8 - widthOf(help_), rowTop, widthOf(help_), buttonHeight);
    const int lineY = rowTop - kLineAboveButtons;
    line_->setGeometry(12, lineY, w - 24, 2);
    page_->setGeometry(kPage.x(), kPage.y(), std::min(kPage.width(), w - kPage.x() - 7),
                       std::min(kPage.height(), lineY - 4 - kPage.y()));
}
