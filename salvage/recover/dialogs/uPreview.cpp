#include "salvage/recover/dialogs/uPreview.h"

#include "salvage/search/SizeText.h"
#include "salvage/ui/Strings.h"

#include <QAbstractListModel>
#include <QBuffer>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QImageReader>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QVBoxLayout>

#include <algorithm>

namespace salvage::ui {

namespace {

constexpr QSize kWindowSize(640, 480);
// Pictures larger than this are shown scaled down to it.
constexpr QSize kPictureFits(600, 340);
constexpr std::size_t kBytesPerLine = 16;

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

QString SizeText(std::uint64_t bytes)
{
    const QString point = QLocale::system().decimalPoint();
    const char decimal = point.size() == 1 && point.at(0).unicode() < 0x80 ? static_cast<char>(point.at(0).unicode()) : '.';
    const auto clamped = static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, INT64_MAX));
    return QString::fromStdString(FormatSize(clamped, decimal));
}

// Line and page breaks, tabs, and the old end-of-file mark stand in text.
bool TextControl(char32_t c)
{
    return c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == 0x1A;
}

bool PlainText(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && !TextControl(u)) || u == 0x7F)
            return false;
    }
    return true;
}

bool Decode(QStringDecoder decoder, QByteArrayView bytes, QString& text)
{
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError() || !PlainText(decoded))
        return false;
    text = std::move(decoded);
    return true;
}

// The length of a UTF-8 sequence cut short at the end of `bytes`, 0 when the
// last one is whole.
std::size_t CutSequence(std::span<const std::uint8_t> bytes)
{
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, bytes.size()); ++back) {
        const std::uint8_t b = bytes[bytes.size() - back];
        if ((b & 0xC0u) == 0x80u)
            continue;  // a continuation byte: the lead is further back
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

} // namespace

bool DecodeAsText(std::span<const std::uint8_t> bytes, bool cut, QString& text)
{
    const auto view = [](std::span<const std::uint8_t> b) {
        return QByteArrayView(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
    };
    if (bytes.empty()) {
        text.clear();
        return true;
    }
    constexpr auto kWhole = QStringConverter::Flag::Stateless;
    // UTF-16 only with its byte-order mark: without one, any even run of
    // bytes would pass.
    if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        const auto encoding = bytes[0] == 0xFF ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
        std::span<const std::uint8_t> body = bytes.subspan(2);
        if (cut && body.size() % 2 != 0)
            body = body.first(body.size() - 1);
        return Decode(QStringDecoder(encoding, kWhole), view(body), text);
    }
    std::span<const std::uint8_t> body = bytes;
    if (body.size() >= 3 && body[0] == 0xEF && body[1] == 0xBB && body[2] == 0xBF)
        body = body.subspan(3);
    if (cut)
        body = body.first(body.size() - CutSequence(body));
    if (Decode(QStringDecoder(QStringConverter::Utf8, kWhole), view(body), text))
        return true;
    // An 8-bit text of before UTF-8: mostly ASCII, no control characters.
    std::size_t ascii = 0;
    for (const std::uint8_t b : bytes) {
        if ((b < 0x20 && !TextControl(b)) || b == 0x7F)
            return false;
        if (b < 0x80)
            ++ascii;
    }
    if (ascii * 10 < bytes.size() * 7)
        return false;
    text = QString::fromLatin1(view(bytes));
    return true;
}

QString HexLine(std::span<const std::uint8_t> bytes, std::uint64_t offset)
{
    QString line = QStringLiteral("%1 ").arg(offset, 8, 16, QLatin1Char('0')).toUpper();
    QString chars;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < kBytesPerLine; ++i) {
        if (i == kBytesPerLine / 2)
            line += QLatin1Char(' ');
        if (i < bytes.size()) {
            const std::uint8_t b = bytes[i];
            line += QLatin1Char(' ');
            line += QLatin1Char(kDigits[b >> 4]);
            line += QLatin1Char(kDigits[b & 0xF]);
            chars += b >= 0x20 && b < 0x7F ? QLatin1Char(static_cast<char>(b)) : QLatin1Char('.');
        } else {
            line += QStringLiteral("   ");
        }
    }
    return line + QStringLiteral("  ") + chars;
}

