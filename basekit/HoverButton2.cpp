#include "basekit/HoverButton2.h"

#include "basekit/Skin.h"

#include <QPainter>

CHoverButton2::CHoverButton2(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
}

bool CHoverButton2::LoadBitmap(const QString& resource)
{
    QPixmap bitmap = LoadSkinBitmap(resource);
    if (bitmap.isNull())
        return false;
    bitmap_ = bitmap;
    resource_ = resource;
    const QSize logical = bitmap_.deviceIndependentSize().toSize();
    frame_ = QSize(logical.width() / 3, logical.height());
    resize(frame_);
    update();
    return true;
}

void CHoverButton2::SetSelected(bool selected)
{
    if (selected_ == selected)
        return;
    selected_ = selected;
    update();
}

int CHoverButton2::CurrentFrame() const
{
    if (isDown() || selected_)
        return 1;
    if (hovered_ || hasFocus())
        return 2;
    return 0;
}

QSize CHoverButton2::sizeHint() const
{
    return frame_.isValid() ? frame_ : QSize(16, 16);
}

void CHoverButton2::paintEvent(QPaintEvent*)
{
    if (bitmap_.isNull())
        return;
    QPainter p(this);
    const qreal ratio = bitmap_.devicePixelRatio();
    const QRectF source(CurrentFrame() * frame_.width() * ratio, 0, frame_.width() * ratio, frame_.height() * ratio);
    p.drawPixmap(QRectF(0, 0, frame_.width(), frame_.height()), bitmap_, source);
}

void CHoverButton2::enterEvent(QEnterEvent* event)
{
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CHoverButton2::leaveEvent(QEvent* event)
{
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}
