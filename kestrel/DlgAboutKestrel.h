#pragma once
// The launcher's own About dialog (from the system menu): its icon, name
// and version, a notice and OK.

#include <QDialog>

class CDlgAboutKestrel : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAboutKestrel(QWidget* parent = nullptr);
};
