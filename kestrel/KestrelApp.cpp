#include "kestrel/KestrelApp.h"

#include "basekit/DlgMainWnd.h"
#include "basekit/Paths.h"
#include "kestrel/DlgKestrel.h"
#include "kestrel/Strings.h"

CKestrelApp::CKestrelApp() : CCorvaleApp(true, 0)
{
    m_StartAppNow = &CKestrelApp::StartApp;
    m_pStAppParam = this;
    CDlgMainWnd::m_ExeName = QString::fromStdString(GetAppFile());
    CDlgMainWnd::m_DefaultTopic = kestrel::kHelpTopic;
}

int CKestrelApp::StartApp(void*)
{
    CDlgKestrel dashboard;
    dashboard.show();
    dashboard.exec();
    return 0;
}
