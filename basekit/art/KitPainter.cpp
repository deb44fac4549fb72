#include "KitPainter.h"

#include "PaintTools.h"

#include <QPainterPath>

#include <algorithm>
#include <array>

namespace skinart {
namespace {

using namespace skinpalette;

QRectF Area(const Piece& piece)
{
    return QRectF(0, 0, piece.width, piece.height);
}

Frame StateOf(const Piece& piece)
{
    return piece.state >= 0 && piece.state <= 3 ? static_cast<Frame>(piece.state) : Frame::Normal;
}

// The rufous fill of a default button, lighter when hovered, deeper when
// pressed, greyed when disabled.
QLinearGradient AccentFill(QRectF r, Frame frame)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    switch (frame) {
    case Frame::Hovered:
        g.setColorAt(0, C(kAccentLight).lighter(110));
        g.setColorAt(1, C(kAccentLight));
        break;
    case Frame::Pressed:
        g.setColorAt(0, C(kAccent).darker(115));
        g.setColorAt(1, C(kAccent));
        break;
    case Frame::Disabled:
        g.setColorAt(0, C(kPanelTop));
        g.setColorAt(1, C(kPanelBottom));
        break;
    case Frame::Normal:
        g.setColorAt(0, C(kAccentLight));
        g.setColorAt(1, C(kAccent));
        break;
    }
    return g;
}

void PaintButtonFace(QPainter& p, const Piece& piece, bool accent)
{
    const QRectF r = Area(piece);
    const Frame frame = StateOf(piece);
    const qreal radius = std::min<qreal>(5, piece.height / 4.0);
    p.fillRect(r, C(kControl));
    if (accent) {
        QPainterPath shape;
        shape.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        p.fillPath(shape, AccentFill(r, frame));
        p.setPen(QPen(frame == Frame::Disabled ? C(kFrame) : C(kAccent).darker(125), 1));
        p.drawPath(shape);
    } else {
        PaintFace(p, r, frame, radius);
    }
    // A one-pixel highlight under the top edge, except when pressed in.
    if (frame != Frame::Pressed && frame != Frame::Disabled) {
        p.setPen(QPen(QColor(255, 255, 255, accent ? 90 : 200), 1));
        p.drawLine(QPointF(radius, 1.5), QPointF(piece.width - radius, 1.5));
    }
    if (piece.title.empty())
        return;
    const qreal shift = frame == Frame::Pressed ? 1 : 0;
    const QColor ink = frame == Frame::Disabled ? C(kTextMuted) : accent ? C(kTextOnDark) : C(kText);
    p.setPen(ink);
    p.setFont(FittingFont(Q(piece.title), piece.height * 0.42, piece.width - 16, true));
    p.drawText(r.translated(shift, shift), Qt::AlignCenter, Q(piece.title));
}

// The rounded end of a face at rest: the face drawn wider than the piece,
// so that only its left or right end shows.
void PaintFaceCap(QPainter& p, const Piece& piece, bool left)
{
    const QRectF r = Area(piece);
    p.fillRect(r, C(kControl));
    const qreal overhang = 12;
    PaintFace(p, left ? r.adjusted(0, 0, overhang, 0) : r.adjusted(-overhang, 0, 0, 0), Frame::Normal,
              std::min<qreal>(5, piece.height / 4.0));
    p.setPen(QPen(QColor(255, 255, 255, 200), 1));
    p.drawLine(QPointF(left ? 4 : 0, 1.5), QPointF(left ? piece.width : piece.width - 4, 1.5));
}

void PaintCheck(QPainter& p, const Piece& piece, bool round)
{
    const QRectF r = Area(piece);
    p.fillRect(r, C(kControl));
    const QRectF box = r.adjusted(1.5, 1.5, -1.5, -1.5);
    const bool on = piece.state == 1;
    p.setPen(QPen(on ? C(kAccent) : C(kFrame), 1));
    p.setBrush(on && !round ? C(kAccent) : C(kFace));
    if (round)
        p.drawEllipse(box);
    else
        p.drawRoundedRect(box, 2, 2);
    if (!on)
        return;
    if (round) {
        p.setPen(Qt::NoPen);
        p.setBrush(C(kAccent));
        p.drawEllipse(r.center(), 3, 3);
        return;
    }
    QPainterPath tick;
    tick.moveTo(3.5, 7.2);
    tick.lineTo(6, 9.8);
    tick.lineTo(10.6, 4.2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(C(kTextOnDark), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
}

// A solid arrow drawn pixel by pixel, crisp at seven pixels high: rows of
// 7, 5, 3 and 1 pixels (columns for the right arrow) around the centre.
void PaintArrow(QPainter& p, const Piece& piece)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(Area(piece), C(kControl));
    const QColor ink = C(kText);
    const int steps = 4;
    if (piece.look == Look::ArrowRight) {
        const int x0 = (piece.width - steps) / 2, cy = piece.height / 2;
        for (int i = 0; i < steps; ++i)
            p.fillRect(x0 + i, cy - (steps - 1 - i), 1, 2 * (steps - 1 - i) + 1, ink);
        return;
    }
    const int cx = piece.width / 2, y0 = (piece.height - steps) / 2;
    for (int i = 0; i < steps; ++i) {
        const int half = steps - 1 - i;
        const int y = piece.look == Look::ArrowDown ? y0 + i : y0 + steps - 1 - i;
        p.fillRect(cx - half, y, 2 * half + 1, 1, ink);
    }
}

void PaintCaption(QPainter& p, const Piece& piece)
{
    const QRectF r = Area(piece);
    p.fillRect(r, C(kCaptionDark));
    p.fillRect(QRectF(0, 0, 4, piece.height), C(kAccent));
    p.setPen(C(kTextOnDark));
    const QRectF text = r.adjusted(10, 0, -4, 0);
    p.setFont(FittingFont(Q(piece.title), piece.height * 0.56, text.width(), true));
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, Q(piece.title));
}

// The plate's vertical gradient, shared by the plate and its two ends.
QLinearGradient PlateFill(qreal height)
{
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, C(kCaptionLight));
    g.setColorAt(1, C(kCaptionDark));
    return g;
}

