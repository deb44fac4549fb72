#include "basekit/DlgMainWnd.h"

#include "basekit/HoverButton2.h"
#include "basekit/Skin.h"
#include "basekit/art/Palette.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSizeGrip>
#include <QWindow>

// basekit is a static library: its resources are registered by hand.
static void InitBasekitResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(basekit);
        return true;
    }();
    (void)done;
}

QString CDlgMainWnd::m_ExeName;
QString CDlgMainWnd::m_DefaultTopic;

namespace {

QPixmap Piece(const char* name)
{
    return LoadSkinBitmap(QStringLiteral(":/basekit/") + QLatin1String(name) + QStringLiteral(".png"));
}

// Tiles bitmap from `from` in steps of its own size while below `to`.
void TileAcross(QPainter& p, const QPixmap& bitmap, int from, int to, int y)
{
    const QSize size = bitmap.deviceIndependentSize().toSize();
    for (int x = from; size.width() > 0 && x < to; x += size.width())
        PaintBMP(p, x, y, std::min(size.width(), to - x), size.height(), bitmap);
}

void TileDown(QPainter& p, const QPixmap& bitmap, int x, int from, int to)
{
    const QSize size = bitmap.deviceIndependentSize().toSize();
    for (int y = from; size.height() > 0 && y < to; y += size.height())
        PaintBMP(p, x, y, size.width(), std::min(size.height(), to - y), bitmap);
}

} // namespace

CDlgMainWnd::CDlgMainWnd(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    InitBasekitResources();
    skin_ = {Piece("top-left"),    Piece("top-tile"),    Piece("top-right"),   Piece("left-tile"),
             Piece("right-tile"),  Piece("bottom-left"), Piece("bottom-tile"), Piece("bottom-right")};
    // Minimising a frameless dialog needs the window-manager hint.
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    ApplyControlColour(this);

    systemMenu_ = new QMenu(this);
    systemMenu_->addAction(QStringLiteral("Mi&nimize"), this, [this] { OnSysCommand(SC_MINIMIZE); });
    systemMenu_->addAction(QStringLiteral("&Close"), this, [this] { OnSysCommand(SC_CLOSE); });
}

CDlgMainWnd::~CDlgMainWnd() = default;

void CDlgMainWnd::SetCaptionText(const QString& text)
{
    caption_ = text;
    update(0, 0, width(), dragBand_);
}

void CDlgMainWnd::SetMinSize(QSize size)
{
    setMinimumSize(size);
    if (!grip_) {
        grip_ = new QSizeGrip(this);
        grip_->setFixedSize(16, 16);
        grip_->setStyleSheet(QStringLiteral("background: transparent;"));
    }
    grip_->move(width() - grip_->width(), height() - grip_->height());
    grip_->show();
}

void CDlgMainWnd::PlaceCaptionButtons(QPoint minimise, QPoint close, QSize size)
{
    if (!minimise_) {
        minimise_ = new CHoverButton2(this);
        minimise_->setObjectName(QStringLiteral("captionMinimise"));
        minimise_->setAccessibleName(QStringLiteral("Minimize"));
        minimise_->setFocusPolicy(Qt::NoFocus);
        minimise_->LoadBitmap(QStringLiteral(":/basekit/caption-minimise.png"));
        connect(minimise_, &QAbstractButton::clicked, this, [this] { OnSysCommand(SC_MINIMIZE); });
        close_ = new CHoverButton2(this);
        close_->setObjectName(QStringLiteral("captionClose"));
        close_->setAccessibleName(QStringLiteral("Close"));
        close_->setFocusPolicy(Qt::NoFocus);
        close_->LoadBitmap(QStringLiteral(":/basekit/caption-close.png"));
        connect(close_, &QAbstractButton::clicked, this, [this] { OnSysCommand(SC_CLOSE); });
    }
    minimise_->setGeometry(QRect(minimise, size));
    close_->setGeometry(QRect(close, size));
    minimise_->show();
    close_->show();
}

void CDlgMainWnd::AddSystemMenuItem(int id, const QString& text)
{
    systemMenu_->addSeparator();
    systemMenu_->addAction(text, this, [this, id] { OnSysCommand(id); });
}

void CDlgMainWnd::OnSysCommand(int id)
{
    if (id == SC_MINIMIZE)
        showMinimized();
    else if (id == SC_CLOSE)
        reject();
}

void CDlgMainWnd::CenterWindow()
{
    QRect area;
    if (parentWidget() && parentWidget()->isVisible())
        area = parentWidget()->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (!area.isValid())
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void CDlgMainWnd::PaintDlgNow(QPainter& painter)
{
    PaintSkin(painter);
    PaintCaptionText(painter, QPoint(12, 4));
}

void CDlgMainWnd::PaintSkin(QPainter& p)
{
    const int w = width(), h = height();
    const int top = skin_.topLeft.deviceIndependentSize().toSize().height();
    p.fillRect(rect(), ControlColour());
    PaintBMP(p, 0, 0, skin_.topLeft);
    TileAcross(p, skin_.topTile, 248, w - 14, 0);
    PaintBMP(p, w - 14, 0, skin_.topRight);
    TileDown(p, skin_.leftTile, 0, top, h - 20);
    TileDown(p, skin_.rightTile, w - 6, top, h - 15);
    TileAcross(p, skin_.bottomTile, 15, w - 19, h - 7);
    PaintBMP(p, 0, h - 20, skin_.bottomLeft);
    PaintBMP(p, w - 19, h - 15, skin_.bottomRight);
}

void CDlgMainWnd::PaintCaptionText(QPainter& p, QPoint at)
{
    if (caption_.isEmpty())
        return;
    QFont font = this->font();
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(skinpalette::kTextOnDark.r, skinpalette::kTextOnDark.g, skinpalette::kTextOnDark.b));
    p.drawText(QRect(at.x(), at.y(), width() - at.x() - 60, dragBand_ - at.y()), Qt::AlignLeft | Qt::AlignVCenter,
               caption_);
}

void CDlgMainWnd::paintEvent(QPaintEvent*)
{
    // The backing store is the off-screen surface: painting here never flickers.
    QPainter painter(this);
    PaintDlgNow(painter);
}

void CDlgMainWnd::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (grip_)
        grip_->move(width() - grip_->width(), height() - grip_->height());
}

void CDlgMainWnd::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const bool onBand = at.y() >= 0 && at.y() < dragBand_;
    if (onBand && event->button() == Qt::RightButton) {
        ShowSystemMenu(event->globalPosition().toPoint());
        return;
    }
    if ((onBand || dragAnywhere_) && event->button() == Qt::LeftButton) {
        // The window manager moves it where it can; otherwise we do.
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - pos();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CDlgMainWnd::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CDlgMainWnd::mouseReleaseEvent(QMouseEvent* event)
{
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void CDlgMainWnd::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // Neither key closes a skinned dialog: its buttons do.
        event->accept();
        return;
    case Qt::Key_Space:
        if (event->modifiers() == Qt::AltModifier) {
            ShowSystemMenu(mapToGlobal(QPoint(0, dragBand_)));
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void CDlgMainWnd::ShowSystemMenu(QPoint global)
{
    systemMenu_->popup(global);
}
