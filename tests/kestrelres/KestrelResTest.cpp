// The resource library loaded at run time as a program would load it: every
// resource found by id while it is loaded, with the exact sizes and depths,
// the cursor's hot spot, the menu, the string, the manifest and the version;
// the tick export; nothing left behind once it is unloaded.
#include "kestrelres/KestrelRes.h"
#include "tests/kestrelres/Dib.h"
#include "tests/kestrelres/ExpectedResources.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibrary>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QXmlStreamReader>

#include <dlfcn.h>

#include <set>

namespace {

const QString kRoot = QStringLiteral(":/kestrelres");

QString ResourcePath(const char* kind, int id)
{
    return QStringLiteral("%1/%2/%3").arg(kRoot, QLatin1String(kind)).arg(id);
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const unsigned char* Bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

// One entry of an ICO or CUR directory (ICONDIRENTRY).
struct DirEntry {
    int width, height, colourCount, planesOrHotX, bitsOrHotY;
    std::uint32_t size, offset;
};

constexpr int kDirHeader = 6;
constexpr int kDirEntry = 16;

// The entries of an ICO (type 1) or CUR (type 2) file; empty when the
// directory is not of that type or runs past the data.
std::vector<DirEntry> Directory(const QByteArray& file, std::uint32_t type)
{
    const auto* p = Bytes(file);
    const auto size = static_cast<std::size_t>(file.size());
    if (size < kDirHeader || dib::Le16(p) != 0 || dib::Le16(p + 2) != type)
        return {};
    const std::size_t count = dib::Le16(p + 4);
    if (count * kDirEntry > size - kDirHeader)
        return {};
    std::vector<DirEntry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* e = p + kDirHeader + i * kDirEntry;
        const DirEntry entry{e[0] == 0 ? 256 : e[0], e[1] == 0 ? 256 : e[1], e[2],
                             static_cast<int>(dib::Le16(e + 4)), static_cast<int>(dib::Le16(e + 6)),
                             dib::Le32(e + 8), dib::Le32(e + 12)};
        if (entry.offset > size || entry.size > size - entry.offset)
            return {};
        entries.push_back(entry);
    }
    return entries;
}

} // namespace

class KestrelResTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void bitmaps_data();
    void bitmaps();
    void noOtherBitmaps();
    void cursor();
    void icons();
    void menu();
    void string();
    void manifest();
    void version();
    void tickCount();
    void exportsOnlyTheTick();
    void unloadRemovesTheResources();

private:
    QLibrary library_{QStringLiteral(KESTRELRES_LIBRARY)};
};

void KestrelResTest::initTestCase()
{
    QVERIFY2(!QDir(kRoot).exists(), "the resources are there before the library is loaded");
    QVERIFY2(library_.load(), qPrintable(library_.errorString()));
    QVERIFY(QDir(kRoot).exists());
}

void KestrelResTest::bitmaps_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bits");
    for (const expected::Bitmap& b : expected::kBitmaps)
        QTest::addRow("%d", b.id) << b.id << b.width << b.height << b.bits;
}

// Each bitmap is a BMP file (BITMAPFILEHEADER, BITMAPINFOHEADER, colour
// table, rows) of exactly the size and depth listed, and decodes.
void KestrelResTest::bitmaps()
{
    QFETCH(int, id);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bits);
    const QByteArray file = Read(ResourcePath("bitmap", id));
    QVERIFY2(file.size() > 14, "missing or empty");
    const auto* p = Bytes(file);
    QCOMPARE(file.left(2), QByteArray("BM"));
    QCOMPARE(dib::Le32(p + 2), static_cast<std::uint32_t>(file.size()));

    const std::optional<dib::Header> h = dib::Read(p + 14, static_cast<std::size_t>(file.size() - 14), false);
    QVERIFY2(h.has_value(), "not an uncompressed DIB that fits the file");
    QCOMPARE(h->width, width);
    QCOMPARE(h->height, height);
    QCOMPARE(h->planes, 1);
    QCOMPARE(h->bits, bits);
    QCOMPARE(h->compression, 0);
    QCOMPARE(h->colours, bits == 8 ? 256 : 0);
    QCOMPARE(dib::Le32(p + 10), static_cast<std::uint32_t>(14 + 40 + h->colours * 4));  // the rows' offset
    QCOMPARE(static_cast<std::size_t>(file.size()), 14 + h->size);

    QImage image;
    QVERIFY(image.loadFromData(file));
    QCOMPARE(image.size(), QSize(width, height));
    // Painted, not left empty: all but rules and thin tiles show more than one colour.
    if (width >= 3 && height >= 3 && width * height >= 100) {
        std::set<QRgb> colours;
        for (int y = 0; y < height && colours.size() < 2; ++y)
            for (int x = 0; x < width && colours.size() < 2; ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 1, "a single flat colour");
    }
}

