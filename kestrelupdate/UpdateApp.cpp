#include "kestrelupdate/UpdateApp.h"

#include "basekit/CRegistry.h"
#include "basekit/DlgMainWnd.h"
#include "basekit/MessageBox.h"
#include "basekit/Paths.h"
#include "basekit/Web.h"
#include "kestrelupdate/DlgUpdateWizard.h"
#include "kestrelupdate/OleDate.h"
#include "kestrelupdate/SingleInstance.h"
#include "kestrelupdate/StartMode.h"
#include "kestrelupdate/UpdateStrings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace kestrelupdate {

std::string WizardKeyPath()
{
    std::string key;
    ReturnCorvaleRegKey(key);
    return key + "\\" + text::kTitle;
}

VersionRecord LoadInstalledRecord(const QString& folder, const QDateTime& now)
{
    VersionRecord record;
    record.date = ToOleDate(now);
    LoadVersionFile(QFile::encodeName(QDir(folder).filePath(QStringLiteral("version.zip"))).toStdString(), record);
    return record;
}

int RunUpdateWizard(const WizardStart& start)
{
    SingleInstance instance(QString::fromUtf8(kInstanceName), start.instanceFolder);
    if (!instance.claim()) {
        CVMessageBox(nullptr, QString::fromUtf8(text::kAlreadyRunning), CVIcon::Warning);
        return 0;
    }

    const StartMode mode = ParseStartMode(start.arguments);
    const std::string wizardKey = WizardKeyPath();
    if (mode == StartMode::Startup && !IsLogonCheckDue(wizardKey, start.now()))
        return 0;

    std::string makerKey;
    ReturnCorvaleRegKey(makerKey);
    std::string dataFolder;
    ReturnCorvaleAppDataFolder(dataFolder);
    CVPathAppend(dataFolder, "version_new.zip");

    CheckSetup setup;
    setup.serverBase = ConfiguredUpdateServer(makerKey, QString::fromUtf8(kKestrelWebsite));
    setup.wizardKey = wizardKey;
    setup.targetPath = QString::fromStdString(dataFolder);
    setup.installed = LoadInstalledRecord(
        start.programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : start.programFolder, start.now());
    setup.limits = start.limits;

    CDlgUpdateWizard window(std::move(setup), mode == StartMode::Auto);
    if (start.runWindow)
        return start.runWindow(window);
    window.show();
    return window.exec();
}

} // namespace kestrelupdate

CUpdateApp::CUpdateApp(kestrelupdate::WizardStart start) : CCorvaleApp(true, 0), start_(std::move(start))
{
    m_StartAppNow = &CUpdateApp::StartApp;
    m_pStAppParam = this;
    CDlgMainWnd::m_ExeName = QString::fromStdString(GetAppFile());
    CDlgMainWnd::m_DefaultTopic = QString::fromUtf8(kestrelupdate::text::kHelpTopic);
}

int CUpdateApp::StartApp(void* self)
{
    return kestrelupdate::RunUpdateWizard(static_cast<CUpdateApp*>(self)->start_);
}
