// kestrelres_contact_sheet LIBRARY OUT.png
// Loads the resource library as a program would, and draws every bitmap,
// the cursor and the icons it finds into one picture, each at its own size
// (small pieces also four times enlarged) with its id, size and depth, so
// that the artwork can be judged at a glance.
#include "tests/kestrelres/Dib.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QLibrary>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <optional>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBeside = 8;  // between a picture and its enlargement
constexpr int kSheetWidth = 1280;
constexpr int kMargin = 16;
constexpr int kGap = 14;
constexpr int kCaption = 16;
constexpr int kZoom = 4;
constexpr int kSmall = 24;  // pieces no larger than this are also shown enlarged

// One cell of the sheet: a picture at its own size, beside it (for small
// ones) the same enlarged, a caption below.
struct Entry {
    QImage image;
    QImage enlarged;                // null: not shown enlarged
    QString caption;
    std::optional<QPoint> hotSpot;  // a cursor's
    QRect place;                    // on the sheet, caption included

    [[nodiscard]] QSize pictures() const
    {
        if (enlarged.isNull())
            return image.size() + QSize(2, 2);
        return QSize(image.width() + enlarged.width() + 4 + kBeside, std::max(image.height(), enlarged.height()) + 2);
    }
};

QFont Font(int pixels, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage Enlarged(const QImage& image)
{
    return image.scaled(image.size() * kZoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// The bitmaps, by id; a small one also enlarged.
void AddBitmaps(std::vector<Entry>& entries)
{
    QStringList ids = QDir(QStringLiteral(":/kestrelres/bitmap")).entryList(QDir::Files);
    std::sort(ids.begin(), ids.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    for (const QString& id : ids) {
        const QByteArray file = Read(QStringLiteral(":/kestrelres/bitmap/") + id);
        QImage image;
        if (file.size() < 14 || !image.loadFromData(file))
            continue;
        const auto header = dib::Read(reinterpret_cast<const unsigned char*>(file.constData()) + 14,
                                      static_cast<std::size_t>(file.size() - 14), false);
        Entry entry;
        entry.image = image;
        if (std::max(image.width(), image.height()) <= kSmall)
            entry.enlarged = Enlarged(image);
        entry.caption = QStringLiteral("%1  %2\u00d7%3  %4 bpp")
                            .arg(id)
                            .arg(image.width())
                            .arg(image.height())
                            .arg(header ? header->bits : 0);
        entries.push_back(entry);
    }
}

// Every image of an icon or cursor file (Qt reads both kinds).
void AddIcons(std::vector<Entry>& entries, const QString& kind, const QString& id)
{
    const QByteArray file = Read(QStringLiteral(":/kestrelres/%1/%2").arg(kind, id));
    QImageReader reader(QStringLiteral(":/kestrelres/%1/%2").arg(kind, id), "ico");
    const bool cursor = kind == QLatin1String("cursor");
    for (int i = 0; i < reader.imageCount(); ++i) {
        reader.jumpToImage(i);
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        Entry entry;
        entry.image = image;
        entry.enlarged = Enlarged(image);
        entry.caption = QStringLiteral("%1  icon %2 px").arg(id).arg(image.width());
        if (cursor && file.size() >= 6 + 16 * (i + 1)) {
            const auto* e = reinterpret_cast<const unsigned char*>(file.constData()) + 6 + 16 * i;
            entry.hotSpot = QPoint(static_cast<int>(dib::Le16(e + 4)), static_cast<int>(dib::Le16(e + 6)));
            entry.caption =
                QStringLiteral("%1  cursor, hot spot %2,%3").arg(id).arg(entry.hotSpot->x()).arg(entry.hotSpot->y());
        }
        entries.push_back(entry);
    }
}

// Places the entries, tallest first, each at the lowest spot of the skyline
// where it fits; returns the sheet's height.
int Place(std::vector<Entry>& entries, int top)
{
    std::vector<Entry*> order;
    for (Entry& e : entries)
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(),
                     [](const Entry* a, const Entry* b) { return a->pictures().height() > b->pictures().height(); });
    const QFontMetrics metrics(Font(11));
    std::vector<int> skyline(kSheetWidth - 2 * kMargin, top);
    int bottom = top;
    for (Entry* e : order) {
        const int w = std::min<int>(static_cast<int>(skyline.size()),
                                    std::max(e->pictures().width(), metrics.horizontalAdvance(e->caption)) + kGap);
        const int h = e->pictures().height() + kCaption + kGap;
        int bestX = 0, bestY = INT_MAX;
        for (int x = 0; x + w <= static_cast<int>(skyline.size()); x += 2) {
            const int y = *std::max_element(skyline.begin() + x, skyline.begin() + x + w);
            if (y < bestY) {
                bestX = x;
                bestY = y;
            }
        }
        std::fill(skyline.begin() + bestX, skyline.begin() + bestX + w, bestY + h);
        e->place = QRect(kMargin + bestX, bestY, w - kGap, h - kGap);
        bottom = std::max(bottom, bestY + h);
    }
    return bottom + kMargin;
}

// A picture in a thin frame on a checkered ground, so that what a cursor or
// an icon leaves clear shows; returns the frame.
QRect DrawPicture(QPainter& p, QPoint at, const QImage& image)
{
    const QRect frame(at, image.size() + QSize(2, 2));
    const QRect inside = frame.adjusted(1, 1, -1, -1);
    for (int y = 0; y < image.height(); y += 8)
        for (int x = 0; x < image.width(); x += 8)
            p.fillRect(QRect(inside.x() + x, inside.y() + y, 8, 8).intersected(inside),
                       ((x + y) / 8) % 2 ? QColor(200, 200, 206) : QColor(250, 250, 252));
    p.drawImage(inside.topLeft(), image);
    p.setPen(QColor(120, 120, 132));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
    return frame;
}

void Draw(QPainter& p, const Entry& e)
{
    DrawPicture(p, e.place.topLeft(), e.image);
    if (!e.enlarged.isNull()) {
        const QRect big = DrawPicture(p, e.place.topLeft() + QPoint(e.image.width() + 2 + kBeside, 0), e.enlarged);
        if (e.hotSpot) {
            // The hot spot, marked on the enlarged picture.
            p.setPen(QColor(220, 0, 0));
            const QPoint c = big.topLeft() + QPoint(1, 1) + *e.hotSpot * kZoom + QPoint(kZoom / 2, kZoom / 2);
            p.drawLine(c - QPoint(6, 0), c + QPoint(6, 0));
            p.drawLine(c - QPoint(0, 6), c + QPoint(0, 6));
        }
    }
    p.setPen(QColor(40, 40, 50));
    p.drawText(QRect(e.place.x(), e.place.y() + e.pictures().height() + 2, e.place.width() + kGap, kCaption),
               Qt::AlignLeft | Qt::AlignVCenter, e.caption);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestrelres_contact_sheet LIBRARY OUT.png\n");
        return 2;
    }
    QLibrary library(QString::fromLocal8Bit(argv[1]));
    if (!library.load()) {
        std::fprintf(stderr, "kestrelres_contact_sheet: %s\n", qPrintable(library.errorString()));
        return 1;
    }
    std::vector<Entry> entries;
    AddBitmaps(entries);
    const std::size_t bitmaps = entries.size();
    for (const QString& id : QDir(QStringLiteral(":/kestrelres/cursor")).entryList(QDir::Files))
        AddIcons(entries, QStringLiteral("cursor"), id);
    for (const QString& id : QDir(QStringLiteral(":/kestrelres/icon")).entryList(QDir::Files))
        AddIcons(entries, QStringLiteral("icon"), id);

    const int titleHeight = 50;
    const int height = Place(entries, kMargin + titleHeight);
    QImage sheet(kSheetWidth, height, QImage::Format_RGB32);
    sheet.fill(QColor(228, 228, 234));
    QPainter p(&sheet);
    p.setFont(Font(17, true));
    p.setPen(QColor(30, 36, 51));
    p.drawText(QRect(kMargin, kMargin, kSheetWidth - 2 * kMargin, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("kestrelres: %1 bitmaps, the hand cursor and the icons, as loaded from the library")
                   .arg(bitmaps));
    p.setFont(Font(11));
    p.setPen(QColor(92, 98, 117));
    p.drawText(QRect(kMargin, kMargin + 26, kSheetWidth - 2 * kMargin, 14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Each at its own size; pieces of up to %1 pixels, the cursor and the icons also %2 times "
                              "enlarged, the cursor's hot spot marked in red.")
                   .arg(kSmall)
                   .arg(kZoom));
    for (const Entry& e : entries)
        Draw(p, e);
    p.end();
    if (!sheet.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "kestrelres_contact_sheet: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%s: %zu bitmaps, %zu pictures\n", argv[2], bitmaps, entries.size());
    return 0;
}
