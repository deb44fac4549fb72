#pragma once
// TfrmFind: the small dialog that asks what to find among the results. It
// lives as long as the program: the text and the check box it was left with
// are what "Find next file" searches for.

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace salvage::ui {

class TfrmFind final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFind(QWidget* parent = nullptr);
    ~TfrmFind() override;
    Q_DISABLE_COPY_MOVE(TfrmFind)

    // A name, part of a name, or a wildcard mask.
    [[nodiscard]] QString Pattern() const;
    // Only deleted files, and only folders that are deleted or hold deleted items.
    [[nodiscard]] bool DeletedOnly() const;

    QLabel* lblFindWhat;
    QLineEdit* edtName;
    QCheckBox* chkDeleteonly;
    QPushButton* btnFind;
    QPushButton* btnCancel;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace salvage::ui
