#pragma once
// The program manager: every tool with a check box ticked when it is
// installed; "Update Now" installs the ticked tools and removes the others.

#include "basekit/DlgMainWnd.h"
#include "kestrel/SuiteSetup.h"

#include <QPixmap>

class QFrame;
class QLabel;
class QPushButton;
class QTreeWidget;

class CDlgSelectiveInstall : public CDlgMainWnd {
    Q_OBJECT
public:
    explicit CDlgSelectiveInstall(CFolderSource folders = LauncherFolders(), QWidget* parent = nullptr);

    [[nodiscard]] QTreeWidget* List() const { return list_; }
    [[nodiscard]] QPushButton* UpdateNowButton() const { return updateNow_; }
    [[nodiscard]] QPushButton* CancelButton() const { return cancel_; }

    // Column headings and their widths.
    static constexpr int kColumns = 5;

protected:
    void PaintDlgNow(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FillList();
    void UpdateNow();
    void LayOut();

    CFolderSource folders_;
    QLabel* intro_ = nullptr;        // 1020
    QLabel* description_ = nullptr;  // 1015, stays empty
    QTreeWidget* list_ = nullptr;    // 1002
    QFrame* line_ = nullptr;         // 1004
    QPushButton* updateNow_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPixmap picture_;
    QPixmap plate_;
};
