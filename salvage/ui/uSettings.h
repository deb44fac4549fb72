#pragma once
// TfrmSettings: the Settings dialog, page "Main". It holds the options
// "CheckDeterminate" and "CheckMountPoint" while the program runs (read when
// it is made, written into the store when it is destroyed) and sets the
// main window's HideStartupWizard on OK.

#include <QDialog>

class QCheckBox;
class QPushButton;
class QTabWidget;

namespace salvage {
class TOptions;
}

namespace salvage::ui {

class TfrmSettings final : public QDialog {
    Q_OBJECT
public:
    TfrmSettings(TOptions& options, bool& hideStartupWizard, QWidget* parent = nullptr);
    ~TfrmSettings() override;
    Q_DISABLE_COPY_MOVE(TfrmSettings)

    // "Determinate file's recovery probability": the search assesses the
    // condition of each deleted file.
    [[nodiscard]] bool Determinate() const;

    QTabWidget* pcSettings;
    QCheckBox* chkDeterminate;
    QCheckBox* ckShowWizardStartUp;
    QCheckBox* chkMountPoint;  // hidden
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TOptions& options_;
    bool& hideStartupWizard_;
    bool shownDeterminate_ = true;
    bool shownMountPoint_ = true;
};

} // namespace salvage::ui
