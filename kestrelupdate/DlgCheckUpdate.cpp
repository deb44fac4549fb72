#include "kestrelupdate/DlgCheckUpdate.h"

#include "basekit/MessageBox.h"
#include "basekit/Web.h"
#include "kestrelupdate/OleDate.h"
#include "kestrelupdate/UpdateStrings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace kestrelupdate;

namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

CDlgCheckUpdate::CDlgCheckUpdate(CheckSetup setup, bool autoCheck, QWidget* parent)
    : CDlgChildWnd(parent), setup_(std::move(setup)), autoCheck_(autoCheck)
{
    setObjectName(QStringLiteral("checkPage"));
    description_ = new QLabel(this);
    description_->setObjectName(QStringLiteral("description1019"));
    description_->setWordWrap(true);
    description_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    versionInfo_ = new QLabel(this);
    versionInfo_->setObjectName(QStringLiteral("versionInfo1002"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress1003"));
    progress_->setTextVisible(false);
    check_ = new QPushButton(Text(text::kCheckUpdate), this);
    check_->setObjectName(QStringLiteral("checkUpdate1004"));
    check_->setDefault(true);
    check_->setAutoDefault(true);
    connect(check_, &QPushButton::clicked, this, &CDlgCheckUpdate::OnCheckUpdate);

    check_->setMinimumSize(std::max(check_->sizeHint().width() + 16, 110), std::max(check_->sizeHint().height(), 26));
    // The bar keeps its room while hidden, so nothing moves when it shows.
    QSizePolicy keep = progress_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    progress_->setSizePolicy(keep);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(check_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 8, 12, 12);
    column->setSpacing(14);
    column->addWidget(description_);
    column->addWidget(versionInfo_);
    column->addWidget(progress_);
    column->addLayout(buttons);
    column->addStretch(1);
}

CDlgCheckUpdate::~CDlgCheckUpdate() = default;

void CDlgCheckUpdate::OnInitDialog()
{
    description_->setText(Text(text::kDescription));
    progress_->hide();
    progress_->setRange(0, 100);
    progress_->setValue(0);
    versionInfo_->setText(Text(text::kLastUpdated) +
                          FormatRecordDate(setup_.installed.dateStatus, setup_.installed.date));
    if (autoCheck_)
        QMetaObject::invokeMethod(this, &CDlgCheckUpdate::OnCheckUpdate, Qt::QueuedConnection);
    // The labels lie on the page's colour, the button keeps its own look.
    OnCtlColor(description_);
    OnCtlColor(versionInfo_);
}

void CDlgCheckUpdate::OnCheckUpdate()
{
    if (!check_->isEnabled())
        return;
    check_->setEnabled(false);  // for the rest of the window's life
    progress_->setValue(0);
    progress_->show();

    CheckRequest request;
    request.versionUrl = ServerUrl(setup_.serverBase, kVersionFilePath);
    request.targetPath = setup_.targetPath;
    request.installed = setup_.installed;
    request.proxy = LoadProxySetting(setup_.wizardKey);
    request.limits = setup_.limits;
    if (!request.versionUrl.isValid()) {
        Report({CheckOutcome::Failed, Text(text::kBadServerAddress).arg(setup_.serverBase)});
        return;
    }
    running_ = std::make_unique<UpdateCheck>(std::move(request));
    connect(running_.get(), &UpdateCheck::progressChanged, progress_, &QProgressBar::setValue);
    connect(running_.get(), &UpdateCheck::checked, this, &CDlgCheckUpdate::OnChecked);
    running_->start();
}

void CDlgCheckUpdate::OnChecked(const CheckResult& result)
{
    // The thread has said its last word; let it end before the message waits.
    running_->wait();
    Report(result);
}

void CDlgCheckUpdate::Report(const CheckResult& result)
{
    switch (result.outcome) {
    case CheckOutcome::Failed: {
        QString message = Text(text::kServerFailed);
        if (!result.detail.isEmpty())
            message += QStringLiteral("\n\n") + result.detail;
        CVMessageBox(this, message, CVIcon::None);
        break;
    }
    case CheckOutcome::UpdateAvailable:
        if (CVMessageBox(this, Text(text::kUpdateAvailable), CVIcon::Question, CVButtons::YesNo) == CVAnswer::Yes)
            CVOpenUrl(ServerUrl(setup_.serverBase, kProductPagePath));
        break;
    case CheckOutcome::UpToDate:
        CVMessageBox(this, Text(text::kUpToDate), CVIcon::Information);
        break;
    }
}
