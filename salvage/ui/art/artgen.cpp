// artgen OUTDIR: draws the desktop program's pictures as PNG files, at 1x,
// 2x and 4x so that they stay crisp on high-DPI screens (NAME.png,
// NAME@2x.png, NAME@4x.png). Run at build time; the pictures are compiled
// into the program as Qt resources.
//
// Every picture is drawn in its design grid (16 or 32 units) and scaled, so
// the three sizes are the same drawing. Deleted items differ from live ones
// by shape, not colour alone: a dashed outline and a cross.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

const QColor kFolderFill(0xF4, 0xC4, 0x52);
const QColor kFolderBack(0xE0, 0xA8, 0x30);
const QColor kFolderLine(0x9C, 0x71, 0x1C);
const QColor kPageFill(0xFF, 0xFF, 0xFF);
const QColor kPageLine(0x4E, 0x5D, 0x70);
const QColor kTextLine(0x8F, 0xB4, 0xDC);
const QColor kGoneFill(0xE4, 0xE4, 0xE4);
const QColor kGoneLine(0x80, 0x80, 0x80);
const QColor kCross(0xC6, 0x28, 0x28);
const QColor kBlue(0x1E, 0x6F, 0xC8);
const QColor kGreen(0x2E, 0x9D, 0x4A);

using Draw = std::function<void(QPainter&)>;

QPen Line(const QColor& colour, double width = 1.0)
{
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

QPen Dashed(const QColor& colour)
{
    QPen pen(colour, 1.0);
    pen.setDashPattern({1.5, 1.0});
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// A red cross with a white halo, so it reads on any background.
void Cross(QPainter& p, QRectF box, double width)
{
    for (int pass = 0; pass < 2; ++pass) {
        p.setPen(Line(pass == 0 ? QColor(Qt::white) : kCross, pass == 0 ? width + 1.4 : width));
        p.drawLine(box.topLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomLeft());
    }
}

QPainterPath FolderShape()
{
    QPainterPath path;
    path.moveTo(1.5, 13.5);
    path.lineTo(1.5, 3.5);
    path.lineTo(6.0, 3.5);
    path.lineTo(7.5, 5.0);
    path.lineTo(14.5, 5.0);
    path.lineTo(14.5, 13.5);
    path.closeSubpath();
    return path;
}

void Folder(QPainter& p, bool gone)
{
    p.setPen(gone ? Dashed(kGoneLine) : Line(kFolderLine));
    p.setBrush(gone ? kGoneFill : kFolderBack);
    p.drawPath(FolderShape());
    // The front flap.
    QPainterPath flap;
    flap.moveTo(1.5, 13.5);
    flap.lineTo(2.8, 7.0);
    flap.lineTo(14.5, 7.0);
    flap.lineTo(14.5, 13.5);
    flap.closeSubpath();
    p.setBrush(gone ? QColor(0xF2, 0xF2, 0xF2) : kFolderFill);
    p.drawPath(flap);
}

QPolygonF PageShape(double left, double top, double right, double bottom, double fold)
{
    return QPolygonF({{left, top}, {right - fold, top}, {right, top + fold}, {right, bottom}, {left, bottom}});
}

void Page(QPainter& p, bool gone)
{
    p.setPen(gone ? Dashed(kGoneLine) : Line(kPageLine));
    p.setBrush(gone ? kGoneFill : kPageFill);
    p.drawPolygon(PageShape(3.5, 1.5, 12.5, 14.5, 3.0));
    p.setPen(Line(gone ? kGoneLine : kPageLine));
    p.drawPolyline(QPolygonF({{9.5, 1.5}, {9.5, 4.5}, {12.5, 4.5}}));
    if (!gone) {
        p.setPen(Line(kTextLine));
        for (double y : {7.5, 9.5, 11.5})
            p.drawLine(QPointF(5.5, y), QPointF(10.5, y));
    }
}

void FolderImage(QPainter& p) { Folder(p, false); }

void DeletedFolderImage(QPainter& p)
{
    Folder(p, true);
    Cross(p, QRectF(6.5, 7.5, 6.5, 6.0), 1.6);
}

void HasDeletedImage(QPainter& p)
{
    Folder(p, false);
    // A badge: something in here was deleted.
    p.setPen(Line(Qt::white, 1.0));
    p.setBrush(kCross);
    p.drawEllipse(QPointF(11.5, 11.0), 4.0, 4.0);
    p.setPen(Line(Qt::white, 1.5));
    p.drawLine(QPointF(11.5, 8.8), QPointF(11.5, 11.3));
    p.drawPoint(QPointF(11.5, 13.3));
}

void FileImage(QPainter& p) { Page(p, false); }

void DeletedFileImage(QPainter& p)
{
    Page(p, true);
    Cross(p, QRectF(4.5, 5.5, 7.0, 7.0), 1.6);
}

void SortArrow(QPainter& p, bool up)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x55, 0x5F, 0x6A));
    if (up)
        p.drawPolygon(QPolygonF({{4.0, 10.5}, {12.0, 10.5}, {8.0, 5.5}}));
    else
        p.drawPolygon(QPolygonF({{4.0, 5.5}, {12.0, 5.5}, {8.0, 10.5}}));
}

