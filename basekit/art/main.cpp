// skinart SET OUTDIR PREFIX
// Paints every piece of a set into OUTDIR and writes OUTDIR/SET.qrc listing
// them under PREFIX, for rcc. A PNG piece is FILE.png with FILE@2x.png, its
// high-density twin. A piece stored as a Windows resource (BMP, ICO, CUR) is
// listed under its kind and id ("bitmap/7151", no extension) and named in
// OUTDIR/SET-art.rc for the resource compiler. Run at build time; the output
// depends only on the set, the palette and the fonts installed.
#include "Painter.h"
#include "ResourceFiles.h"
#include "SkinPieces.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

namespace {

// One file of a piece: its name, its path in the resource tree (empty: the
// name) and, for a Windows resource, its line of the .rc file.
struct Output {
    QString name;
    QString alias;
    QString rcLine;
    QByteArray bytes;
};

QByteArray Png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The kind's folder in the resource tree and its keyword in a .rc file.
Output Resource(const skinart::Piece& piece, const char* kind, const char* keyword, const char* extension,
                QByteArray bytes)
{
    const QString id = QString::fromStdString(piece.file);
    const QString name = id + QLatin1Char('.') + QLatin1String(extension);
    return {name, QLatin1String(kind) + QLatin1Char('/') + id,
            id + QLatin1Char(' ') + QLatin1String(keyword) + QStringLiteral(" \"") + name + QLatin1Char('"'),
            std::move(bytes)};
}

std::vector<Output> Render(const skinart::Piece& piece)
{
    using skinart::Format;
    switch (piece.format) {
    case Format::Png:
        break;
    case Format::Bmp24:
    case Format::Bmp8:
        return {Resource(piece, "bitmap", "BITMAP", "bmp",
                         skinart::BmpFile(skinart::PaintPiece(piece, 1), piece.format == Format::Bmp8 ? 8 : 24))};
    case Format::Icon32:
    case Format::Icon8: {
        std::vector<QImage> images;
        for (const int size : piece.sizes) {
            skinart::Piece image = piece;
            image.width = image.height = size;
            images.push_back(skinart::PaintPiece(image, 1));
        }
        return {Resource(piece, "icon", "ICON", "ico",
                         skinart::IconFile(images, piece.format == Format::Icon8 ? 8 : 32))};
    }
    case Format::CursorMono:
        return {Resource(piece, "cursor", "CURSOR", "cur",
                         skinart::CursorFile(skinart::PaintPiece(piece, 1), piece.hotX, piece.hotY))};
    }
    const QString file = QString::fromStdString(piece.file);
    return {{file + QStringLiteral(".png"), {}, {}, Png(skinart::PaintPiece(piece, 1))},
            {file + QStringLiteral("@2x.png"), {}, {}, Png(skinart::PaintPiece(piece, 2))}};
}

bool Save(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    std::fprintf(stderr, "skinart: cannot write \"%s\"\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Painting text needs a GUI application, but never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: skinart SET OUTDIR PREFIX\n");
        return 2;
    }
    const std::vector<skinart::Piece> pieces = skinart::PieceSet(args[1].toStdString());
    if (pieces.empty()) {
        std::fprintf(stderr, "skinart: unknown set \"%s\"\n", qPrintable(args[1]));
        return 2;
    }
    const QDir out(args[2]);
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "skinart: cannot make \"%s\"\n", qPrintable(out.path()));
        return 1;
    }

    QString qrc, rc;
    QTextStream list(&qrc), rcList(&rc);
    list << "<RCC>\n  <qresource prefix=\"/" << args[3] << "\">\n";
    for (const skinart::Piece& piece : pieces) {
        for (const Output& file : Render(piece)) {
            if (!Save(out.filePath(file.name), file.bytes))
                return 1;
            if (file.alias.isEmpty())
                list << "    <file>" << file.name << "</file>\n";
            else
                list << "    <file alias=\"" << file.alias << "\">" << file.name << "</file>\n";
            if (!file.rcLine.isEmpty())
                rcList << file.rcLine << "\n";
        }
    }
    list << "  </qresource>\n</RCC>\n";
    list.flush();
    rcList.flush();

    if (!rc.isEmpty()) {
        rc.prepend(QStringLiteral("// Painted by skinart: the \"%1\" set's files, by resource id.\n").arg(args[1]));
        if (!Save(out.filePath(args[1] + QStringLiteral("-art.rc")), rc.toUtf8()))
            return 1;
    }
    return Save(out.filePath(args[1] + QStringLiteral(".qrc")), qrc.toUtf8()) ? 0 : 1;
}
