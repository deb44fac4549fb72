// One running copy: a second one gives way, a socket left by a crash does not
// keep the next start away.
#include "kestrelupdate/SingleInstance.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#if defined(Q_OS_UNIX)
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace kestrelupdate;

class SingleInstanceTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    const QString name_ = QString::fromUtf8(kInstanceName);

private slots:
    void secondCopyGivesWay()
    {
        auto first = std::make_unique<SingleInstance>(name_, dir_.path());
        QVERIFY(first->claim());
        SingleInstance second(name_, dir_.path());
        QVERIFY(!second.claim());
        // Other names (other programs) are not affected.
        SingleInstance other(QStringLiteral("another-program"), dir_.path());
        QVERIFY(other.claim());

        first.reset();
        SingleInstance third(name_, dir_.path());
        QVERIFY(third.claim());
    }

#if defined(Q_OS_UNIX)
    void socketLeftByACrashIsTakenOver()
    {
        // What a killed copy leaves: a socket file nobody listens on.
        const QByteArray path = QFile::encodeName(QDir(dir_.path()).filePath(name_));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(static_cast<size_t>(path.size()) < sizeof(address.sun_path));
        std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        QCOMPARE(::listen(fd, 1), 0);
        ::close(fd);
        QVERIFY(QFile::exists(QString::fromLocal8Bit(path)));

        SingleInstance next(name_, dir_.path());
        QVERIFY(next.claim());
        SingleInstance after(name_, dir_.path());
        QVERIFY(!after.claim());
    }
#endif
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
