#pragma once
// TFrmPreview: a look at a found file before it is recovered. The file is
// read through the recovery into memory (its first 16 MiB), on a thread of
// its own while the window says it is reading, and shown as a picture when
// Qt can decode it, as text when it is text, otherwise as bytes; above it,
// the file's condition and whether the bytes are known to be the file's.
// Nothing is written anywhere.

#include "salvage/recover/FoundFileBytes.h"
#include "salvage/search/FileInfo.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
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

    // Shows the window (raised, not modal) reading the file at `location`,
    // and the file once it has been read. A read under way is stopped first.
    // The results tree `location` lies in must stay until the read has
    // ended: a window that replaces it calls StopReading first.
    void ShowFile(const std::shared_ptr<TAnalysis>& analysis, const TFileLocation& location,
                  TFatClusterRule rule = TFatClusterRule::FreeGaps);
    // Shows bytes already read from `file` (a read under way is stopped).
    void ShowBytes(const TFileInfo& file, TFoundFileBytes read);
    // Stops a read under way, waits for its thread and closes the window
    // that waited for it; nothing when no read runs.
    void StopReading();

    [[nodiscard]] bool Reading() const noexcept { return reader_ != nullptr; }
    [[nodiscard]] TPreviewView View() const noexcept { return view_; }
    [[nodiscard]] const TFoundFileBytes& Read() const noexcept { return read_; }

    // Called with every read before it starts (the tests hold one there).
    std::function<void(TFoundFileRead&)> ReadStarting;

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
    // The file's name, its state and condition.
    void ShowHeader(const TFileInfo& file);
    // Read number `run` ended by itself; its result is shown unless it was stopped meanwhile.
    void ReadEnded(std::uint64_t run);
    // Stops the read under way and waits for its thread.
    void EndRead();

    std::unique_ptr<TFoundFileRead> reader_;
    TFileInfo reading_;         // the file being read, as it was found
    std::uint64_t readRun_ = 0;  // counts starts and stops
    TFoundFileBytes read_;
    TPreviewView view_ = TPreviewView::None;
    THexModel* hexModel_;
    QWidget* blank_;
};

} // namespace salvage::ui
