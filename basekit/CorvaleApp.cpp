#include "basekit/CorvaleApp.h"

#include "basekit/DlgMainWnd.h"
#include "basekit/MessageBox.h"
#include "basekit/Web.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

CCorvaleApp::StartRoutine CCorvaleApp::m_StartAppNow = nullptr;
void* CCorvaleApp::m_pStAppParam = nullptr;

CCorvaleApp::CCorvaleApp(bool, int) {}

CCorvaleApp::~CCorvaleApp() = default;

bool CCorvaleApp::InitInstance()
{
    if (m_StartAppNow)
        m_exitCode = m_StartAppNow(m_pStAppParam);
    return false;
}

int CCorvaleApp::ExitInstance()
{
    return m_exitCode;
}

int CCorvaleApp::Run()
{
    InitInstance();
    return ExitInstance();
}

QString CCorvaleApp::HelpFolder(const QString& topic)
{
    QStringList candidates;
    const QString fromEnvironment = qEnvironmentVariable("KESTREL_HELP_DIR");
    if (!fromEnvironment.isEmpty())
        candidates << fromEnvironment;
    const QString appDir = QCoreApplication::applicationDirPath();
    // Beside the program, then the install tree seen from bin/ and from the
    // suite folder libexec/kestrel/.
    candidates << appDir + QStringLiteral("/help") << appDir + QStringLiteral("/../share/doc/kestrel/help")
               << appDir + QStringLiteral("/../../share/doc/kestrel/help");
#if defined(KESTREL_HELP_SOURCE_DIR)
    candidates << QStringLiteral(KESTREL_HELP_SOURCE_DIR);
#endif
    for (const QString& folder : candidates) {
        const QDir dir(folder);
        if ((!topic.isEmpty() && QFileInfo(dir.filePath(topic)).isFile()) ||
            QFileInfo(dir.filePath(QStringLiteral("index.html"))).isFile())
            return dir.absolutePath();
    }
    return {};
}

bool CCorvaleApp::StartHelp(QWidget* parent)
{
    const QString topic = CDlgMainWnd::m_DefaultTopic;
    const QString folder = HelpFolder(topic);
    if (folder.isEmpty()) {
        CVMessageBox(parent, QStringLiteral("Help file not found"), CVIcon::None);
        return false;
    }
    const QDir dir(folder);
    const QString page = !topic.isEmpty() && QFileInfo(dir.filePath(topic)).isFile() ? dir.filePath(topic)
                                                                                    : dir.filePath(QStringLiteral("index.html"));
    return CVOpenUrl(QUrl::fromLocalFile(page));
}
