#pragma once
// TFrmRecover: where recovered files go. The user picks the output folder
// and two options; OK checks the folder (creates it on request, and asks
// first when it lies on the disk being recovered) and hands the job to the
// main window's StartRecovery. Made once at program start; it reads its
// three options when made and writes them back when destroyed.

// (moc cannot read the standard headers behind it)
#ifndef Q_MOC_RUN
#include "salvage/recover/TargetPlacement.h"
#endif

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace salvage {
class TOptions;
}

namespace salvage::ui {

class TFrmRecover final : public QDialog {
    Q_OBJECT
public:
    // The modal result of Cancel.
    static constexpr int kCancelResult = 2;

    explicit TFrmRecover(TOptions& options, QWidget* parent = nullptr);
    ~TFrmRecover() override;
    Q_DISABLE_COPY_MOVE(TFrmRecover)

    // The main window's StartRecovery(target path, recover all, restore structure).
    std::function<void(const QString& path, bool recoverAll, bool restoreStructure)> StartRecovery;
    // Where a folder lies from the analysed volume's point of view (the main
    // window sets it for the volume it holds); none: nothing is asked.
    std::function<TTargetCheck(const std::string& folder)> CheckTarget;
    // The folder browser (a QFileDialog when empty): the title, the folder
    // chosen or "" when the user cancelled.
    std::function<QString(QWidget* owner, const QString& title)> ChooseFolder;

    QLabel* Image;
    QLabel* lblFolder;
    QLineEdit* edtPath;
    QPushButton* Browse;
    QCheckBox* chStructure;
    QCheckBox* chAllFiles;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void BrowseClick();
    void btnOKClick();
    void reject() override;

signals:
    // The dialog is on the screen (a test plays the user from here).
    void shown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Asks when the folder lies where the recovery reads; true to go on.
    [[nodiscard]] bool ConfirmPlacement(const QString& folder);
    void FormCreate();
    void FormDestroy();

    TOptions& options_;
};

} // namespace salvage::ui
