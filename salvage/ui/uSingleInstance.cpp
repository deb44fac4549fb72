#include "salvage/ui/uSingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace salvage::ui {
namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr qint64 kMaxMessageBytes = 64 * 1024;
const QByteArray kShow = QByteArrayLiteral("show");
const QByteArray kOpen = QByteArrayLiteral("open\t");

} // namespace

TSingleInstance::TSingleInstance(QString name, QString folder, QObject* parent) : QObject(parent)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(folder);
    socketPath_ = name;  // a named pipe
    lockPath_ = QDir::temp().filePath(name + QStringLiteral(".lock"));
#else
    // Per user: the runtime folder is the user's own.
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    socketPath_ = QDir(folder).filePath(name);
    lockPath_ = socketPath_ + QStringLiteral(".lock");
#endif
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::Claim(const QStringList& volumes)
{
    // Two starts at the same moment must not both find no instance.
    QLockFile lock(lockPath_);
    lock.setStaleLockTime(10000);
    lock.tryLock(3000);

    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        QByteArray message = kShow + '\n';
        for (const QString& volume : volumes)
            if (!volume.contains(QLatin1Char('\n')))
                message += kOpen + volume.toUtf8() + '\n';
        socket.write(message);
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(kConnectTimeoutMs);
        return false;
    }

    // Nobody answers: whatever is left at the path is stale.
    QLocalServer::removeServer(socketPath_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        qWarning("Another start of the program cannot be detected: %s", qPrintable(server_->errorString()));
        server_.reset();
        return true;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &TSingleInstance::Accept);
    return true;
}

void TSingleInstance::Release()
{
    if (server_)
        server_->close();
    server_.reset();
}

void TSingleInstance::Accept()
{
    while (QLocalSocket* client = server_ ? server_->nextPendingConnection() : nullptr) {
        client->setParent(this);
        auto buffer = std::make_shared<QByteArray>();
        connect(client, &QLocalSocket::readyRead, this, [client, buffer] {
            buffer->append(client->readAll());
            if (buffer->size() > kMaxMessageBytes)
                client->abort();
        });
        connect(client, &QLocalSocket::disconnected, this, [this, client, buffer] {
            buffer->append(client->readAll());
            client->deleteLater();
            const QList<QByteArray> lines = buffer->split('\n');
            if (lines.isEmpty() || lines.front() != kShow)
                return;  // not a start of this program
            QStringList volumes;
            for (const QByteArray& line : lines)
                if (line.startsWith(kOpen))
                    volumes << QString::fromUtf8(line.mid(kOpen.size()));
            emit showRequested(volumes);
        });
    }
}

} // namespace salvage::ui