void KestrelResTest::noOtherBitmaps()
{
    QStringList want;
    for (const expected::Bitmap& b : expected::kBitmaps)
        want << QString::number(b.id);
    QStringList have = QDir(kRoot + QStringLiteral("/bitmap")).entryList(QDir::Files);
    want.sort();
    have.sort();
    QCOMPARE(have, want);
}

// A CUR file with one 32 x 32 black-and-white image whose hot spot is the
// fingertip: opaque there, clear in the far corner.
void KestrelResTest::cursor()
{
    const QByteArray file = Read(ResourcePath("cursor", expected::kCursorId));
    const std::vector<DirEntry> entries = Directory(file, 2);
    QCOMPARE(entries.size(), std::size_t{1});
    const DirEntry& e = entries[0];
    QCOMPARE(e.width, expected::kCursorSize);
    QCOMPARE(e.height, expected::kCursorSize);
    QCOMPARE(e.planesOrHotX, expected::kHotX);
    QCOMPARE(e.bitsOrHotY, expected::kHotY);
    const auto* image = Bytes(file) + e.offset;
    const std::optional<dib::Header> h = dib::Read(image, e.size, true);
    QVERIFY(h.has_value());
    QCOMPARE(h->width, expected::kCursorSize);
    QCOMPARE(h->height, 2 * expected::kCursorSize);
    QCOMPARE(h->bits, 1);
    QVERIFY2(!dib::Clear(image, *h, expected::kHotX, expected::kHotY), "the hot spot is on a clear pixel");
    QVERIFY(dib::Clear(image, *h, expected::kCursorSize - 1, expected::kCursorSize - 1));
}

// ICO files: the large icon at 32 and 16 pixels, 32 bits per pixel; the
// small one at 16 pixels in 256 colours. Qt reads both.
void KestrelResTest::icons()
{
    const QByteArray large = Read(ResourcePath("icon", expected::kLargeIconId));
    const std::vector<DirEntry> entries = Directory(large, 1);
    QCOMPARE(entries.size(), expected::kLargeIconSizes.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int side = expected::kLargeIconSizes[i];
        QCOMPARE(entries[i].width, side);
        QCOMPARE(entries[i].height, side);
        QCOMPARE(entries[i].bitsOrHotY, expected::kLargeIconBits);
        const std::optional<dib::Header> h = dib::Read(Bytes(large) + entries[i].offset, entries[i].size, true);
        QVERIFY(h.has_value());
        QCOMPARE(h->width, side);
        QCOMPARE(h->height, 2 * side);
        QCOMPARE(h->bits, expected::kLargeIconBits);
    }

    const QByteArray small = Read(ResourcePath("icon", expected::kSmallIconId));
    const std::vector<DirEntry> smallEntries = Directory(small, 1);
    QCOMPARE(smallEntries.size(), std::size_t{1});
    QCOMPARE(smallEntries[0].width, expected::kSmallIconSize);
    QCOMPARE(smallEntries[0].bitsOrHotY, expected::kSmallIconBits);
    const std::optional<dib::Header> h = dib::Read(Bytes(small) + smallEntries[0].offset, smallEntries[0].size, true);
    QVERIFY(h.has_value());
    QCOMPARE(h->width, expected::kSmallIconSize);
    QCOMPARE(h->bits, expected::kSmallIconBits);
    QCOMPARE(h->colours, 256);

    QImage image;
    QVERIFY(image.loadFromData(large, "ICO"));
    QCOMPARE(image.width(), 32);
    QVERIFY(image.loadFromData(small, "ICO"));
    QCOMPARE(image.width(), 16);
}

// The menu in its JSON form: one popup "Help" with the items and ids, the
// separators where they stand.
void KestrelResTest::menu()
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(Read(ResourcePath("menu", expected::kMenuId)), &error);
    QVERIFY2(doc.isObject(), qPrintable(error.errorString()));
    const QJsonArray top = doc.object().value(QStringLiteral("items")).toArray();
    QCOMPARE(top.size(), 1);
    const QJsonObject popup = top[0].toObject();
    QCOMPARE(popup.value(QStringLiteral("text")).toString(), QLatin1String(expected::kMenuPopup));
    QVERIFY(!popup.contains(QStringLiteral("id")));
    const QJsonArray items = popup.value(QStringLiteral("items")).toArray();
    QCOMPARE(static_cast<std::size_t>(items.size()), expected::kHelpMenu.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QJsonObject item = items[i].toObject();
        const expected::MenuItem& want = expected::kHelpMenu[static_cast<std::size_t>(i)];
        if (want.text == nullptr) {
            QVERIFY2(item.value(QStringLiteral("separator")).toBool(), qPrintable(QString::number(i)));
            continue;
        }
        QCOMPARE(item.value(QStringLiteral("id")).toInt(), want.id);
        QCOMPARE(item.value(QStringLiteral("text")).toString(), QString::fromUtf8(want.text));
        QVERIFY(!item.contains(QStringLiteral("items")));
    }
}

