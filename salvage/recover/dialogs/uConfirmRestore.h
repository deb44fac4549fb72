#pragma once
// TfrmConfirmRestore: asks whether the selected files go back to their
// original folders or to another place. OK closes it with 1, Cancel (and
// Escape) with 2; the caller reads rbAlternative, and the choice stays for
// the next time until the program ends.

#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;

namespace salvage::ui {

class TfrmConfirmRestore final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kOKResult = 1;
    static constexpr int kCancelResult = 2;

    explicit TfrmConfirmRestore(QWidget* parent = nullptr);
    ~TfrmConfirmRestore() override;
    Q_DISABLE_COPY_MOVE(TfrmConfirmRestore)

    QLabel* Image;
    QLabel* Label1;
    QRadioButton* rbOriginal;
    QLabel* Label2;
    QRadioButton* rbAlternative;
    QLabel* Label3;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void reject() override;
};

} // namespace salvage::ui
