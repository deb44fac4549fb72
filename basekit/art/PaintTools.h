#pragma once
// What every painter of the skin shares: the palette as QColors, the fonts,
// the header's gradient, the suite's mark and the faces of buttons.

#include "Palette.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <string>

namespace skinart {

[[nodiscard]] QColor C(skinpalette::Rgb rgb, int alpha = 255);
[[nodiscard]] QFont Font(qreal pixelSize, bool bold = false);
[[nodiscard]] QString Q(const std::string& text);

// The largest font (up to pixelSize) in which text fits width.
[[nodiscard]] QFont FittingFont(const QString& text, qreal pixelSize, qreal width, bool bold);

// The height of the caption band at the top of every header.
inline constexpr qreal kBand = 25;

// The header's vertical gradient: the dark caption band, a lighter area that
// darkens towards the body, and a rufous line at its foot.
[[nodiscard]] QLinearGradient HeaderGradient(qreal height);

// The suite's mark: a falcon's wing over a circle.
void PaintMark(QPainter& p, QRectF box);

// The emblem of a button: a rounded square with initials.
void PaintEmblem(QPainter& p, QRectF box, const std::string& initials, bool lit);

// The looks of a button: the three frames of an image button, and a
// disabled face for single faces.
enum class Frame { Normal = 0, Pressed = 1, Hovered = 2, Disabled = 3 };

[[nodiscard]] QColor FaceColour(Frame frame);

// A rounded face with its outline (rufous when hovered or pressed).
void PaintFace(QPainter& p, QRectF r, Frame frame, qreal radius);

} // namespace skinart
