#include "salvage/wizard/uRestoreDialog.h"

#include "salvage/ui/Strings.h"
#include "salvage/ui/uMessageBox.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <mutex>
#include <optional>

namespace salvage::ui {

namespace {

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

// What the worker reported and the main thread has not shown yet.
struct TfrmRestoreW::Inbox {
    std::mutex Mutex;
    bool WakePosted = false;
    std::optional<std::string> CurrentName;
    int Progress = -1;
    std::vector<std::uint64_t> Restored;
    std::optional<std::string> TargetFailed;
    std::optional<TRestoreSummary> Done;
};

class TfrmRestoreW::TDesktopSink final : public TRecoverWSink {
public:
    TDesktopSink(TfrmRestoreW& window, std::shared_ptr<Inbox> inbox) : window_(&window), inbox_(std::move(inbox)) {}

    void CurrentFile(const std::string& name) override
    {
        Put([&](Inbox& in) { in.CurrentName = name; });
    }
    void Progress(int percent) override
    {
        Put([&](Inbox& in) { in.Progress = percent; });
    }
    void Restored(std::uint64_t item) override
    {
        Put([&](Inbox& in) { in.Restored.push_back(item); });
    }
    void TargetFailed(const std::string& message) override
    {
        Put([&](Inbox& in) { in.TargetFailed = message; });
    }
    void Done(const TRestoreSummary& summary) override
    {
        Put([&](Inbox& in) { in.Done = summary; });
    }

private:
    template <class F>
    void Put(F&& change)
    {
        bool wake = false;
        {
            std::lock_guard lock(inbox_->Mutex);
            change(*inbox_);
            wake = !inbox_->WakePosted;
            inbox_->WakePosted = true;
        }
        if (wake)
            QMetaObject::invokeMethod(window_, [w = window_] {
                if (w)
                    w->Drain(false);
            }, Qt::QueuedConnection);
    }

    QPointer<TfrmRestoreW> window_;
    std::shared_ptr<Inbox> inbox_;
};

TfrmRestoreW::TfrmRestoreW(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRestoreW"));
    setWindowTitle(Text(text::kRestoreWTitle));
    Label = new QLabel(Text(text::kRestoreWWait), this);
    lblFileName = new QLabel(this);
    lblFileName->setObjectName(QStringLiteral("lblFileName"));
    lblFileName->setMinimumWidth(320);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    btnCancel = new QPushButton(Text(text::kCancel), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setDefault(true);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label);
    layout->addWidget(lblFileName);
    layout->addWidget(ProgressBar);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(360, 0)));
}

TfrmRestoreW::~TfrmRestoreW()
{
    if (worker_)
        worker_->RequestStop();
    if (relay_)
        relay_->Cancel();
    worker_.reset();
}

void TfrmRestoreW::Prepare(TRestoreRun run, TBrokenNameAnswerer answerer, std::function<void()> dismiss)
{
    run_ = std::move(run);
    answerer_ = std::move(answerer);
    dismiss_ = std::move(dismiss);
    StartPending = true;
}

void TfrmRestoreW::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once the window is up, so that a message of the run has it below.
    if (StartPending)
        QTimer::singleShot(0, this, &TfrmRestoreW::FormActivate);
}

void TfrmRestoreW::FormActivate()
{
    if (!StartPending || !isVisible())
        return;
    StartPending = false;
    RestoredList.clear();
    Summary = {};
    RunEnded = false;
    lblFileName->clear();
    ProgressBar->setValue(0);
    inbox_ = std::make_shared<Inbox>();
    sink_ = std::make_unique<TDesktopSink>(*this, inbox_);
    // The worker's broken-name question is answered here, on the main thread.
    relay_ = std::make_unique<TBrokenNameRelay>(
        [self = QPointer<TfrmRestoreW>(this)](TBrokenNameRelay::Task task) {
            QMetaObject::invokeMethod(self, std::move(task), Qt::QueuedConnection);
        },
        answerer_, dismiss_);
    worker_ = std::make_unique<TRecoverW>(std::move(run_), *sink_, *relay_);
    run_ = {};
    worker_->Start();
    emit started();
}

void TfrmRestoreW::Drain(bool closing)
{
    if (!inbox_)
        return;
    Inbox in;
    {
        std::lock_guard lock(inbox_->Mutex);
        inbox_->WakePosted = false;
        in.CurrentName = std::move(inbox_->CurrentName);
        in.Progress = inbox_->Progress;
        in.Restored = std::move(inbox_->Restored);
        in.TargetFailed = std::move(inbox_->TargetFailed);
        in.Done = std::move(inbox_->Done);
        inbox_->CurrentName.reset();
        inbox_->Restored.clear();
        inbox_->TargetFailed.reset();
        inbox_->Done.reset();
        inbox_->Progress = -1;
    }
    if (in.CurrentName)
        lblFileName->setText(QString::fromStdString(*in.CurrentName));
    if (in.Progress >= 0)
        ProgressBar->setValue(in.Progress);
    RestoredList.insert(RestoredList.end(), in.Restored.begin(), in.Restored.end());
    if (closing)
        return;
    if (in.TargetFailed)
        ShowMessageBox(nullptr, QString::fromStdString(*in.TargetFailed), QMessageBox::Warning);
    if (in.Done) {
        Summary = std::move(*in.Done);
        RunEnded = true;
        // The run's own end closes the window.
        ClosedByUser = false;
        accept();
    }
}

void TfrmRestoreW::done(int result)
{
    if (ClosedByUser && worker_) {
        // Cancel: the worker stops at the next file (or within a cluster run
        // of one). The stop comes first: a question it waits for is then
        // answered "Skip" and it goes no further.
        worker_->RequestStop();
        relay_->Cancel();
        worker_->Wait();
    }
    if (worker_) {
        worker_->Wait();
        Drain(true);
    }
    worker_.reset();
    relay_.reset();
    sink_.reset();
    inbox_.reset();
    ClosedByUser = true;
    QDialog::done(result);
}

} // namespace salvage::ui
