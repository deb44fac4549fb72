#include "tests/update/TestHttpServer.h"

#include <QTcpSocket>

TestHttpServer::TestHttpServer(quint16 port)
{
    connect(&server_, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
    server_.listen(QHostAddress::LocalHost, port);
}

TestHttpServer::~TestHttpServer()
{
    for (QTcpSocket* socket : silent_)
        socket->abort();
}

QUrl TestHttpServer::base() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
}

QUrl TestHttpServer::closedBase()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("request").toByteArray() + socket->readAll();
    // Requests without a body; a connection stays open (keep-alive) after an
    // answer with Content-Length, as real servers do.
    qsizetype end;
    while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
        const QByteArray request = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
        const QByteArray path = requestLine.size() >= 2 ? requestLine[1] : QByteArray();
        ++hits_[path];
        const TestResponse response = routes_.value(path, TestResponse::Body(404, "not here"));
        if (!response.answer) {
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            silent_.push_back(socket);
            return;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Test\r\n";
        if (response.sendContentLength)
            head += "Content-Length: " +
                    QByteArray::number(response.claimedLength >= 0 ? response.claimedLength : response.body.size()) +
                    "\r\n";
        else
            head += "Connection: close\r\n";
        if (!response.location.isEmpty())
            head += "Location: " + response.location + "\r\n";
        socket->write(head + "\r\n" + response.body);
        if (!response.sendContentLength || response.claimedLength >= 0) {
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            socket->disconnectFromHost();
            return;
        }
    }
    socket->setProperty("request", buffer);
}
