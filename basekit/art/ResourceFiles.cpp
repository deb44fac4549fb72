#include "ResourceFiles.h"

#include "PaintTools.h"

#include <QColor>
#include <QPainter>

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace skinart {
namespace {

constexpr int kFileHeaderSize = 14;  // BITMAPFILEHEADER
constexpr int kInfoHeaderSize = 40;  // BITMAPINFOHEADER
constexpr int kDirHeaderSize = 6;    // ICONDIR: reserved, type, count
constexpr int kDirEntrySize = 16;    // ICONDIRENTRY
constexpr std::uint16_t kTypeIcon = 1;
constexpr std::uint16_t kTypeCursor = 2;

void U8(QByteArray& out, int v)
{
    out.append(static_cast<char>(v & 0xFF));
}

void U16(QByteArray& out, std::uint32_t v)
{
    U8(out, static_cast<int>(v));
    U8(out, static_cast<int>(v >> 8));
}

void U32(QByteArray& out, std::uint32_t v)
{
    U16(out, v & 0xFFFF);
    U16(out, v >> 16);
}

// A colour as a DIB stores it: blue, green, red (and alpha or a zero byte).
void Bgr(QByteArray& out, QRgb c)
{
    U8(out, qBlue(c));
    U8(out, qGreen(c));
    U8(out, qRed(c));
}

// Pixel x of a row of one bit per pixel, the leftmost in the high bit.
void SetBit(QByteArray& row, int x)
{
    row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
}

// Rows of a DIB are padded to whole 32-bit words.
int RowBytes(int width, int bits)
{
    return (width * bits + 31) / 32 * 4;
}

// A 256-colour version of image: its own colours when it has no more,
// otherwise its 256 most frequent ones with every other pixel mapped to the
// nearest of them (small antialiased pieces have a few main colours and
// rare blends); the table padded to 256 entries.
QImage Indexed8(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[rgb.pixel(x, y)];
    std::vector<std::pair<int, QRgb>> byCount;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byCount.emplace_back(it.value(), it.key());
    std::sort(byCount.begin(), byCount.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    QList<QRgb> table;
    for (std::size_t i = 0; i < byCount.size() && i < 256; ++i)
        table.append(byCount[i].second);
    while (table.size() < 256)
        table.append(qRgb(0, 0, 0));
    return rgb.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
}

// How the pixels of one image are laid out in its DIB.
struct DibImage {
    QImage pixels;                // ARGB32 for 24 and 32 bits, Indexed8 for 8, ARGB32 for 1
    int bits = 24;
    std::vector<bool> clear;      // the transparency mask, row by row (empty: no mask)
};

// BITMAPINFOHEADER, colour table, pixel rows and mask rows, all bottom-up.
// An image with a mask is stored at twice its height, as icons and cursors are.
QByteArray Dib(const DibImage& dib)
{
    const int w = dib.pixels.width(), h = dib.pixels.height();
    const bool masked = !dib.clear.empty();
    const int colours = dib.bits == 8 ? 256 : dib.bits == 1 ? 2 : 0;
    const int pixelRow = RowBytes(w, dib.bits), maskRow = masked ? RowBytes(w, 1) : 0;

    QByteArray out;
    U32(out, kInfoHeaderSize);
    U32(out, static_cast<std::uint32_t>(w));
    U32(out, static_cast<std::uint32_t>(masked ? 2 * h : h));
    U16(out, 1);  // planes
    U16(out, static_cast<std::uint32_t>(dib.bits));
    U32(out, 0);  // BI_RGB
    U32(out, static_cast<std::uint32_t>((pixelRow + maskRow) * h));
    U32(out, 2835);  // 72 pixels per inch, as most tools write
    U32(out, 2835);
    U32(out, static_cast<std::uint32_t>(colours));
    U32(out, 0);

    if (dib.bits == 8) {
        for (const QRgb c : dib.pixels.colorTable()) {
            Bgr(out, c);
            U8(out, 0);
        }
    } else if (dib.bits == 1) {
        U32(out, 0x00000000);  // black
        U32(out, 0x00FFFFFF);  // white
    }

    for (int y = h - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < w; ++x) {
            const QRgb c = dib.pixels.pixel(x, y);
            if (dib.bits == 32) {
                Bgr(row, c);
                U8(row, qAlpha(c));
            } else if (dib.bits == 24) {
                Bgr(row, c);
            } else if (dib.bits == 8) {
                U8(row, dib.pixels.pixelIndex(x, y));
            }
        }
        row.append(QByteArray(pixelRow - row.size(), '\0'));
        if (dib.bits == 1) {
            // White where opaque and light; black elsewhere (the mask clears it).
            for (int x = 0; x < w; ++x)
                if (!dib.clear[static_cast<size_t>(y * w + x)] && qGray(dib.pixels.pixel(x, y)) >= 128)
                    SetBit(row, x);
        }
        out.append(row);
    }
    for (int y = h - 1; masked && y >= 0; --y) {
        QByteArray row(maskRow, '\0');
        for (int x = 0; x < w; ++x)
            if (dib.clear[static_cast<size_t>(y * w + x)])
                SetBit(row, x);
        out.append(row);
    }
    return out;
}

// The pixels of an icon image under half opacity are clear.
std::vector<bool> HalfClearMask(const QImage& argb)
{
    std::vector<bool> clear(static_cast<size_t>(argb.width() * argb.height()));
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            clear[static_cast<size_t>(y * argb.width() + x)] = qAlpha(argb.pixel(x, y)) < 128;
    return clear;
}

// The image over a plain colour, without alpha.
QImage Over(const QImage& image, QColor background)
{
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(background);
    QPainter p(&flat);
    p.drawImage(0, 0, image);
    p.end();
    return flat;
}

// ICONDIR and its entries, then the images.
QByteArray Directory(std::uint16_t type, const std::vector<DibImage>& images, int hotX, int hotY)
{
    QByteArray head, body;
    U16(head, 0);
    U16(head, type);
    U16(head, static_cast<std::uint32_t>(images.size()));
    const int first = kDirHeaderSize + kDirEntrySize * static_cast<int>(images.size());
    for (const DibImage& image : images) {
        const QByteArray dib = Dib(image);
        U8(head, image.pixels.width());
        U8(head, image.pixels.height());
        U8(head, image.bits == 1 ? 2 : 0);  // colours, 0 for 256 and more
        U8(head, 0);
        if (type == kTypeCursor) {
            U16(head, static_cast<std::uint32_t>(hotX));
            U16(head, static_cast<std::uint32_t>(hotY));
        } else {
            U16(head, 1);  // planes
            U16(head, static_cast<std::uint32_t>(image.bits));
        }
        U32(head, static_cast<std::uint32_t>(dib.size()));
        U32(head, static_cast<std::uint32_t>(first + body.size()));
        body.append(dib);
    }
    return head + body;
}

} // namespace

QByteArray BmpFile(const QImage& image, int bitsPerPixel)
{
    DibImage dib;
    dib.bits = bitsPerPixel == 8 ? 8 : 24;
    const QImage flat = Over(image, C(skinpalette::kControl));
    dib.pixels = dib.bits == 8 ? Indexed8(flat) : flat;
    const QByteArray info = Dib(dib);
    const int offset = kFileHeaderSize + kInfoHeaderSize + (dib.bits == 8 ? 256 * 4 : 0);
    QByteArray out("BM");
    U32(out, static_cast<std::uint32_t>(kFileHeaderSize + info.size()));
    U32(out, 0);  // reserved
    U32(out, static_cast<std::uint32_t>(offset));
    return out + info;
}

QByteArray IconFile(const std::vector<QImage>& images, int bitsPerPixel)
{
    std::vector<DibImage> dibs;
    for (const QImage& image : images) {
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        DibImage dib;
        dib.bits = bitsPerPixel == 8 ? 8 : 32;
        dib.clear = HalfClearMask(argb);
        if (dib.bits == 8) {
            // Edges are blended over a light control colour; clear pixels are black.
            QImage flat = Over(argb, C(skinpalette::kControl));
            for (int y = 0; y < flat.height(); ++y)
                for (int x = 0; x < flat.width(); ++x)
                    if (dib.clear[static_cast<size_t>(y * flat.width() + x)])
                        flat.setPixel(x, y, qRgb(0, 0, 0));
            dib.pixels = Indexed8(flat);
        } else {
            dib.pixels = argb;
        }
        dibs.push_back(std::move(dib));
    }
    return Directory(kTypeIcon, dibs, 0, 0);
}

QByteArray CursorFile(const QImage& image, int hotX, int hotY)
{
    DibImage dib;
    dib.bits = 1;
    dib.pixels = image.convertToFormat(QImage::Format_ARGB32);
    dib.clear = HalfClearMask(dib.pixels);
    return Directory(kTypeCursor, {dib}, hotX, hotY);
}

} // namespace skinart