void PaintLogo(QPainter& p, const Piece& piece)
{
    const QRectF r = Area(piece);
    p.fillRect(r, C(kControl));
    QPainterPath shape;
    shape.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.fillPath(shape, PlateFill(piece.height));
    const qreal mark = piece.height - 22;
    PaintMark(p, QRectF(11, 11, mark, mark));
    const qreal textX = 11 + mark + 9;
    p.setPen(C(kTextOnDark));
    p.setFont(FittingFont(Q(piece.title), 26, piece.width - textX - 8, true));
    p.drawText(QRectF(textX, 8, piece.width - textX - 6, 30), Qt::AlignLeft | Qt::AlignVCenter, Q(piece.title));
    p.setPen(C(kAccentLight));
    p.setFont(FittingFont(QStringLiteral("Everyday Health Check"), 11, piece.width - textX - 8, false));
    p.drawText(QRectF(textX + 1, 36, piece.width - textX - 6, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Everyday Health Check"));
}

void PaintPlate(QPainter& p, const Piece& piece)
{
    p.fillRect(Area(piece), PlateFill(piece.height));
    p.setPen(C(kCaptionLight).lighter(125));
    p.drawLine(QPointF(0, 0.5), QPointF(piece.width, 0.5));
    p.fillRect(QRectF(0, piece.height - 3, piece.width, 3), C(kAccent));
    const qreal mark = 34;
    PaintMark(p, QRectF(4, (piece.height - 3 - mark) / 2, mark, mark));
    p.setPen(C(kTextOnDark));
    const QRectF text(4 + mark + 10, 0, piece.width - mark - 18, piece.height - 3);
    p.setFont(FittingFont(Q(piece.title), 18, text.width(), true));
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, Q(piece.title));
}

// The rounded ends of the plate: its fill, top line and rufous foot in a
// rounded rectangle that runs past the piece's inner side.
void PaintPlateCap(QPainter& p, const Piece& piece, bool left)
{
    const QRectF r = Area(piece);
    p.fillRect(r, C(kControl));
    const qreal overhang = 12;
    QPainterPath shape;
    shape.addRoundedRect(left ? r.adjusted(0, 0, overhang, 0) : r.adjusted(-overhang, 0, 0, 0), 8, 8);
    p.save();
    p.setClipPath(shape);
    p.fillRect(r, PlateFill(piece.height));
    p.setPen(C(kCaptionLight).lighter(125));
    p.drawLine(QPointF(0, 0.5), QPointF(piece.width, 0.5));
    p.fillRect(QRectF(0, piece.height - 3, piece.width, 3), C(kAccent));
    p.restore();
}

void PaintGrip(QPainter& p, const Piece& piece)
{
    const QRectF r = Area(piece);
    p.fillRect(r, C(kControl));
    QLinearGradient g(0, 0, piece.width, 0);
    g.setColorAt(0, C(kFace));
    g.setColorAt(1, C(kPanelTop));
    const QRectF bar = r.adjusted(2.5, 0.5, -2.5, -0.5);
    p.setPen(QPen(C(kFrame), 1));
    p.setBrush(g);
    p.drawRoundedRect(bar, 4, 4);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int cx = piece.width / 2;
    for (int y = piece.height / 2 - 12; y <= piece.height / 2 + 12; y += 4) {
        p.fillRect(cx - 2, y, 2, 2, C(kFrame));
        p.fillRect(cx + 1, y, 2, 2, C(kFrame));
        p.fillRect(cx - 1, y + 1, 1, 1, C(kFace));
        p.fillRect(cx + 2, y + 1, 1, 1, C(kFace));
    }
}

constexpr int kPanelHeading = 28;
constexpr int kPanelRow = 23;

// A panel's heading band: a light gradient with a rufous foot.
void PaintPanelHeading(QPainter& p, qreal width, qreal height)
{
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, C(kPanelTop));
    g.setColorAt(1, C(kPanelBottom));
    p.fillRect(QRectF(0, 0, width, height), g);
    p.fillRect(QRectF(0, height - 2, width, 2), C(kAccent));
    // The emblem's place: a small rufous square at the left.
    p.fillRect(QRectF(10, height / 2 - 5, 10, 10), C(kAccent));
}

