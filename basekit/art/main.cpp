// skinart SET OUTDIR PREFIX
// Paints every piece of a set into OUTDIR as FILE.png and FILE@2x.png (the
// high-density twin) and writes OUTDIR/SET.qrc listing them under PREFIX,
// for rcc. Run at build time; the output depends only on the set, the
// palette and the fonts installed.
#include "Painter.h"
#include "SkinPieces.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

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

    QString qrc;
    QTextStream list(&qrc);
    list << "<RCC>\n  <qresource prefix=\"/" << args[3] << "\">\n";
    for (const skinart::Piece& piece : pieces) {
        for (const int scale : {1, 2}) {
            const QString name = QString::fromStdString(piece.file) + (scale == 2 ? QStringLiteral("@2x") : QString()) +
                                 QStringLiteral(".png");
            if (!skinart::PaintPiece(piece, scale).save(out.filePath(name), "PNG")) {
                std::fprintf(stderr, "skinart: cannot write \"%s\"\n", qPrintable(out.filePath(name)));
                return 1;
            }
            list << "    <file>" << name << "</file>\n";
        }
    }
    list << "  </qresource>\n</RCC>\n";
    list.flush();

    QSaveFile file(out.filePath(args[1] + QStringLiteral(".qrc")));
    if (!file.open(QIODevice::WriteOnly) || file.write(qrc.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "skinart: cannot write the resource list\n");
        return 1;
    }
    return 0;
}
