#pragma once
// Skin bitmaps and the painting helpers of the skinned dialogs.

#include <QColor>
#include <QPixmap>
#include <QString>

class QPainter;
class QWidget;

// Raster operations PaintBMP knows (the skin only ever copies).
inline constexpr int SRCCOPY = 0x00CC0020;

// Loads a skin bitmap from the resources. On a screen of more than one
// device pixel per point its "@2x" twin is taken when there is one, so the
// skin stays sharp. A null pixmap when neither loads.
[[nodiscard]] QPixmap LoadSkinBitmap(const QString& resource);

// Copies the top-left width x height (in points) of bitmap to (x, y).
void PaintBMP(QPainter& painter, int x, int y, int width, int height, const QPixmap& bitmap, int rop = SRCCOPY);

// Copies bitmap to (x, y) at its own size.
void PaintBMP(QPainter& painter, int x, int y, const QPixmap& bitmap);

// The controls' background colour: 16118000 (0x00BBGGRR: red 240, green 240, blue 245).
[[nodiscard]] QColor ControlColour();
inline constexpr unsigned long kControlColourValue = 16118000;

// Gives widget (and the controls in it) the control colour as background
// and as the background of text.
void ApplyControlColour(QWidget* widget);