void KestrelResTest::string()
{
    QCOMPARE(Read(ResourcePath("string", expected::kStringId)), QByteArray(expected::kTitle));
}

// The manifest: assembly 1.0.0.0, x86, win32, depending on the common
// controls 6.0.0.0 of any language.
void KestrelResTest::manifest()
{
    QXmlStreamReader xml(Read(ResourcePath("manifest", expected::kManifestId)));
    QXmlStreamAttributes own, dependency;
    bool inDependency = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("dependentAssembly"))
            inDependency = true;
        else if (xml.name() == QLatin1String("assemblyIdentity"))
            (inDependency ? dependency : own) = xml.attributes();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(own.value(QLatin1String("version")), QLatin1String("1.0.0.0"));
    QCOMPARE(own.value(QLatin1String("processorArchitecture")), QLatin1String("x86"));
    QCOMPARE(own.value(QLatin1String("type")), QLatin1String("win32"));
    QCOMPARE(dependency.value(QLatin1String("name")), QLatin1String("Microsoft.Windows.Common-Controls"));
    QCOMPARE(dependency.value(QLatin1String("version")), QLatin1String("6.0.0.0"));
    QCOMPARE(dependency.value(QLatin1String("processorArchitecture")), QLatin1String("x86"));
    QCOMPARE(dependency.value(QLatin1String("publicKeyToken")), QLatin1String("6595b64144ccf1df"));
    QCOMPARE(dependency.value(QLatin1String("language")), QLatin1String("*"));
}

void KestrelResTest::version()
{
    const QJsonObject v = QJsonDocument::fromJson(Read(ResourcePath("version", expected::kVersionId))).object();
    QCOMPARE(v.value(QStringLiteral("fileVersion")).toString(), QLatin1String(expected::kVersion));
    QCOMPARE(v.value(QStringLiteral("productVersion")).toString(), QLatin1String(expected::kVersion));
    QCOMPARE(v.value(QStringLiteral("language")).toInt(), expected::kLanguage);
    const QJsonObject strings = v.value(QStringLiteral("strings")).toObject();
    QCOMPARE(strings.value(QStringLiteral("FileDescription")).toString(), QLatin1String(expected::kTitle));
    QCOMPARE(strings.value(QStringLiteral("FileVersion")).toString(), QLatin1String(expected::kVersion));
}

// Milliseconds that never go back: two calls in a row, then one after a
// sleep of at least 50 ms.
void KestrelResTest::tickCount()
{
    const auto tick = reinterpret_cast<KestrelResTickFunction>(library_.resolve(kKestrelResTickSymbol));
    QVERIFY(tick != nullptr);
    const std::uint32_t first = tick();
    const std::uint32_t second = tick();
    QVERIFY(second >= first);
    QTest::qSleep(50);
    const std::uint32_t later = tick();
    QVERIFY2(later - second >= 49, qPrintable(QStringLiteral("%1 ms").arg(later - second)));
    QVERIFY2(later - second < 60 * 1000, "not milliseconds");
}

// The library's dynamic symbol table defines one function: the tick.
void KestrelResTest::exportsOnlyTheTick()
{
    const QString nm = QStandardPaths::findExecutable(QStringLiteral("nm"));
    if (nm.isEmpty())
        QSKIP("nm is not installed");
    QProcess process;
    process.start(nm, {QStringLiteral("-D"), QStringLiteral("--defined-only"), library_.fileName()});
    QVERIFY(process.waitForFinished(30000));
    QStringList functions;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 3 && (fields[1] == "T" || fields[1] == "W" || fields[1] == "i"))
            functions << QString::fromLatin1(fields[2]);
    }
    QCOMPARE(functions, QStringList{QLatin1String(kKestrelResTickSymbol)});
}

// While the library is loaded more than once, closing one handle keeps the
// resources; after the last unload they are gone from the resource tree.
void KestrelResTest::unloadRemovesTheResources()
{
    const QString probe = ResourcePath("bitmap", expected::kBitmaps[0].id);
    void* second = dlopen(QFile::encodeName(library_.fileName()).constData(), RTLD_NOW);
    QVERIFY2(second != nullptr, dlerror());
    QCOMPARE(dlclose(second), 0);
    QVERIFY2(QFile::exists(probe), "gone while the library is still loaded");

    QVERIFY(library_.unload());
    QVERIFY(!library_.isLoaded());
    QVERIFY(!QFile::exists(probe));
    QVERIFY(!QDir(kRoot).exists());
    QVERIFY(Read(ResourcePath("string", expected::kStringId)).isEmpty());
}

QTEST_GUILESS_MAIN(KestrelResTest)
#include "KestrelResTest.moc"
