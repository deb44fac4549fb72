#include "kestrelupdate/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace kestrelupdate {
namespace {

constexpr int kAnswerWaitMs = 1000;
constexpr int kLockWaitMs = 5000;

QString DefaultFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

bool SomeoneAnswers(const QString& serverName)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    return socket.waitForConnected(kAnswerWaitMs);
}

} // namespace

SingleInstance::SingleInstance(const QString& name, const QString& folder)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(folder);
    serverName_ = name;
    lockPath_ = QDir(QDir::tempPath()).filePath(QString(name).replace(u'\\', u'_') + QStringLiteral(".lock"));
#else
    // A full path keeps copies of different users apart and the socket
    // out of the shared temporary folder.
    const QDir dir(folder.isEmpty() ? DefaultFolder() : folder);
    serverName_ = dir.filePath(name);
    lockPath_ = serverName_ + QStringLiteral(".lock");
#endif
    // No socket options: with them Qt renames its socket over an existing
    // one instead of failing, and a second copy would never notice the first.
    // A later copy only looks whether someone answers; nothing is said.
    QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            socket->abort();
            delete socket;
        }
    });
}

bool SingleInstance::claim()
{
    if (server_.isListening())
        return true;
    // Two copies started at once must not both take a stale socket over.
    QLockFile lock(lockPath_);
    lock.setStaleLockTime(0);
    if (!lock.tryLock(kLockWaitMs))
        return false;
    if (server_.listen(serverName_))
        return true;
    if (server_.serverError() != QAbstractSocket::AddressInUseError)
        return true;  // no lock to be had here: better a second copy than none
    if (SomeoneAnswers(serverName_))
        return false;
    // Left behind by a copy that ended without cleaning up.
    QLocalServer::removeServer(serverName_);
    server_.listen(serverName_);
    return true;
}

} // namespace kestrelupdate