void HardDisk(QPainter& p, QRectF box)
{
    QLinearGradient shade(box.topLeft(), box.bottomLeft());
    shade.setColorAt(0, QColor(0xDD, 0xE2, 0xE8));
    shade.setColorAt(1, QColor(0x9A, 0xA4, 0xB0));
    p.setPen(Line(QColor(0x4A, 0x52, 0x5C)));
    p.setBrush(shade);
    p.drawRoundedRect(box, box.height() / 6, box.height() / 6);
    const double unit = box.height() / 7.0;
    p.setPen(Line(QColor(0x5E, 0x68, 0x74), unit * 0.9));
    p.drawLine(QPointF(box.left() + unit * 1.5, box.center().y()), QPointF(box.center().x(), box.center().y()));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3C, 0xD0, 0x5C));
    p.drawEllipse(QPointF(box.right() - unit * 1.7, box.center().y()), unit * 0.9, unit * 0.9);
}

void FixedDriveImage(QPainter& p) { HardDisk(p, QRectF(1.5, 4.5, 13.0, 7.0)); }

void RemovableDriveImage(QPainter& p)
{
    p.setPen(Line(QColor(0x6B, 0x73, 0x7D)));
    p.setBrush(QColor(0xD5, 0xDA, 0xE0));
    p.drawRect(QRectF(10.5, 6.0, 4.0, 4.0));
    p.setPen(Line(QColor(0x15, 0x4A, 0x8A)));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(1.5, 4.5, 9.5, 7.0), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(11.5, 7.0, 1.0, 1.0));
    p.drawRect(QRectF(11.5, 8.5, 1.0, 1.0));
}

void Platter(QPainter& p, QPointF centre, double radius)
{
    p.setPen(Line(QColor(0x4A, 0x52, 0x5C), radius / 6));
    p.setBrush(QColor(0xC9, 0xD3, 0xDE));
    p.drawEllipse(centre, radius, radius);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, radius / 3.2, radius / 3.2);
}

void ImageFileImage(QPainter& p)
{
    p.setPen(Line(kPageLine));
    p.setBrush(kPageFill);
    p.drawPolygon(PageShape(2.5, 1.5, 13.5, 14.5, 3.0));
    Platter(p, QPointF(8.0, 9.0), 4.0);
}

// --- Tool-bar pictures, 32 units ------------------------------------------

void Star(QPainter& p, QPointF c, double r, const QColor& colour)
{
    QPainterPath star;
    star.moveTo(c.x(), c.y() - r);
    star.quadTo(c, QPointF(c.x() + r, c.y()));
    star.quadTo(c, QPointF(c.x(), c.y() + r));
    star.quadTo(c, QPointF(c.x() - r, c.y()));
    star.quadTo(c, QPointF(c.x(), c.y() - r));
    p.setPen(Line(colour.darker(140), 0.8));
    p.setBrush(colour);
    p.drawPath(star);
}

