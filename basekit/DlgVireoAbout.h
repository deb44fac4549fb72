#pragma once
// The suite's About dialog: the mark, the suite's name and version, the
// notice and the maker's website.

#include "basekit/DlgMainWnd.h"

class QLabel;
class QPushButton;

class CDlgVireoAbout : public CDlgMainWnd {
    Q_OBJECT
public:
    // With showWebsite, the dialog links the maker's website.
    CDlgVireoAbout(QWidget* parent, bool showWebsite);

    [[nodiscard]] QPushButton* OkButton() const { return ok_; }

private:
    QPushButton* ok_ = nullptr;
};
