#pragma once
// One bounded HTTP GET of the version record into a file. Lives in the thread
// that runs it (it owns its network access manager): an HTTP error status, a
// server that stops answering, a redirect to anything but HTTP(S), or more
// bytes than a version record could need make it fail; what arrives is
// written atomically, so a failed download leaves no partial file.

#include "kestrelupdate/UpdateSettings.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QNetworkReply;

namespace kestrelupdate {

struct DownloadLimits {
    std::chrono::milliseconds idleTimeout{20000};   // no byte for this long: give up
    std::chrono::milliseconds totalTimeout{60000};  // the whole download, redirects included
    qint64 maxBytes = 64 * 1024;
    int maxRedirects = 5;
};

class VersionDownload : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VersionDownload)

public:
    VersionDownload(QUrl url, QString targetPath, const ProxySetting& proxy, DownloadLimits limits);
    ~VersionDownload() override;

    // Starts the download; finished() follows, perhaps before start returns.
    void start();

    [[nodiscard]] bool done() const { return done_; }
    [[nodiscard]] bool succeeded() const { return done_ && failure_.isEmpty(); }
    // Why it failed, for the user; empty after success.
    [[nodiscard]] const QString& failure() const { return failure_; }

signals:
    // total is -1 while the server has not said how much it sends.
    void progress(qint64 received, qint64 total);
    void finished();

private:
    void onMetaDataChanged();
    void onReadyRead();
    void onDownloadProgress(qint64 received, qint64 total);
    void get(const QUrl& url);
    // True when the answer was a redirect (followed, or refused as a failure).
    bool followRedirect(int status);
    void onReplyFinished();
    void fail(const QString& reason);
    void failTooLarge();
    void finish();
    [[nodiscard]] bool takeAvailable();

    QUrl url_;
    QString targetPath_;
    DownloadLimits limits_;
    QNetworkAccessManager manager_;
    QNetworkReply* reply_ = nullptr;  // the current request's, a child of manager_
    QTimer deadline_;
    QByteArray data_;
    QString failure_;
    int redirects_ = 0;
    bool done_ = false;
};

} // namespace kestrelupdate