void WizardTool(QPainter& p)
{
    p.setPen(Line(QColor(0x2B, 0x2F, 0x36), 4.0));
    p.drawLine(QPointF(6, 27), QPointF(20, 13));
    p.setPen(Line(Qt::white, 4.0));
    p.drawLine(QPointF(20, 13), QPointF(23, 10));
    p.setPen(Line(QColor(0x2B, 0x2F, 0x36), 1.0));
    p.setBrush(Qt::NoBrush);
    const QColor gold(0xF5, 0xB7, 0x00);
    Star(p, QPointF(25, 6), 5.0, gold);
    Star(p, QPointF(13, 7), 3.0, gold);
    Star(p, QPointF(27, 18), 3.5, gold);
}

void Magnifier(QPainter& p, QPointF centre, double radius)
{
    p.setPen(Line(QColor(0x3A, 0x3F, 0x46), radius * 0.55));
    const QPointF handle = centre + QPointF(radius * 0.75, radius * 0.75);
    p.drawLine(handle, handle + QPointF(radius * 0.95, radius * 0.95));
    p.setPen(Line(QColor(0x3A, 0x3F, 0x46), radius * 0.3));
    p.setBrush(QColor(0xCF, 0xE8, 0xFF, 0xD0));
    p.drawEllipse(centre, radius, radius);
}

void AnalyzeTool(QPainter& p)
{
    HardDisk(p, QRectF(2.5, 14.5, 22.0, 12.0));
    Magnifier(p, QPointF(19, 11), 6.5);
}

void RecoverTool(QPainter& p)
{
    p.setPen(Line(kPageLine));
    p.setBrush(kPageFill);
    p.drawPolygon(PageShape(11.5, 3.5, 27.5, 28.5, 5.0));
    p.setPen(Line(kTextLine, 1.5));
    for (double y : {12.5, 16.5, 20.5})
        p.drawLine(QPointF(15, y), QPointF(24, y));
    // An arrow bringing it back.
    QPainterPath arc;
    arc.moveTo(4, 26);
    arc.cubicTo(3, 17, 8, 12, 15, 12);
    p.setPen(Line(Qt::white, 6.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    p.setPen(Line(kGreen, 3.5));
    p.drawPath(arc);
    p.setPen(Line(kGreen, 1.0));
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({{14, 6}, {21, 12}, {14, 18}}));
}

void StopTool(QPainter& p)
{
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const double angle = (22.5 + 45.0 * i) * 3.14159265358979 / 180.0;
        octagon << QPointF(16 + 13 * std::cos(angle), 16 + 13 * std::sin(angle));
    }
    p.setPen(Line(QColor(0x8E, 0x16, 0x16), 1.2));
    p.setBrush(QColor(0xD9, 0x32, 0x32));
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(10, 10, 12, 12), 1.5, 1.5);
}

void FindTool(QPainter& p)
{
    p.setPen(Line(kPageLine));
    p.setBrush(kPageFill);
    p.drawPolygon(PageShape(4.5, 2.5, 20.5, 27.5, 5.0));
    p.setPen(Line(kTextLine, 1.5));
    for (double y : {10.5, 14.5, 18.5})
        p.drawLine(QPointF(8, y), QPointF(17, y));
    Magnifier(p, QPointF(19, 17), 6.5);
}

void FilterTool(QPainter& p)
{
    QPainterPath funnel;
    funnel.moveTo(3.5, 5.5);
    funnel.lineTo(28.5, 5.5);
    funnel.lineTo(18.5, 17.5);
    funnel.lineTo(18.5, 26.5);
    funnel.lineTo(13.5, 29.5);
    funnel.lineTo(13.5, 17.5);
    funnel.closeSubpath();
    QLinearGradient shade(QPointF(3, 0), QPointF(29, 0));
    shade.setColorAt(0, kBlue.lighter(135));
    shade.setColorAt(1, kBlue);
    p.setPen(Line(kBlue.darker(150), 1.2));
    p.setBrush(shade);
    p.drawPath(funnel);
    Cross(p, QRectF(21.5, 19.5, 7.0, 7.0), 2.0);
}

