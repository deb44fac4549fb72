#pragma once
// TfrmConfirmRestore: asks whether the wizard's selected files go back to
// their original folders or to another place. It has no behaviour of its own
// beyond its two radio buttons and its modal result; the choice stays for
// the next time.

#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;

namespace salvage::ui {

class TfrmConfirmRestore final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmConfirmRestore(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TfrmConfirmRestore)

    QLabel* Label1;
    QRadioButton* rbOriginal;
    QLabel* Label2;
    QRadioButton* rbAlternative;
    QLabel* Label3;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};

} // namespace salvage::ui
