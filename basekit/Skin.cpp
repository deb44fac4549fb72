#include "basekit/Skin.h"

#include "basekit/art/Palette.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QWidget>

QPixmap LoadSkinBitmap(const QString& resource)
{
    if (qApp && qApp->devicePixelRatio() > 1.0 && resource.endsWith(QLatin1String(".png"))) {
        QString twin = resource;
        twin.insert(twin.size() - 4, QLatin1String("@2x"));
        QPixmap sharp;
        if (QFile::exists(twin) && sharp.load(twin)) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    QPixmap bitmap;
    if (!bitmap.load(resource))
        return {};
    bitmap.setDevicePixelRatio(1.0);
    return bitmap;
}

void PaintBMP(QPainter& painter, int x, int y, int width, int height, const QPixmap& bitmap, int rop)
{
    if (bitmap.isNull() || width <= 0 || height <= 0 || rop != SRCCOPY)
        return;
    const qreal ratio = bitmap.devicePixelRatio();
    painter.drawPixmap(QRectF(x, y, width, height), bitmap, QRectF(0, 0, width * ratio, height * ratio));
}

void PaintBMP(QPainter& painter, int x, int y, const QPixmap& bitmap)
{
    const QSize size = bitmap.deviceIndependentSize().toSize();
    PaintBMP(painter, x, y, size.width(), size.height(), bitmap);
}

QColor ControlColour()
{
    static_assert(((skinpalette::kControl.b << 16) | (skinpalette::kControl.g << 8) | skinpalette::kControl.r) ==
                  kControlColourValue);
    return QColor(skinpalette::kControl.r, skinpalette::kControl.g, skinpalette::kControl.b);
}

void ApplyControlColour(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ControlColour());
    palette.setColor(QPalette::Button, ControlColour());
    palette.setColor(QPalette::WindowText, QColor(skinpalette::kText.r, skinpalette::kText.g, skinpalette::kText.b));
    widget->setPalette(palette);
}
