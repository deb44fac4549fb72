#pragma once
// The application base of the suite's dialog programs. The program's
// subclass stores its start routine in m_StartAppNow (and its parameter in
// m_pStAppParam); InitInstance calls it, and the routine runs the main
// dialog. A QApplication must exist before Run.

#include <QString>

class QWidget;

class CCorvaleApp {
public:
    using StartRoutine = int (*)(void* param);

    // initCommonControls and flags are kept for the programs that pass them;
    // Qt needs neither.
    CCorvaleApp(bool initCommonControls, int flags);
    virtual ~CCorvaleApp();
    CCorvaleApp(const CCorvaleApp&) = delete;
    CCorvaleApp& operator=(const CCorvaleApp&) = delete;

    // Calls the start routine with its parameter; its result becomes the
    // exit code. Always false: a dialog program ends when its dialog does.
    virtual bool InitInstance();
    virtual int ExitInstance();

    // InitInstance, then ExitInstance; returns the exit code.
    int Run();

    // Opens the suite's help at CDlgMainWnd::m_DefaultTopic (the help's
    // index when that page is missing); "Help file not found" when there is
    // no help. parent owns the message.
    static bool StartHelp(QWidget* parent = nullptr);

    // The folder of the suite's help pages: $KESTREL_HELP_DIR, else "help"
    // beside the program, else share/doc/kestrel/help of the install tree
    // (seen from bin/ or from the suite folder libexec/kestrel/),
    // else the source tree's docs/help (a build that is not installed).
    // Empty when none holds an index.html or the topic.
    [[nodiscard]] static QString HelpFolder(const QString& topic);

    static StartRoutine m_StartAppNow;
    static void* m_pStAppParam;

protected:
    int m_exitCode = 0;
};