void PaintPanel(QPainter& p, const Piece& piece, bool headingOnly)
{
    const QRectF r = Area(piece);
    p.fillRect(r, C(kControl));
    QPainterPath card;
    card.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, headingOnly ? 8 : -0.5), 6, 6);
    p.save();
    p.setClipPath(card);
    p.fillRect(r, C(kFace));
    const qreal heading = headingOnly ? piece.height : kPanelHeading;
    PaintPanelHeading(p, piece.width, heading);
    // Rows: every other one shaded, a rule between them.
    for (int i = 0; heading + (i + 1) * kPanelRow <= piece.height; ++i) {
        const qreal y = heading + i * kPanelRow;
        if (i % 2 == 1)
            p.fillRect(QRectF(0, y, piece.width, kPanelRow), C(kControl));
        p.setPen(C(kPanelTop));
        p.drawLine(QPointF(8, y + kPanelRow - 0.5), QPointF(piece.width - 8, y + kPanelRow - 0.5));
    }
    p.restore();
    p.setPen(QPen(C(kFrame), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(card);
}

void PaintProgressTrough(QPainter& p, const Piece& piece)
{
    const QRectF r = Area(piece);
    p.fillRect(r, C(kControl));
    // The track's inside is 16 pixels high, the height of the fill tile.
    const QRectF track(1.5, (piece.height - 18) / 2.0 + 0.5, piece.width - 3, 17);
    p.setPen(QPen(C(kFrame), 1));
    p.setBrush(C(kFace));
    p.drawRoundedRect(track, 4, 4);
    p.setPen(C(kPanelTop));
    p.drawLine(QPointF(track.left() + 3, track.top() + 1.5), QPointF(track.right() - 3, track.top() + 1.5));
}

void PaintProgressFill(QPainter& p, const Piece& piece)
{
    QLinearGradient g(0, 0, 0, piece.height);
    g.setColorAt(0, C(kAccentLight));
    g.setColorAt(0.55, C(kAccent));
    g.setColorAt(1, C(kAccent).darker(115));
    p.fillRect(Area(piece), g);
    p.fillRect(QRectF(0, 1, piece.width, 1), C(kAccentLight).lighter(115));
}

// Three lines along the longer side: a groove (dark, light, control) or,
// at state 1, a rufous band with a light foot.
void PaintEtchedRule(QPainter& p, const Piece& piece)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    const bool horizontal = piece.width >= piece.height;
    const std::array<QColor, 3> groove = {C(kFrame), C(kFace), C(kControl)};
    const std::array<QColor, 3> band = {C(kAccent), C(kAccent), C(kAccentLight)};
    const std::array<QColor, 3>& lines = piece.state == 1 ? band : groove;
    for (int i = 0; i < 3; ++i) {
        if (horizontal)
            p.fillRect(0, i, piece.width, 1, lines[static_cast<size_t>(i)]);
        else
            p.fillRect(i, 0, 1, piece.height, lines[static_cast<size_t>(i)]);
    }
}

