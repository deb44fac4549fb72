#pragma once
// The wizard's check page: what the check is for, when the installed release
// was made, the progress bar and "Check Update". One check per page: the
// button stays disabled once it was clicked.

#include "basekit/DlgChildWnd.h"
#include "kestrelupdate/UpdateCheck.h"

#include <QString>

#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrelupdate {

// What a check needs to know about this installation.
struct CheckSetup {
    QString serverBase;       // the update server as configured
    std::string wizardKey;    // the wizard's registry key (the proxy setting)
    QString targetPath;       // "version_new.zip" in the data folder
    VersionRecord installed;
    DownloadLimits limits;
};

} // namespace kestrelupdate

class CDlgCheckUpdate : public CDlgChildWnd {
    Q_OBJECT
public:
    CDlgCheckUpdate(kestrelupdate::CheckSetup setup, bool autoCheck, QWidget* parent = nullptr);
    ~CDlgCheckUpdate() override;

    // "Check Update": shows the bar and starts the check.
    void OnCheckUpdate();

    [[nodiscard]] QPushButton* CheckButton() const { return check_; }
    [[nodiscard]] QProgressBar* ProgressBar() const { return progress_; }
    [[nodiscard]] QLabel* VersionInfo() const { return versionInfo_; }

protected:
    void OnInitDialog() override;

private:
    void OnChecked(const kestrelupdate::CheckResult& result);
    void Report(const kestrelupdate::CheckResult& result);

    kestrelupdate::CheckSetup setup_;
    bool autoCheck_;
    QLabel* description_ = nullptr;
    QLabel* versionInfo_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* check_ = nullptr;
    std::unique_ptr<kestrelupdate::UpdateCheck> running_;
};
