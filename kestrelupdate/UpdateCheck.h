#pragma once
// The update check: downloads the current version record on a thread of its
// own, compares it with the installed record and reports the outcome to the
// thread that made it. One object, one check.

#include "kestrelupdate/UpdateSettings.h"
#include "kestrelupdate/VersionDownload.h"
#include "kestrelupdate/VersionRecord.h"

#include <QMetaType>
#include <QString>
#include <QThread>
#include <QUrl>

namespace kestrelupdate {

enum class CheckOutcome {
    Failed,           // nothing usable came from the server
    UpToDate,         // the downloaded record is not newer (or unreadable)
    UpdateAvailable,
};

struct CheckResult {
    CheckOutcome outcome = CheckOutcome::Failed;
    QString detail;  // why it failed
};

struct CheckRequest {
    QUrl versionUrl;     // the server's "/versions/kestrel/version.zip"
    QString targetPath;  // where the download goes ("version_new.zip")
    VersionRecord installed;
    ProxySetting proxy;
    DownloadLimits limits;
};

// The bar's position: 0 while the total is unknown, else the share received.
[[nodiscard]] int ProgressPercent(qint64 received, qint64 total);

// The outcome for a downloaded file that arrived: "up to date" when it cannot
// be read as a record, else by the record rules.
[[nodiscard]] CheckOutcome CompareDownloaded(const QString& downloadedPath, const VersionRecord& installed);

class UpdateCheck : public QThread {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpdateCheck)

public:
    explicit UpdateCheck(CheckRequest request, QObject* parent = nullptr);
    // A check still running is abandoned (its download aborted) and waited for.
    ~UpdateCheck() override;

signals:
    void progressChanged(int percent);
    // Once, unless the check was abandoned.
    void checked(const kestrelupdate::CheckResult& result);

protected:
    void run() override;

private:
    const CheckRequest request_;
};

} // namespace kestrelupdate

Q_DECLARE_METATYPE(kestrelupdate::CheckResult)
