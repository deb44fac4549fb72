#pragma once
// TfrmRestoreW: the wizard's small progress window "Restore...". Shown
// modally by the wizard's StartRecover, it starts the restore worker
// (TRecoverW) when it appears, shows the file being written, and closes
// itself when the worker is done. "Cancel" (or Escape, or the window's close
// button) stops the worker and waits for it; the rows of the files already
// written are kept in RestoredList either way.

#include "salvage/recover/BrokenName.h"
#include "salvage/recover/BrokenNameRelay.h"
#include "salvage/wizard/RecoverW.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

namespace salvage::ui {

// Answers a broken name on the main thread (shows the dialog and waits for it).
using TBrokenNameAnswerer = std::function<TBrokenNameAnswer(const std::string& brokenName)>;

class TfrmRestoreW final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRestoreW(QWidget* parent = nullptr);
    ~TfrmRestoreW() override;
    Q_DISABLE_COPY_MOVE(TfrmRestoreW)

    // The run the next showing starts; broken names are put to `answerer`
    // (on this thread); `dismiss` closes a question being answered when the
    // run is cancelled.
    void Prepare(TRestoreRun run, TBrokenNameAnswerer answerer, std::function<void()> dismiss = {});

    QLabel* Label;
    QLabel* lblFileName;
    QProgressBar* ProgressBar;
    QPushButton* btnCancel;

    bool StartPending = false;
    bool ClosedByUser = true;
    // Rows (the run's item keys) whose files the last run wrote.
    std::vector<std::uint64_t> RestoredList;
    // What the last run did, once it ended by itself.
    TRestoreSummary Summary;
    bool RunEnded = false;

    void done(int result) override;

signals:
    // The worker has been started (tests act from here).
    void started();

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Inbox;
    class TDesktopSink;

    void FormActivate();
    void Drain(bool closing);

    TRestoreRun run_;
    TBrokenNameAnswerer answerer_;
    std::function<void()> dismiss_;
    std::shared_ptr<Inbox> inbox_;
    std::unique_ptr<TDesktopSink> sink_;
    std::unique_ptr<TBrokenNameRelay> relay_;
    std::unique_ptr<TRecoverW> worker_;
};

} // namespace salvage::ui