void HelpTool(QPainter& p)
{
    p.setPen(Line(kBlue.darker(140), 1.2));
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(16, 16), 13.0, 13.0);
    QPainterPath mark;
    mark.moveTo(11.5, 12.5);
    mark.cubicTo(11.5, 6.5, 20.5, 6.5, 20.5, 12.0);
    mark.cubicTo(20.5, 15.5, 16.0, 15.5, 16.0, 19.5);
    p.setPen(Line(Qt::white, 3.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mark);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16.0, 24.0), 2.1, 2.1);
}

void OpenImageTool(QPainter& p)
{
    p.save();
    p.scale(2.0, 2.0);
    Folder(p, false);
    p.restore();
    Platter(p, QPointF(22, 22), 7.0);
}

// The program's icon: a disk and the arrow that brings a file back (64 units).
void ProgramIconImage(QPainter& p)
{
    QLinearGradient back(QPointF(0, 0), QPointF(0, 64));
    back.setColorAt(0, QColor(0x2F, 0x80, 0xD8));
    back.setColorAt(1, QColor(0x1A, 0x4F, 0x96));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    Platter(p, QPointF(28, 34), 20);
    p.save();
    p.translate(30, 4);
    p.scale(1.6, 1.6);
    Page(p, false);
    p.restore();
    QPainterPath arc;
    arc.moveTo(10, 58);
    arc.cubicTo(8, 40, 18, 30, 34, 30);
    p.setPen(Line(Qt::white, 9.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    p.setPen(Line(kGreen, 5.5));
    p.drawPath(arc);
    p.setPen(Line(kGreen, 1.0));
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({{33, 20}, {45, 30}, {33, 40}}));
}

struct Picture {
    const char* name;
    int grid;  // design units, the 1x size in pixels
    Draw draw;
    std::vector<int> scales;
};

bool Render(const QString& folder, const Picture& picture)
{
    for (int scale : picture.scales) {
        const int size = picture.grid * scale;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(scale, scale);
            picture.draw(painter);
        }
        const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
        const QString file = folder + QLatin1Char('/') + QLatin1String(picture.name) + suffix + QStringLiteral(".png");
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "artgen: cannot write %s\n", file.toLocal8Bit().constData());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen OUTDIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "artgen: cannot make %s\n", argv[1]);
        return 1;
    }
    const std::vector<int> small{1, 2, 4};
    const std::vector<Picture> pictures{
        {"folder", 16, FolderImage, small},
        {"file", 16, FileImage, small},
        {"folder-deleted", 16, DeletedFolderImage, small},
        {"file-deleted", 16, DeletedFileImage, small},
        {"folder-has-deleted", 16, HasDeletedImage, small},
        {"sort-down", 16, [](QPainter& p) { SortArrow(p, false); }, small},
        {"sort-up", 16, [](QPainter& p) { SortArrow(p, true); }, small},
        {"drive-fixed", 16, FixedDriveImage, small},
        {"drive-removable", 16, RemovableDriveImage, small},
        {"drive-image", 16, ImageFileImage, small},
        {"tool-wizard", 32, WizardTool, small},
        {"tool-analyze", 32, AnalyzeTool, small},
        {"tool-recover", 32, RecoverTool, small},
        {"tool-stop", 32, StopTool, small},
        {"tool-find", 32, FindTool, small},
        {"tool-filter", 32, FilterTool, small},
        {"tool-help", 32, HelpTool, small},
        {"tool-open-image", 32, OpenImageTool, small},
        {"salvage", 64, ProgramIconImage, {1, 2, 4}},
    };
    for (const Picture& picture : pictures)
        if (!Render(folder, picture))
            return 1;
    return 0;
}
