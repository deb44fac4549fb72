#include "Painter.h"

#include "Palette.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace skinart {
namespace {

using skinpalette::Rgb;

QColor C(Rgb rgb, int alpha = 255)
{
    return QColor(rgb.r, rgb.g, rgb.b, alpha);
}

QFont Font(qreal pixelSize, bool bold = false)
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

// The height of the caption band at the top of every header.
constexpr qreal kBand = 25;

// The header's vertical gradient: the dark caption band, a lighter area that
// darkens towards the body, and a rufous line at its foot.
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

// The largest font (up to pixelSize) in which text fits width.
QFont FittingFont(const QString& text, qreal pixelSize, qreal width, bool bold)
{
    QFont font = Font(pixelSize, bold);
    while (font.pixelSize() > 8 && QFontMetricsF(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

// The suite's mark: a falcon's wing over a circle.
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

void PaintHeader(QPainter& p, const Piece& piece, bool left, bool right)
{
    const QRectF r(0, 0, piece.width, piece.height);
    p.fillRect(r, HeaderGradient(piece.height));
    if (left) {
        // The mark and the name fill the area below the caption band; a
        // tall header also carries the motto.
        const qreal area = piece.height - kBand - 4;
        const bool tall = area >= 80;
        const qreal mark = tall ? 52 : area - 10;
        const qreal top = kBand + (area - mark) / 2;
        PaintMark(p, QRectF(18, top, mark, mark));
        const qreal textX = 18 + mark + 10;
        p.setPen(C(skinpalette::kTextOnDark));
        p.setFont(Font(tall ? 30 : mark * 0.62, true));
        p.drawText(QRectF(textX, tall ? top - 2 : top, piece.width - textX - 4, tall ? 40 : mark),
                   Qt::AlignLeft | Qt::AlignVCenter, Q(piece.title));
        if (tall) {
            p.setPen(C(skinpalette::kAccentLight));
            p.setFont(Font(11));
            p.drawText(QRectF(textX + 2, top + 36, piece.width - textX - 4, 18), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("tools for a healthy computer"));
        }
    }
    if (right) {
        p.setPen(C(skinpalette::kFrame));
        p.drawLine(QPointF(piece.width - 0.5, 0), QPointF(piece.width - 0.5, piece.height));
    }
}

void PaintEdge(QPainter& p, const Piece& piece)
{
    const QRectF r(0, 0, piece.width, piece.height);
    p.fillRect(r, C(skinpalette::kCaptionLight));
    p.setPen(C(skinpalette::kCaptionDark));
    switch (piece.look) {
    case Look::EdgeLeft:
        p.drawLine(QPointF(0.5, 0), QPointF(0.5, piece.height));
        break;
    case Look::EdgeRight:
        p.drawLine(QPointF(piece.width - 0.5, 0), QPointF(piece.width - 0.5, piece.height));
        break;
    default:
        p.drawLine(QPointF(0, piece.height - 0.5), QPointF(piece.width, piece.height - 0.5));
        break;
    }
}

void PaintCorner(QPainter& p, const Piece& piece)
{
    // Only the frame along two sides: whatever lies inside shows through.
    const qreal w = piece.width, h = piece.height;
    p.setPen(Qt::NoPen);
    p.setBrush(C(skinpalette::kCaptionLight));
    if (piece.look == Look::CornerBottomLeft) {
        p.drawRect(QRectF(0, 0, 6, h));
        p.drawRect(QRectF(0, h - 7, w, 7));
    } else {
        p.drawRect(QRectF(w - 6, 0, 6, h));
        p.drawRect(QRectF(0, h - 7, w, 7));
        // The grip: three short diagonals.
        p.setPen(QPen(C(skinpalette::kFrame), 1));
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(w - 8 - 3 * i, h - 8), QPointF(w - 8, h - 8 - 3 * i));
    }
    p.setPen(C(skinpalette::kCaptionDark));
    p.drawLine(QPointF(0, h - 0.5), QPointF(w, h - 0.5));
}

void PaintSidePanel(QPainter& p, const Piece& piece)
{
    QLinearGradient g(0, 0, 0, piece.height);
    g.setColorAt(0, C(skinpalette::kPanelTop));
    g.setColorAt(1, C(skinpalette::kPanelBottom));
    p.fillRect(QRectF(0, 0, piece.width, piece.height), g);
    p.fillRect(QRectF(0, 0, 6, piece.height), C(skinpalette::kCaptionLight));
    p.setPen(C(skinpalette::kCaptionDark));
    p.drawLine(QPointF(0.5, 0), QPointF(0.5, piece.height));
    p.setPen(C(skinpalette::kFrame));
    p.drawLine(QPointF(piece.width - 0.5, 0), QPointF(piece.width - 0.5, piece.height));
}

void PaintBody(QPainter& p, const Piece& piece)
{
    QLinearGradient g(0, 0, 0, piece.height);
    g.setColorAt(0, C(skinpalette::kFace));
    g.setColorAt(1, C(skinpalette::kControl));
    p.fillRect(QRectF(0, 0, piece.width, piece.height), g);
}

void PaintTitlePlate(QPainter& p, const Piece& piece)
{
    const QRectF r(0, 0, piece.width, piece.height);
    // No background of its own: the plate lies on the header's gradient.
    const QRectF text = r.adjusted(6, 0, -14, 0);
    p.setPen(C(skinpalette::kTextOnDark));
    p.setFont(FittingFont(Q(piece.title), piece.height * 0.52, text.width(), true));
    p.drawText(text, Qt::AlignRight | Qt::AlignVCenter, Q(piece.title));
}

void PaintBanner(QPainter& p, const Piece& piece)
{
    const QRectF r(0, 0, piece.width, piece.height);
    p.fillRect(r, C(skinpalette::kFace));
    p.fillRect(QRectF(0, 3, 5, piece.height - 6), C(skinpalette::kAccent));
    p.setPen(C(skinpalette::kText));
    p.setFont(Font(18, true));
    p.drawText(r.adjusted(14, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, Q(piece.title));
}

// The rounded slate panel of a side picture with the mark, a title and a
// line of detail; the motif below is each picture's own.
void PaintPictureFrame(QPainter& p, const Piece& piece)
{
    const QRectF r(0, 0, piece.width, piece.height);
    QLinearGradient g(0, 0, 0, piece.height);
    g.setColorAt(0, C(skinpalette::kCaptionLight));
    g.setColorAt(1, C(skinpalette::kCaptionDark));
    QPainterPath shape;
    shape.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.fillPath(shape, g);
    PaintMark(p, QRectF(piece.width / 2.0 - 40, 40, 80, 80));
    p.setPen(C(skinpalette::kTextOnDark));
    p.setFont(FittingFont(Q(piece.title), 17, piece.width - 16, true));
    p.drawText(QRectF(8, 140, piece.width - 16, 28), Qt::AlignCenter, Q(piece.title));
    p.setPen(C(skinpalette::kAccentLight));
    p.setFont(Font(11));
    p.drawText(QRectF(8, 170, piece.width - 16, 40), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
               Q(piece.detail));
}

void PaintSidePicture(QPainter& p, const Piece& piece)
{
    PaintPictureFrame(p, piece);
    // Three ticked rows, the manager's list in miniature.
    for (int i = 0; i < 3; ++i) {
        const QRectF box(24, 222 + 22.0 * i, 14, 14);
        p.setPen(QPen(C(skinpalette::kTextOnDark), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRect(box);
        if (i != 1) {
            p.setPen(QPen(C(skinpalette::kAccentLight), 2.2));
            p.drawLine(box.topLeft() + QPointF(3, 7), box.topLeft() + QPointF(6, 11));
            p.drawLine(box.topLeft() + QPointF(6, 11), box.topLeft() + QPointF(12, 2));
        }
        p.fillRect(QRectF(46, 227 + 22.0 * i, piece.width - 74.0 - 12 * i, 4), C(skinpalette::kTextOnDark, 150));
    }
}

void PaintUpdatePicture(QPainter& p, const Piece& piece)
{
    PaintPictureFrame(p, piece);
    // Two arrows turning round each other: a newer release coming in.
    const qreal size = std::min<qreal>(70, piece.height - 226);
    const QRectF ring(piece.width / 2.0 - size / 2, 218, size, size);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        const qreal start = 90 + 180 * i;  // degrees, counter-clockwise from three o'clock
        p.setPen(QPen(i == 0 ? C(skinpalette::kAccentLight) : C(skinpalette::kTextOnDark), 5, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(ring, qRound((start + 20) * 16), 130 * 16);
        // The head at the arc's end, pointing along it.
        const qreal end = qDegreesToRadians(start + 150);
        const QPointF tip(ring.center().x() + size / 2 * std::cos(end), ring.center().y() - size / 2 * std::sin(end));
        const QPointF along(-std::sin(end), -std::cos(end));  // the direction of travel at the end
        const QPointF across(std::cos(end), -std::sin(end));
        QPolygonF head;
        head << tip + along * 9 << tip + across * 8 << tip - across * 8;
        p.setPen(Qt::NoPen);
        p.setBrush(i == 0 ? C(skinpalette::kAccentLight) : C(skinpalette::kTextOnDark));
        p.drawPolygon(head);
        p.setBrush(Qt::NoBrush);
    }
}

// The emblem of a button: a rounded square with initials.
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

enum class Frame { Normal = 0, Pressed = 1, Hovered = 2 };

QColor FaceColour(Frame frame)
{
    switch (frame) {
    case Frame::Pressed:
        return C(skinpalette::kFacePressed);
    case Frame::Hovered:
        return C(skinpalette::kFaceHover);
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
    p.setPen(QPen(frame == Frame::Normal ? C(skinpalette::kFrame) : C(skinpalette::kAccent), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
}

void PaintCategoryButton(QPainter& p, const Piece& piece, Frame frame)
{
    const QRectF r(0, 0, piece.width, piece.height);
    PaintFace(p, r, frame, 6);
    const qreal shift = frame == Frame::Pressed ? 1 : 0;
    if (frame == Frame::Pressed)
        p.fillRect(QRectF(1, 6, 4, piece.height - 12), C(skinpalette::kAccent));
    PaintEmblem(p, QRectF(10, 7 + shift, 31, 31), piece.emblem, frame != Frame::Normal);
    p.setPen(C(skinpalette::kText));
    p.setFont(Font(12.5, frame == Frame::Pressed));
    p.drawText(QRectF(48, shift, piece.width - 52, piece.height), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
               Q(piece.title));
}

void PaintToolButton(QPainter& p, const Piece& piece, Frame frame)
{
    const QRectF r(0, 0, piece.width, piece.height);
    PaintFace(p, r, frame, 8);
    const qreal shift = frame == Frame::Pressed ? 1 : 0;
    PaintEmblem(p, QRectF(12, 9 + shift, 47, 47), piece.emblem, frame != Frame::Normal);
    p.setPen(C(skinpalette::kText));
    p.setFont(Font(17, true));
    p.drawText(QRectF(74, 10 + shift, piece.width - 110, 24), Qt::AlignLeft | Qt::AlignVCenter, Q(piece.title));
    p.setPen(C(skinpalette::kTextMuted));
    p.setFont(Font(12));
    p.drawText(QRectF(74, 35 + shift, piece.width - 110, 20), Qt::AlignLeft | Qt::AlignVCenter, Q(piece.detail));
    // The start arrow on the right, lit when the button is.
    QPainterPath arrow;
    const qreal ax = piece.width - 28, ay = piece.height / 2.0 + shift;
    arrow.moveTo(ax, ay - 8);
    arrow.lineTo(ax + 10, ay);
    arrow.lineTo(ax, ay + 8);
    p.setPen(QPen(frame == Frame::Normal ? C(skinpalette::kFrame) : C(skinpalette::kAccent), 3, Qt::SolidLine,
                  Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(arrow);
}

// The small buttons on the dark header.
void PaintHeaderButton(QPainter& p, const Piece& piece, Frame frame)
{
    const QRectF r(0, 0, piece.width, piece.height);
    p.fillRect(r, C(skinpalette::kCaptionDark));
    QPainterPath shape;
    shape.addRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), 3, 3);
    const QColor fill = frame == Frame::Pressed   ? C(skinpalette::kAccent)
                        : frame == Frame::Hovered ? C(skinpalette::kCaptionLight)
                                                  : C(skinpalette::kCaptionDark);
    p.fillPath(shape, fill);
    p.setPen(QPen(frame == Frame::Normal ? C(skinpalette::kCaptionLight) : C(skinpalette::kAccentLight), 1));
    p.drawPath(shape);
    const QPointF c = r.center() + QPointF(0, frame == Frame::Pressed ? 0.5 : 0);
    p.setPen(QPen(C(skinpalette::kTextOnDark), 1.6, Qt::SolidLine, Qt::RoundCap));
    switch (piece.look) {
    case Look::CaptionMinimise:
        p.drawLine(c + QPointF(-4, 3.5), c + QPointF(4, 3.5));
        break;
    case Look::CaptionClose:
        p.drawLine(c + QPointF(-3.5, -3.5), c + QPointF(3.5, 3.5));
        p.drawLine(c + QPointF(-3.5, 3.5), c + QPointF(3.5, -3.5));
        break;
    case Look::HelpButton:
        p.setFont(Font(16, true));
        p.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
        break;
    case Look::ExitButton: {
        // A power sign.
        p.setPen(QPen(C(skinpalette::kTextOnDark), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(c.x() - 6.5, c.y() - 5.5, 13, 13), 120 * 16, 300 * 16);
        p.drawLine(c + QPointF(0, -7.5), c + QPointF(0, 0));
        break;
    }
    default:
        break;
    }
}

void PaintIcon(QPainter& p, const Piece& piece)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1, 1, piece.width - 2, piece.height - 2);
    QPainterPath shape;
    shape.addRoundedRect(box, piece.width / 5.0, piece.width / 5.0);
    p.fillPath(shape, C(skinpalette::kCaptionDark));
    PaintMark(p, box.adjusted(3, 3, -3, -3));
}

void PaintFrame(QPainter& p, const Piece& piece, Frame frame)
{
    switch (piece.look) {
    case Look::CategoryButton:
        PaintCategoryButton(p, piece, frame);
        break;
    case Look::ToolButton:
        PaintToolButton(p, piece, frame);
        break;
    default:
        PaintHeaderButton(p, piece, frame);
        break;
    }
}

} // namespace

QImage PaintPiece(const Piece& piece, int scale)
{
    QImage image(piece.width * piece.frames * scale, piece.height * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    switch (piece.look) {
    case Look::HeaderLeft:
        PaintHeader(p, piece, true, false);
        break;
    case Look::HeaderMiddle:
        PaintHeader(p, piece, false, false);
        break;
    case Look::HeaderRight:
        PaintHeader(p, piece, false, true);
        break;
    case Look::EdgeLeft:
    case Look::EdgeRight:
    case Look::EdgeBottom:
        PaintEdge(p, piece);
        break;
    case Look::CornerBottomLeft:
    case Look::CornerBottomRight:
        PaintCorner(p, piece);
        break;
    case Look::SidePanel:
        PaintSidePanel(p, piece);
        break;
    case Look::Body:
        PaintBody(p, piece);
        break;
    case Look::Rule:
        p.fillRect(QRectF(0, 0, piece.width, piece.height), C(skinpalette::kFrame));
        break;
    case Look::TitlePlate:
        PaintTitlePlate(p, piece);
        break;
    case Look::Banner:
        PaintBanner(p, piece);
        break;
    case Look::SidePicture:
        PaintSidePicture(p, piece);
        break;
    case Look::UpdatePicture:
        PaintUpdatePicture(p, piece);
        break;
    case Look::Icon:
        PaintIcon(p, piece);
        break;
    case Look::CategoryButton:
    case Look::ToolButton:
    case Look::CaptionMinimise:
    case Look::CaptionClose:
    case Look::HelpButton:
    case Look::ExitButton:
        for (int f = 0; f < piece.frames; ++f) {
            p.save();
            p.translate(f * piece.width, 0);
            p.setClipRect(QRectF(0, 0, piece.width, piece.height));
            PaintFrame(p, piece, static_cast<Frame>(f));
            p.restore();
        }
        break;
    }
    p.end();
    return image;
}

} // namespace skinart
