#pragma once
// The launcher's dashboard: five categories of tools, each tool started by
// its button (and installed first when it is missing), the Help menu with
// the update wizard, the program manager and the About dialogs.

#include "basekit/DlgMainWnd.h"
#include "kestrel/SuiteSetup.h"

#include <QPixmap>

#include <array>

class CHoverButton2;
class QMenu;

class CDlgKestrel : public CDlgMainWnd {
    Q_OBJECT
public:
    explicit CDlgKestrel(CFolderSource folders = LauncherFolders(), QWidget* parent = nullptr);
    ~CDlgKestrel() override;

    // Selects category n (1 to 5).
    void SelectCategory(int n);
    [[nodiscard]] int CurrentCategory() const { return current_; }
    [[nodiscard]] int BannerBitmap() const { return banner_; }

    // Starts the tool of a row; a missing one is offered for installation.
    void StartTool(int row);
    // Starts the update wizard beside the launcher, when it is there.
    void CheckForUpdates();

    void OnSysCommand(int id) override;

    [[nodiscard]] CHoverButton2* CategoryButton(int n) const { return categories_.at(n - 1); }
    [[nodiscard]] CHoverButton2* ToolButton(int slot) const { return tools_.at(slot); }
    [[nodiscard]] CHoverButton2* HelpButton() const { return help_; }
    [[nodiscard]] CHoverButton2* ExitButton() const { return exit_; }
    [[nodiscard]] QMenu* HelpMenu() const { return helpMenu_; }

    // The row a tool button starts in the current category; -1 for none.
    [[nodiscard]] int RowOfToolButton(int slot) const;

protected:
    void PaintDlgNow(QPainter& painter) override;

private:
    CHoverButton2* MakeButton(const QString& name, int bitmap, QRect place);
    void BuildHelpMenu();
    void ShowHelpMenu();
    void ManagePrograms();
    void LoadToolButtons(int n);

    CFolderSource folders_;
    CToolTable table_;
    std::array<CHoverButton2*, 5> categories_{};
    std::array<CHoverButton2*, 3> tools_{};
    CHoverButton2* minimise_ = nullptr;
    CHoverButton2* close_ = nullptr;
    CHoverButton2* help_ = nullptr;
    CHoverButton2* exit_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    int current_ = 0;
    int banner_ = 0;
    QPixmap bannerBitmap_;

    struct Art {
        QPixmap topLeft, topTile, topRight, sidePanel, body, rightTile, bottomRight, bottomLeft, bottomTile,
            titlePlate, bannerRule;
    };
    Art art_;
};