// The byte view's lines, made when they are shown: 16 MiB are a million lines.
class THexModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void SetBytes(const std::vector<std::uint8_t>* bytes)
    {
        beginResetModel();
        bytes_ = bytes;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        if (parent.isValid() || !bytes_)
            return 0;
        return static_cast<int>((bytes_->size() + kBytesPerLine - 1) / kBytesPerLine);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !bytes_ || index.row() < 0 || index.row() >= rowCount())
            return {};
        const std::size_t at = static_cast<std::size_t>(index.row()) * kBytesPerLine;
        const std::span<const std::uint8_t> all(*bytes_);
        return HexLine(all.subspan(at, std::min(kBytesPerLine, all.size() - at)), at);
    }

private:
    const std::vector<std::uint8_t>* bytes_ = nullptr;
};

TFrmPreview::TFrmPreview(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPreview"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    lblName = new QLabel(this);
    lblName->setObjectName(QStringLiteral("lblName"));
    QFont bold = lblName->font();
    bold.setBold(true);
    lblName->setFont(bold);
    lblName->setTextFormat(Qt::PlainText);
    lblState = new QLabel(this);
    lblState->setObjectName(QStringLiteral("lblState"));
    lblTrust = new QLabel(this);
    lblTrust->setObjectName(QStringLiteral("lblTrust"));
    lblTrust->setWordWrap(true);
    lblNote = new QLabel(this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblNote->setTextFormat(Qt::PlainText);

    pgView = new QStackedWidget(this);
    blank_ = new QWidget(pgView);
    sbPicture = new QScrollArea(pgView);
    sbPicture->setObjectName(QStringLiteral("sbPicture"));
    sbPicture->setAlignment(Qt::AlignCenter);
    sbPicture->setBackgroundRole(QPalette::Dark);
    imgPicture = new QLabel;
    imgPicture->setObjectName(QStringLiteral("imgPicture"));
    sbPicture->setWidget(imgPicture);
    memText = new QPlainTextEdit(pgView);
    memText->setObjectName(QStringLiteral("memText"));
    memText->setReadOnly(true);
    memText->setLineWrapMode(QPlainTextEdit::NoWrap);
    lstHex = new QListView(pgView);
    lstHex->setObjectName(QStringLiteral("lstHex"));
    lstHex->setUniformItemSizes(true);
    lstHex->setSelectionMode(QAbstractItemView::NoSelection);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    lstHex->setFont(fixed);
    memText->setFont(fixed);
    hexModel_ = new THexModel(this);
    lstHex->setModel(hexModel_);
    for (QWidget* page : {blank_, static_cast<QWidget*>(sbPicture), static_cast<QWidget*>(memText),
                          static_cast<QWidget*>(lstHex)})
        pgView->addWidget(page);

    btnClose = new QPushButton(Text(text::kClose), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblName);
    layout->addWidget(lblState);
    layout->addWidget(lblTrust);
    layout->addWidget(lblNote);
    layout->addWidget(pgView, 1);
    layout->addLayout(buttons);
    resize(kWindowSize);
}

TFrmPreview::~TFrmPreview()
{
    // The read reports to this window: it ends before the window goes.
    EndRead();
}

void TFrmPreview::ShowFile(const std::shared_ptr<TAnalysis>& analysis, const TFileLocation& location,
                           TFatClusterRule rule)
{
    const TFileInfo* file = location.File();
    if (!file)
        return;
    EndRead();
    Clear();
    reading_ = *file;  // the results may grow while it is read
    ShowHeader(reading_);
    lblTrust->clear();
    lblNote->setText(Text(text::kPreviewReading));
    reader_ = std::make_unique<TFoundFileRead>(analysis, location, kPreviewBytes, rule);
    const std::uint64_t run = ++readRun_;
    if (ReadStarting)
        ReadStarting(*reader_);
    // The end is the read's last report, from its thread: the window takes
    // the result on its own thread.
    reader_->Start([this, run] {
        QMetaObject::invokeMethod(
            this, [this, run] { ReadEnded(run); }, Qt::QueuedConnection);
    });
    show();
    raise();
    activateWindow();
}

void TFrmPreview::ReadEnded(std::uint64_t run)
{
    if (run != readRun_ || !reader_)
        return;  // that read was stopped meanwhile
    reader_->Wait();
    TFoundFileBytes read = reader_->Take();
    reader_.reset();
    ShowBytes(reading_, std::move(read));
}

void TFrmPreview::EndRead()
{
    if (!reader_)
        return;
    ++readRun_;
    reader_->Stop();
    reader_.reset();
}

void TFrmPreview::StopReading()
{
    if (!reader_)
        return;
    EndRead();
    hide();
}

void TFrmPreview::ShowHeader(const TFileInfo& file)
{
    const QString name = QString::fromStdString(file.Name);
    setWindowTitle(Text(text::kPreviewTitle).arg(name));
    lblName->setText(name + QStringLiteral("   ") + SizeText(file.Size));
    const QString condition = file.Condition == kGood   ? Text(text::kConditionGood)
                              : file.Condition == kPoor ? Text(text::kConditionBad)
                                                        : Text(text::kPreviewNotAssessed);
    lblState->setText(Text(file.Deleted ? text::kPreviewDeleted : text::kPreviewLive) + QStringLiteral("   ") +
                      Text(text::kPreviewCondition).arg(condition));
}

void TFrmPreview::ShowBytes(const TFileInfo& file, TFoundFileBytes read)
{
    EndRead();
    Clear();
    read_ = std::move(read);
    ShowHeader(file);

    QStringList notes;
    if (!read_.Read) {
        lblTrust->clear();
        notes << Text(text::kPreviewNothing);
        if (!read_.Problem.empty())
            notes << QString::fromStdString(read_.Problem);
        lblNote->setText(notes.join(QLatin1Char('\n')));
        pgView->setCurrentWidget(blank_);
        view_ = TPreviewView::None;
        return;
    }
    switch (read_.Trust) {
    case TBytesTrust::Recorded: lblTrust->setText(Text(text::kPreviewRecorded)); break;
    case TBytesTrust::OneRun: lblTrust->setText(Text(text::kPreviewOneRun)); break;
    case TBytesTrust::Gapped: lblTrust->setText(Text(text::kPreviewGapped)); break;
    case TBytesTrust::Ambiguous: lblTrust->setText(Text(text::kPreviewAmbiguous)); break;
    }
    QFont font = lblTrust->font();
    font.setBold(!BytesKnownRight(read_.Trust));
    lblTrust->setFont(font);

    const std::span<const std::uint8_t> bytes(read_.Bytes);
    QImage picture;
    QString decoded;
    if (!bytes.empty()) {
        const QByteArray raw = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<qsizetype>(bytes.size()));
        QBuffer buffer;
        buffer.setData(raw);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        if (reader.canRead())
            picture = reader.read();
    }
    if (!picture.isNull()) {
        view_ = TPreviewView::Picture;
        notes << Text(text::kPreviewPicture).arg(picture.width()).arg(picture.height());
        QPixmap pixmap = QPixmap::fromImage(picture);
        if (pixmap.width() > kPictureFits.width() || pixmap.height() > kPictureFits.height())
            pixmap = pixmap.scaled(kPictureFits, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        imgPicture->setPixmap(pixmap);
        imgPicture->adjustSize();
        pgView->setCurrentWidget(sbPicture);
    } else if (DecodeAsText(bytes, read_.Cut, decoded)) {
        view_ = TPreviewView::Text;
        notes << (bytes.empty() ? Text(text::kPreviewEmpty) : Text(text::kPreviewText));
        memText->setPlainText(decoded);
        pgView->setCurrentWidget(memText);
    } else {
        view_ = TPreviewView::Hex;
        notes << Text(text::kPreviewHex);
        hexModel_->SetBytes(&read_.Bytes);
        pgView->setCurrentWidget(lstHex);
    }
    if (read_.Cut)
        notes << Text(text::kPreviewCut).arg(SizeText(read_.Bytes.size()), SizeText(read_.FileSize));
    if (!read_.Problem.empty())
        notes << QString::fromStdString(read_.Problem);
    lblNote->setText(notes.join(QLatin1Char('\n')));
}

void TFrmPreview::Clear()
{
    hexModel_->SetBytes(nullptr);
    memText->clear();
    imgPicture->clear();
    read_ = TFoundFileBytes{};
    view_ = TPreviewView::None;
    pgView->setCurrentWidget(blank_);
}

void TFrmPreview::hideEvent(QHideEvent* event)
{
    // Closed (Close, Escape, or by its owner), not minimized with its owner:
    // a read under way ends, and up to 16 MiB are held only while the
    // window shows them.
    if (!event->spontaneous()) {
        EndRead();
        Clear();
    }
    QDialog::hideEvent(event);
}

} // namespace salvage::ui
