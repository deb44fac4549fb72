#pragma once
// The update wizard's window: the skinned dialog with the check page, the
// side picture and title plate, "Proxy Settings", "Help" and "Exit Wizard".

#include "basekit/DlgMainWnd.h"
#include "kestrelupdate/DlgCheckUpdate.h"

#include <QPixmap>

class QFrame;
class QPushButton;

class CDlgUpdateWizard : public CDlgMainWnd {
    Q_OBJECT
public:
    CDlgUpdateWizard(kestrelupdate::CheckSetup setup, bool autoCheck, QWidget* parent = nullptr);
    ~CDlgUpdateWizard() override;

    // "Proxy Settings": the proxy dialog (on Windows the Internet Options).
    void OnProxySettings();
    // "Help" and F1: the wizard's help page.
    void OnHelp();

    [[nodiscard]] CDlgCheckUpdate* CheckPage() const { return page_; }
    [[nodiscard]] QPushButton* ProxyButton() const { return proxy_; }
    [[nodiscard]] QPushButton* HelpButton() const { return help_; }
    [[nodiscard]] QPushButton* ExitButton() const { return exit_; }

protected:
    void PaintDlgNow(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PlaceControls();

    std::string wizardKey_;
    CDlgCheckUpdate* page_ = nullptr;
    QFrame* line_ = nullptr;
    QPushButton* proxy_ = nullptr;
    QPushButton* help_ = nullptr;
    QPushButton* exit_ = nullptr;
    QPixmap picture_;  // bitmap 132
    QPixmap plate_;    // bitmap 135
};