// One dot in three, so that the tile repeats without a seam.
void PaintDottedRule(QPainter& p, const Piece& piece)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(Area(piece), C(kControl));
    for (int x = 0; x < piece.width; x += 3)
        p.fillRect(x, 0, 1, piece.height, C(kFrame));
}

void PaintInfoGlyph(QPainter& p, QRectF box)
{
    p.setPen(Qt::NoPen);
    p.setBrush(C(kCaptionLight));
    p.drawEllipse(box.adjusted(1, 1, -1, -1));
    p.setBrush(C(kTextOnDark));
    const qreal cx = box.center().x();
    p.drawEllipse(QPointF(cx, box.top() + 4.5), 1.3, 1.3);
    p.drawRect(QRectF(cx - 1.1, box.top() + 7, 2.2, 5.5));
}

// Good (a tick), attention (an exclamation mark), problem (a cross).
void PaintStatusGlyph(QPainter& p, QRectF box, int which)
{
    const QColor fills[] = {C(kCaptionLight), C(kAccentLight), C(kAccent).darker(120)};
    p.setPen(Qt::NoPen);
    p.setBrush(fills[which]);
    p.drawEllipse(box.adjusted(1, 1, -1, -1));
    const QPointF c = box.center();
    p.setPen(QPen(C(kTextOnDark), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    if (which == 0) {
        QPainterPath tick;
        tick.moveTo(c + QPointF(-3.5, 0.2));
        tick.lineTo(c + QPointF(-1, 2.8));
        tick.lineTo(c + QPointF(3.5, -2.5));
        p.drawPath(tick);
    } else if (which == 1) {
        p.drawLine(c + QPointF(0, -3.6), c + QPointF(0, 0.8));
        p.drawPoint(c + QPointF(0, 3.6));
    } else {
        p.drawLine(c + QPointF(-2.8, -2.8), c + QPointF(2.8, 2.8));
        p.drawLine(c + QPointF(-2.8, 2.8), c + QPointF(2.8, -2.8));
    }
}

void PaintGlyphs(QPainter& p, const Piece& piece)
{
    p.fillRect(Area(piece), C(kControl));
    if (piece.look == Look::InfoGlyph) {
        PaintInfoGlyph(p, Area(piece));
        return;
    }
    const int frames = piece.width / piece.height;
    for (int i = 0; i < frames && i < 3; ++i)
        PaintStatusGlyph(p, QRectF(i * piece.height, 0, piece.height, piece.height), i);
}

// The hand, pixel by pixel: X the black outline, o the white inside, the
// tip of the index finger on the top row at column 7.
constexpr std::array<const char*, 23> kHand = {
    "......XXXX............",  //
    ".....XooooX...........",  //
    ".....XooooX...........",  //
    ".....XooooX...........",  //
    ".....XooooX...........",  //
    ".....XooooX...........",  //
    ".....XooooXXXX........",  //
    ".....XooooXoooXXXX....",  //
    ".....XooooXoooXoooXXX.",  //
    ".....XooooXoooXoooXooX",  //
    ".XXX.XooooXoooXoooXooX",  //
    "XoooXXoooooooooooooooX",  //
    "XooooXoooooooooooooooX",  //
    ".XoooXoooooooooooooooX",  //
    "..XooooooooooooooooooX",  //
    "..XooooooooooooooooooX",  //
    "...XoooooooooooooooooX",  //
    "...XooooooooooooooooX.",  //
    "....XoooooooooooooooX.",  //
    "....XoooooooooooooooX.",  //
    ".....XooooooooooooX...",  //
    ".....XooooooooooooX...",  //
    ".....XXXXXXXXXXXXXX...",  //
};

void PaintHand(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    for (size_t y = 0; y < kHand.size(); ++y)
        for (int x = 0; kHand[y][x] != '\0'; ++x) {
            const char c = kHand[y][x];
            if (c == 'X' || c == 'o')
                p.fillRect(x, static_cast<int>(y), 1, 1, c == 'X' ? Qt::black : Qt::white);
        }
}

} // namespace

bool PaintKitPiece(QPainter& p, const Piece& piece)
{
    switch (piece.look) {
    case Look::ButtonFace:
    case Look::DefaultButtonFace:
        PaintButtonFace(p, piece, piece.look == Look::DefaultButtonFace);
        return true;
    case Look::FaceCapLeft:
    case Look::FaceCapRight:
        PaintFaceCap(p, piece, piece.look == Look::FaceCapLeft);
        return true;
    case Look::CheckBox:
    case Look::RadioButton:
        PaintCheck(p, piece, piece.look == Look::RadioButton);
        return true;
    case Look::ArrowDown:
    case Look::ArrowUp:
    case Look::ArrowRight:
        PaintArrow(p, piece);
        return true;
    case Look::Caption:
        PaintCaption(p, piece);
        return true;
    case Look::Logo:
        PaintLogo(p, piece);
        return true;
    case Look::Plate:
        PaintPlate(p, piece);
        return true;
    case Look::PlateCapLeft:
    case Look::PlateCapRight:
        PaintPlateCap(p, piece, piece.look == Look::PlateCapLeft);
        return true;
    case Look::Grip:
        PaintGrip(p, piece);
        return true;
    case Look::Panel:
    case Look::PanelHead:
        PaintPanel(p, piece, piece.look == Look::PanelHead);
        return true;
    case Look::ProgressTrough:
        PaintProgressTrough(p, piece);
        return true;
    case Look::ProgressFill:
        PaintProgressFill(p, piece);
        return true;
    case Look::EtchedRule:
        PaintEtchedRule(p, piece);
        return true;
    case Look::DottedRule:
        PaintDottedRule(p, piece);
        return true;
    case Look::InfoGlyph:
    case Look::StatusGlyphs:
        PaintGlyphs(p, piece);
        return true;
    case Look::HandCursor:
        PaintHand(p);
        return true;
    default:
        return false;
    }
}

} // namespace skinart
