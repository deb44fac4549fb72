// A version-record server on 127.0.0.1 for screenshots and trying the wizard
// by hand: serves FILE at /versions/kestrel/version.zip and a small page at
// /kestrel, prints the base address and runs until killed.
//   kestrelupdate_testserver FILE [PORT]
#include "tests/update/TestHttpServer.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: kestrelupdate_testserver FILE [PORT]\n");
        return 2;
    }
    QFile file(args[1]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kestrelupdate_testserver: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    TestHttpServer server(args.size() == 3 ? static_cast<quint16>(args[2].toUInt()) : quint16{0});
    server.serve("/versions/kestrel/version.zip", TestResponse::Body(200, file.readAll()));
    server.serve("/kestrel", TestResponse::Body(200, "<html><body>Kestrel</body></html>"));
    std::printf("%s\n", server.base().toEncoded().constData());
    std::fflush(stdout);
    return app.exec();
}
