#pragma once
// "Proxy Settings" off Windows: how the download reaches the update server
// (the system's proxy, none, or an HTTP proxy), kept in the wizard's key.

#include "kestrelupdate/UpdateSettings.h"

#include <QDialog>

#include <string>

class QLineEdit;
class QRadioButton;
class QSpinBox;

class CDlgProxySettings : public QDialog {
    Q_OBJECT
public:
    explicit CDlgProxySettings(std::string wizardKey, QWidget* parent = nullptr);

    // OK: checks and stores the choice; the dialog stays open on a problem.
    void accept() override;

    [[nodiscard]] kestrelupdate::ProxySetting Choice() const;

    [[nodiscard]] QRadioButton* SystemButton() const { return system_; }
    [[nodiscard]] QRadioButton* NoneButton() const { return none_; }
    [[nodiscard]] QRadioButton* ManualButton() const { return manual_; }
    [[nodiscard]] QLineEdit* HostEdit() const { return host_; }
    [[nodiscard]] QSpinBox* PortBox() const { return port_; }

private:
    void updateActions();

    std::string wizardKey_;
    QRadioButton* system_ = nullptr;
    QRadioButton* none_ = nullptr;
    QRadioButton* manual_ = nullptr;
    QLineEdit* host_ = nullptr;
    QSpinBox* port_ = nullptr;
};
