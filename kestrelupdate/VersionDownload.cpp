#include "kestrelupdate/VersionDownload.h"

#include "kestrelupdate/UpdateStrings.h"
#include "kestrelupdate/VersionRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

namespace kestrelupdate {
namespace {

// The desktop's settings for this manager alone (the application-wide
// factory stays as it is).
class SystemProxyFactory : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return systemProxyForQuery(query);
    }
};

void ApplyProxy(QNetworkAccessManager& manager, const ProxySetting& proxy)
{
    switch (proxy.mode) {
    case ProxyMode::System:
        manager.setProxyFactory(new SystemProxyFactory);  // the manager owns it
        break;
    case ProxyMode::None:
        manager.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        break;
    case ProxyMode::Manual:
        manager.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, proxy.host, proxy.port));
        break;
    }
}

bool IsHttpScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https";
}

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

VersionDownload::VersionDownload(QUrl url, QString targetPath, const ProxySetting& proxy, DownloadLimits limits)
    : url_(std::move(url)), targetPath_(std::move(targetPath)), limits_(limits)
{
    ApplyProxy(manager_, proxy);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { fail(Text(text::kNoAnswer)); });
}

VersionDownload::~VersionDownload()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void VersionDownload::start()
{
    if (!url_.isValid() || !IsHttpScheme(url_)) {
        fail(Text(text::kBadServerAddress).arg(url_.toString()));
        return;
    }
    deadline_.start(limits_.totalTimeout);
    get(url_);
}

void VersionDownload::get(const QUrl& url)
{
    QNetworkRequest request(url);
    // Redirects are followed here, one checked step at a time.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(limits_.idleTimeout.count()));
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Kestrel Update Wizard"));
    // 24 bytes need no compression, and the size bound then holds for what
    // the server sends, not for what a small packed answer unpacks to.
    request.setRawHeader("Accept-Encoding", "identity");

    data_.clear();
    reply_ = manager_.get(request);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &VersionDownload::onMetaDataChanged);
    connect(reply_, &QNetworkReply::readyRead, this, &VersionDownload::onReadyRead);
    connect(reply_, &QNetworkReply::downloadProgress, this, &VersionDownload::onDownloadProgress);
    connect(reply_, &QNetworkReply::finished, this, &VersionDownload::onReplyFinished);
}

void VersionDownload::onMetaDataChanged()
{
    // Only the answer that carries the record counts, not a redirect's.
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return;
    bool known = false;
    const qint64 length = reply_->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && length > limits_.maxBytes)
        failTooLarge();
}

void VersionDownload::onDownloadProgress(qint64 received, qint64 total)
{
    // The network layer makes up a total when the transfer ends; a server
    // that never said how much it sends keeps the bar at zero.
    const bool announced = reply_->header(QNetworkRequest::ContentLengthHeader).isValid();
    emit progress(received, announced ? total : -1);
}

void VersionDownload::onReadyRead()
{
    if (!takeAvailable())
        failTooLarge();
}

bool VersionDownload::takeAvailable()
{
    // Never more than one byte past the bound is kept.
    data_ += reply_->read(limits_.maxBytes + 1 - data_.size());
    return data_.size() <= limits_.maxBytes;
}

bool VersionDownload::followRedirect(int status)
{
    const QUrl location = reply_->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (status < 300 || status > 399 || location.isEmpty())
        return false;
    if (++redirects_ > limits_.maxRedirects) {
        fail(Text(text::kTooManyRedirects));
        return true;
    }
    const QUrl from = reply_->url();
    const QUrl target = from.resolved(location);
    const bool downgrade = from.scheme().compare(u"https", Qt::CaseInsensitive) == 0 &&
                           target.scheme().compare(u"http", Qt::CaseInsensitive) == 0;
    if (!target.isValid() || !IsHttpScheme(target) || target.host().isEmpty() || downgrade) {
        fail(Text(text::kBadRedirect).arg(target.toString()));
        return true;
    }
    // The finished reply cannot be deleted inside its own signal.
    reply_->disconnect(this);
    reply_->deleteLater();
    get(target);
    return true;
}

void VersionDownload::onReplyFinished()
{
    if (done_)
        return;
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) {
        fail(Text(text::kHttpStatus).arg(status));
        return;
    }
    if (reply_->error() == QNetworkReply::NoError && followRedirect(status))
        return;
    if (reply_->error() != QNetworkReply::NoError) {
        // The idle timeout ends the transfer as "cancelled".
        fail(reply_->error() == QNetworkReply::OperationCanceledError ? Text(text::kNoAnswer) : reply_->errorString());
        return;
    }
    if (status != 200) {
        fail(Text(text::kHttpStatus).arg(status));
        return;
    }
    if (!takeAvailable()) {
        failTooLarge();
        return;
    }
    QDir().mkpath(QFileInfo(targetPath_).absolutePath());
    QSaveFile file(targetPath_);
    if (!file.open(QIODevice::WriteOnly) || file.write(data_) != data_.size() || !file.commit()) {
        fail(Text(text::kCannotSave).arg(QDir::toNativeSeparators(targetPath_), file.errorString()));
        return;
    }
    finish();
}

void VersionDownload::failTooLarge()
{
    fail(Text(text::kTooLarge).arg(limits_.maxBytes).arg(kVersionRecordSize));
}

void VersionDownload::fail(const QString& reason)
{
    if (done_)
        return;
    failure_ = reason;
    if (reply_) {
        // Not inside the reply's own signal: the network layer is not ready
        // for that. The destructor aborts it if the loop ends first.
        reply_->disconnect(this);
        QMetaObject::invokeMethod(reply_, &QNetworkReply::abort, Qt::QueuedConnection);
    }
    finish();
}

void VersionDownload::finish()
{
    done_ = true;
    deadline_.stop();
    emit finished();
}

} // namespace kestrelupdate
