#include "salvage/ui/uSettings.h"

#include "salvage/ui/Options.h"
#include "salvage/ui/Strings.h"
#include "salvage/ui/uHelp.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

namespace salvage::ui {

TfrmSettings::TfrmSettings(TOptions& options, bool& hideStartupWizard, QWidget* parent)
    : QDialog(parent), options_(options), hideStartupWizard_(hideStartupWizard)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QString::fromUtf8(text::kSettingsTitle));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    pcSettings = new QTabWidget(this);
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    chkDeterminate = new QCheckBox(QString::fromUtf8(text::kSettingsDeterminate), page);
    chkDeterminate->setObjectName(QStringLiteral("chkDeterminate"));
    ckShowWizardStartUp = new QCheckBox(QString::fromUtf8(text::kSettingsShowWizard), page);
    ckShowWizardStartUp->setObjectName(QStringLiteral("ckShowWizardStartUp"));
    chkMountPoint = new QCheckBox(QString::fromUtf8(text::kSettingsMountPoint), page);
    chkMountPoint->setObjectName(QStringLiteral("chkMountPoint"));
    chkMountPoint->hide();
    pageLayout->addWidget(chkDeterminate);
    pageLayout->addWidget(ckShowWizardStartUp);
    pageLayout->addWidget(chkMountPoint);
    pageLayout->addStretch();
    pcSettings->addTab(page, QString::fromUtf8(text::kSettingsPage));

    btnOK = new QPushButton(QString::fromUtf8(text::kOK), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QString::fromUtf8(text::kCancel), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcSettings);
    layout->addLayout(buttons);

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { OpenHelp(this, QStringLiteral("main-window.html#settings")); });

    // A fixed dialog of the design size.
    setFixedSize(335, 214);

    chkDeterminate->setChecked(options_.Find(kOptCheckDeterminate).GetBoolean());
    chkMountPoint->setChecked(options_.Find(kOptCheckMountPoint).GetBoolean());
}

TfrmSettings::~TfrmSettings()
{
    options_.Find(kOptCheckDeterminate).SetBoolean(chkDeterminate->isChecked());
    options_.Find(kOptCheckMountPoint).SetBoolean(chkMountPoint->isChecked());
}

bool TfrmSettings::Determinate() const
{
    return chkDeterminate->isChecked();
}

void TfrmSettings::showEvent(QShowEvent* event)
{
    shownDeterminate_ = chkDeterminate->isChecked();
    shownMountPoint_ = chkMountPoint->isChecked();
    ckShowWizardStartUp->setChecked(!hideStartupWizard_);
    QDialog::showEvent(event);
}

void TfrmSettings::done(int result)
{
    if (result == QDialog::Accepted) {
        hideStartupWizard_ = !ckShowWizardStartUp->isChecked();
    } else {
        chkDeterminate->setChecked(shownDeterminate_);
        chkMountPoint->setChecked(shownMountPoint_);
    }
    QDialog::done(result);
}

} // namespace salvage::ui
