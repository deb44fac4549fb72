#pragma once
// TFrmBroken: the broken-name question. A deleted FAT short name has lost
// its first byte, shown as "?", which no file name may hold: before such an
// item is written the user types a new name, chooses one character for the
// leading "?" of this and every later broken name, or skips this name or
// all of them. The dialog only collects the answer; the recovery acts on it.
//
// TBrokenNameAsker puts the question of a recovery's worker to the dialog
// on the dialog's (the main) thread and blocks the worker until it is
// answered. Any worker that takes a TBrokenNameQuestion can use it:
//
//     asker.StartJob();                       // a fresh job: single-name mode, no symbol
//     TThreadRecover worker(job, sink, asker);
//     worker.Start();
//     ...
//     worker.RequestStop();                   // the user's Stop:
//     asker.Cancel();                         //   a waiting question is skipped, the dialog closed
//     worker.Stop();                          //   and the thread can end
//
// Hold and Release keep a question back while the window asks its own.

#include "salvage/recover/BrokenName.h"
#include "salvage/recover/BrokenNameRelay.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace salvage::ui {

class TFrmBroken final : public QDialog {
    Q_OBJECT
public:
    explicit TFrmBroken(QWidget* parent = nullptr);
    ~TFrmBroken() override;
    Q_DISABLE_COPY_MOVE(TFrmBroken)

    // Shows the question about `brokenName` modally (both name fields set to
    // it) and returns the answer as the recovery reads it: the modal result,
    // the new name, the old name and the replacement symbol.
    [[nodiscard]] TBrokenNameAnswer AskBrokenName(const std::string& brokenName);
    // Before every job: no symbol, "Change all unknown symbols to:" unticked.
    void ResetForJob();

    // The symbol as the field holds it ("" when blank).
    [[nodiscard]] QString Symbol() const;

    QLabel* lblBroken;
    QLineEdit* edtOldName;
    QLabel* lblNew;
    QLineEdit* edtNewName;
    QCheckBox* chkChangeAll;
    QLineEdit* edtSymbol;
    QPushButton* btnSkip;
    QPushButton* btnSkipAll;
    QPushButton* btnRename;

    void chkChangeAllClick();
    void btnRenameClick();
    // Escape and the window's close answer "Skip".
    void reject() override;

signals:
    // The dialog is on the screen (a test answers it from here).
    void shown();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void edtSymbolChange();
    void SetColours();
};

// The broken-name question of one recovery worker, answered by `dialog` on
// its thread. One job at a time: StartJob before the worker starts.
class TBrokenNameAsker final : public TBrokenNameQuestion {
public:
    explicit TBrokenNameAsker(TFrmBroken& dialog);
    TBrokenNameAsker(const TBrokenNameAsker&) = delete;
    TBrokenNameAsker& operator=(const TBrokenNameAsker&) = delete;
    ~TBrokenNameAsker() override;

    // On the worker's thread.
    [[nodiscard]] TBrokenNameAnswer Ask(const std::string& brokenName) override;

    // On the dialog's thread. StartJob resets the dialog and asks again after
    // a Cancel; Cancel answers a waiting question (and every later one) with
    // "Skip" and closes the dialog when it is open; Hold and Release keep a
    // question back while the window asks one of its own.
    void StartJob();
    void Cancel();
    void Hold();
    void Release();

private:
    TFrmBroken& dialog_;
    TBrokenNameRelay relay_;
};

} // namespace salvage::ui
