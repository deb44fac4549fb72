#include "PaintTools.h"

#include <QFontMetricsF>
#include <QPainterPath>

namespace skinart {

QColor C(skinpalette::Rgb rgb, int alpha)
{
    return QColor(rgb.r, rgb.g, rgb.b, alpha);
}

QFont Font(qreal pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(pixelSize));
    font.setBold(bold);
    return font;
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QLinearGradient HeaderGradient(qreal height)
{
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0.0, C(skinpalette::kCaptionDark));
    g.setColorAt((kBand - 1) / height, C(skinpalette::kCaptionDark));
    g.setColorAt(kBand / height, C(skinpalette::kCaptionLight));
    g.setColorAt((height - 4) / height, C(skinpalette::kCaptionDark));
    g.setColorAt((height - 3) / height, C(skinpalette::kAccent));
    g.setColorAt(1.0, C(skinpalette::kAccent));
    return g;
}

QFont FittingFont(const QString& text, qreal pixelSize, qreal width, bool bold)
{
    QFont font = Font(pixelSize, bold);
    while (font.pixelSize() > 8 && QFontMetricsF(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

void PaintMark(QPainter& p, QRectF box)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(C(skinpalette::kAccent));
    p.drawEllipse(box);
    QPainterPath wing;
    const qreal x = box.x(), y = box.y(), w = box.width(), h = box.height();
    wing.moveTo(x + 0.12 * w, y + 0.62 * h);
    wing.cubicTo(x + 0.35 * w, y + 0.20 * h, x + 0.70 * w, y + 0.18 * h, x + 0.92 * w, y + 0.30 * h);
    wing.cubicTo(x + 0.70 * w, y + 0.36 * h, x + 0.55 * w, y + 0.48 * h, x + 0.50 * w, y + 0.80 * h);
    wing.cubicTo(x + 0.42 * w, y + 0.62 * h, x + 0.28 * w, y + 0.58 * h, x + 0.12 * w, y + 0.62 * h);
    p.setBrush(C(skinpalette::kTextOnDark));
    p.drawPath(wing);
    p.restore();
}

void PaintEmblem(QPainter& p, QRectF box, const std::string& initials, bool lit)
{
    QPainterPath shape;
    shape.addRoundedRect(box, box.width() / 5, box.width() / 5);
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0, C(lit ? skinpalette::kAccentLight : skinpalette::kCaptionLight));
    g.setColorAt(1, C(lit ? skinpalette::kAccent : skinpalette::kCaptionDark));
    p.fillPath(shape, g);
    p.setPen(C(skinpalette::kTextOnDark));
    p.setFont(Font(box.height() * 0.42, true));
    p.drawText(box, Qt::AlignCenter, Q(initials));
}

QColor FaceColour(Frame frame)
{
    switch (frame) {
    case Frame::Pressed:
        return C(skinpalette::kFacePressed);
    case Frame::Hovered:
        return C(skinpalette::kFaceHover);
    case Frame::Disabled:
        return C(skinpalette::kControl);
    case Frame::Normal:
        break;
    }
    return C(skinpalette::kFace);
}

void PaintFace(QPainter& p, QRectF r, Frame frame, qreal radius)
{
    QPainterPath shape;
    shape.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.fillPath(shape, FaceColour(frame));
    const bool lit = frame == Frame::Pressed || frame == Frame::Hovered;
    p.setPen(QPen(lit ? C(skinpalette::kAccent) : C(skinpalette::kFrame), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
}

} // namespace skinart
