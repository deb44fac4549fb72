#pragma once
// TFrmPreview: a look at a found file before it is recovered. The file is
// read through the recovery into memory (its first 16 MiB) and shown as a
// picture when Qt can decode it, as text when it is text, otherwise as
// bytes; above it, the file's condition and whether the bytes are known to
// be the file's. Nothing is written anywhere.

#include "salvage/recover/FoundFileBytes.h"
#include "salvage/search/FileInfo.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <span>

class QLabel;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;

namespace salvage {
class TAnalysis;
}

namespace salvage::ui {

class THexModel;

// How a file's bytes are shown.
enum class TPreviewView { None, Picture, Text, Hex };

// Text when the bytes decode as UTF-8 (or UTF-16 with its byte-order mark)
// without control characters other than line and page breaks and tabs; a
// file cut at the bound may end inside a character. `text` receives it.
[[nodiscard]] bool DecodeAsText(std::span<const std::uint8_t> bytes, bool cut, QString& text);

// One line of the byte view: offset, 16 bytes in hex, the same as characters.
[[nodiscard]] QString HexLine(std::span<const std::uint8_t> bytes, std::uint64_t offset);

class TFrmPreview final : public QDialog {
    Q_OBJECT
public:
    explicit TFrmPreview(QWidget* parent = nullptr);
    ~TFrmPreview() override;
    Q_DISABLE_COPY_MOVE(TFrmPreview)

    // Reads the file at `location` and shows it (the window is shown and
    // raised; it is not modal).
    void ShowFile(const std::shared_ptr<TAnalysis>& analysis, const TFileLocation& location,
                  TFatClusterRule rule = TFatClusterRule::FreeGaps);
    // Shows bytes already read from `file`.
    void ShowBytes(const TFileInfo& file, TFoundFileBytes read);

    [[nodiscard]] TPreviewView View() const noexcept { return view_; }
    [[nodiscard]] const TFoundFileBytes& Read() const noexcept { return read_; }

    QLabel* lblName;
    QLabel* lblState;    // deleted or not, the condition
    QLabel* lblTrust;    // whether the bytes are known to be right
    QLabel* lblNote;     // cut at the bound, a problem of the read, what is shown
    QStackedWidget* pgView;
    QScrollArea* sbPicture;
    QLabel* imgPicture;
    QPlainTextEdit* memText;
    QListView* lstHex;
    QPushButton* btnClose;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void Clear();

    TFoundFileBytes read_;
    TPreviewView view_ = TPreviewView::None;
    THexModel* hexModel_;
    QWidget* blank_;
};

} // namespace salvage::ui
