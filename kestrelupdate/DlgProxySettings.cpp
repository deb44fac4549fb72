#include "kestrelupdate/DlgProxySettings.h"

#include "basekit/MessageBox.h"
#include "kestrelupdate/UpdateStrings.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

using namespace kestrelupdate;

namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

// A host name or address, as the host part of a URL takes it.
bool IsHostName(const QString& host)
{
    QUrl url;
    url.setHost(host, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

} // namespace

CDlgProxySettings::CDlgProxySettings(std::string wizardKey, QWidget* parent)
    : QDialog(parent), wizardKey_(std::move(wizardKey))
{
    setObjectName(QStringLiteral("proxySettings"));
    setWindowTitle(Text(text::kProxySettings));
    system_ = new QRadioButton(Text(text::kProxySystem), this);
    none_ = new QRadioButton(Text(text::kProxyNone), this);
    manual_ = new QRadioButton(Text(text::kProxyManual), this);
    auto* group = new QButtonGroup(this);
    for (QRadioButton* button : {system_, none_, manual_})
        group->addButton(button);
    host_ = new QLineEdit(this);
    host_->setObjectName(QStringLiteral("proxyHost"));
    host_->setMinimumWidth(220);
    port_ = new QSpinBox(this);
    port_->setObjectName(QStringLiteral("proxyPort"));
    port_->setRange(1, 65535);

    auto* address = new QFormLayout;
    address->setContentsMargins(24, 0, 0, 0);
    address->addRow(Text(text::kProxyHost), host_);
    address->addRow(Text(text::kProxyPort), port_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* column = new QVBoxLayout(this);
    column->addWidget(system_);
    column->addWidget(none_);
    column->addWidget(manual_);
    column->addLayout(address);
    column->addSpacing(8);
    column->addWidget(buttons);

    const ProxySetting stored = LoadProxySetting(wizardKey_);
    (stored.mode == ProxyMode::None ? none_ : stored.mode == ProxyMode::Manual ? manual_ : system_)->setChecked(true);
    host_->setText(stored.host);
    port_->setValue(stored.port);

    connect(group, &QButtonGroup::buttonToggled, this, &CDlgProxySettings::updateActions);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgProxySettings::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDlgProxySettings::reject);
    updateActions();
}

ProxySetting CDlgProxySettings::Choice() const
{
    ProxySetting setting;
    setting.mode = manual_->isChecked() ? ProxyMode::Manual : none_->isChecked() ? ProxyMode::None : ProxyMode::System;
    setting.host = host_->text().trimmed();
    setting.port = static_cast<std::uint16_t>(port_->value());
    return setting;
}

void CDlgProxySettings::accept()
{
    const ProxySetting setting = Choice();
    if (setting.mode == ProxyMode::Manual) {
        if (setting.host.isEmpty()) {
            CVMessageBox(this, Text(text::kProxyNeedsHost), CVIcon::Warning);
            host_->setFocus();
            return;
        }
        if (!IsHostName(setting.host)) {
            CVMessageBox(this, Text(text::kProxyBadHost).arg(setting.host), CVIcon::Warning);
            host_->setFocus();
            return;
        }
    }
    if (!SaveProxySetting(wizardKey_, setting)) {
        CVMessageBox(this, Text(text::kProxyNotSaved), CVIcon::Error);
        return;
    }
    QDialog::accept();
}

void CDlgProxySettings::updateActions()
{
    const bool manual = manual_->isChecked();
    host_->setEnabled(manual);
    port_->setEnabled(manual);
}
