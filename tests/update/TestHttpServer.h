#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 inside the test process: each path
// answers as it was told (a status, a body, with or without Content-Length,
// a redirect, or no answer at all).

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <vector>

class QTcpSocket;

struct TestResponse {
    int status = 200;
    QByteArray body;
    bool sendContentLength = true;
    bool answer = true;        // false: read the request and keep silent
    QByteArray location;       // sent as Location: when not empty
    qint64 claimedLength = -1; // a Content-Length other than the body's

    static TestResponse Body(int status, QByteArray body)
    {
        TestResponse r;
        r.status = status;
        r.body = std::move(body);
        return r;
    }
    static TestResponse Redirect(int status, QByteArray location)
    {
        TestResponse r;
        r.status = status;
        r.location = std::move(location);
        return r;
    }
    static TestResponse Silent()
    {
        TestResponse r;
        r.answer = false;
        return r;
    }
};

class TestHttpServer : public QObject {
    Q_OBJECT

public:
    explicit TestHttpServer(quint16 port = 0);  // 0: any free port
    ~TestHttpServer() override;

    void serve(const QByteArray& path, const TestResponse& response) { routes_[path] = response; }
    [[nodiscard]] QUrl base() const;           // http://127.0.0.1:port
    [[nodiscard]] int requests(const QByteArray& path) const { return hits_.value(path); }

    // A base address on which nothing listens.
    [[nodiscard]] static QUrl closedBase();

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);

    QTcpServer server_;
    QHash<QByteArray, TestResponse> routes_;
    QHash<QByteArray, int> hits_;
    std::vector<QTcpSocket*> silent_;  // kept open until the server goes
};
