#pragma once
// The update wizard's application: one running copy, the start modes, the
// installed release's record, then the window.

#include "basekit/CorvaleApp.h"
#include "kestrelupdate/UpdateCheck.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

class CDlgUpdateWizard;

namespace kestrelupdate {

// What one start depends on; tests replace the clock, the folders and the
// way the window runs.
struct WizardStart {
    QStringList arguments;  // after the program's name
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    QString programFolder;   // where "version.zip" lies; the program's own folder when empty
    QString instanceFolder;  // of the single-instance socket; the user's runtime folder when empty
    DownloadLimits limits;
    // Runs the window until it closes (exec); returns the exit code.
    std::function<int(CDlgUpdateWizard&)> runWindow;
};

// The start routine: "Update wizard already running" and an end when
// another copy runs; an end without a window when "-startup" finds the
// check not due; else the window (checking at once with "-auto").
int RunUpdateWizard(const WizardStart& start);

// The installed release: "version.zip" in folder, or 0.0.0 made now when
// it is missing or too short.
[[nodiscard]] VersionRecord LoadInstalledRecord(const QString& folder, const QDateTime& now);

// The wizard's registry key: the maker's key + "\Update Wizard".
[[nodiscard]] std::string WizardKeyPath();

} // namespace kestrelupdate

class CUpdateApp : public CCorvaleApp {
public:
    explicit CUpdateApp(kestrelupdate::WizardStart start);

private:
    static int StartApp(void* self);
    kestrelupdate::WizardStart start_;
};
