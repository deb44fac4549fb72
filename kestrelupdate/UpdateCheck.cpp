#include "kestrelupdate/UpdateCheck.h"

#include <QFile>

#include <algorithm>

namespace kestrelupdate {

int ProgressPercent(qint64 received, qint64 total)
{
    if (total <= 0 || received <= 0)
        return 0;
    return static_cast<int>(std::min<qint64>(100, received * 100 / total));
}

CheckOutcome CompareDownloaded(const QString& downloadedPath, const VersionRecord& installed)
{
    VersionRecord downloaded;
    if (!LoadVersionFile(QFile::encodeName(downloadedPath).toStdString(), downloaded))
        return CheckOutcome::UpToDate;
    return IsNewer(downloaded, installed) ? CheckOutcome::UpdateAvailable : CheckOutcome::UpToDate;
}

UpdateCheck::UpdateCheck(CheckRequest request, QObject* parent) : QThread(parent), request_(std::move(request))
{
    qRegisterMetaType<CheckResult>();
}

UpdateCheck::~UpdateCheck()
{
    requestInterruption();
    quit();
    wait();
}

void UpdateCheck::run()
{
    // A record left by an earlier check must not pass for this one's.
    QFile::remove(request_.targetPath);

    VersionDownload download(request_.versionUrl, request_.targetPath, request_.proxy, request_.limits);
    connect(&download, &VersionDownload::progress, this,
            [this](qint64 received, qint64 total) { emit progressChanged(ProgressPercent(received, total)); },
            Qt::DirectConnection);
    connect(&download, &VersionDownload::finished, this, &QThread::quit, Qt::DirectConnection);
    download.start();
    if (!download.done())
        exec();
    if (isInterruptionRequested() || !download.done())
        return;

    if (!download.succeeded()) {
        emit checked({CheckOutcome::Failed, download.failure()});
        return;
    }
    emit checked({CompareDownloaded(request_.targetPath, request_.installed), {}});
}

} // namespace kestrelupdate
