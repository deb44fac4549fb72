// The update check against a server on 127.0.0.1 started by the test: the
// decision over real downloads, and every way the download can go wrong.
#include "kestrelupdate/UpdateCheck.h"
#include "kestrelupdate/UpdateStrings.h"
#include "tests/update/CheckRun.h"
#include "tests/update/TestHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrelupdate;

Q_DECLARE_METATYPE(kestrelupdate::VersionRecord)
Q_DECLARE_METATYPE(kestrelupdate::CheckOutcome)

namespace {

constexpr char kPath[] = "/versions/kestrel/version.zip";

QByteArray Bytes(const VersionRecord& record)
{
    const auto bytes = SerializeVersionRecord(record);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class UpdateCheckTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    TestHttpServer server_;
    const VersionRecord installed_{2, 5, 3, DateStatus::Valid, 45000.5};

    CheckRequest request(const QUrl& base) const
    {
        CheckRequest r;
        r.versionUrl = ServerUrl(base.toString(), kPath);
        r.targetPath = dir_.filePath("data/version_new.zip");
        r.installed = installed_;
        r.proxy.mode = ProxyMode::None;
        r.limits.idleTimeout = std::chrono::milliseconds(400);
        r.limits.totalTimeout = std::chrono::milliseconds(3000);
        return r;
    }

    CheckResult check(const CheckRequest& r)
    {
        CheckRun run(r);
        if (!run.wait())
            return {CheckOutcome::Failed, QStringLiteral("no result")};
        return *run.result;
    }

    void expectFailure(const TestResponse& response, const char* detail)
    {
        server_.serve(kPath, response);
        const CheckResult result = check(request(server_.base()));
        QCOMPARE(result.outcome, CheckOutcome::Failed);
        QVERIFY2(result.detail.startsWith(QString::fromUtf8(detail).section(u'%', 0, 0)), qPrintable(result.detail));
        QVERIFY(!QFile::exists(dir_.filePath("data/version_new.zip")));
    }

private slots:
    void decisionOverTheWire_data()
    {
        QTest::addColumn<VersionRecord>("served");
        QTest::addColumn<VersionRecord>("installed");
        QTest::addColumn<CheckOutcome>("outcome");
        const VersionRecord installed = installed_;
        QTest::newRow("byte-identical") << installed << installed << CheckOutcome::UpToDate;
        QTest::newRow("lower first, higher second")
            << VersionRecord{1, 6, 3, DateStatus::Valid, 45000.5} << installed << CheckOutcome::UpdateAvailable;
        QTest::newRow("all lower, earlier day")
            << VersionRecord{1, 4, 2, DateStatus::Valid, 44990.0} << installed << CheckOutcome::UpToDate;
        QTest::newRow("all lower, same day")
            << VersionRecord{1, 4, 2, DateStatus::Valid, 45000.2} << installed << CheckOutcome::UpdateAvailable;
        QTest::newRow("same numbers, other date")
            << VersionRecord{2, 5, 3, DateStatus::Valid, 45001.5} << installed << CheckOutcome::UpdateAvailable;
        QTest::newRow("no installed file")
            << installed << VersionRecord{0, 0, 0, DateStatus::Valid, 46000.75} << CheckOutcome::UpdateAvailable;
    }

    void decisionOverTheWire()
    {
        QFETCH(VersionRecord, served);
        QFETCH(VersionRecord, installed);
        QFETCH(CheckOutcome, outcome);
        server_.serve(kPath, TestResponse::Body(200, Bytes(served)));
        CheckRequest r = request(server_.base());
        r.installed = installed;
        CheckRun run(r);
        QVERIFY(run.wait());
        QCOMPARE(run.result->outcome, outcome);
        QCOMPARE(ReadAll(r.targetPath), Bytes(served));
        QVERIFY(!run.progress.empty());
        QCOMPARE(run.progress.back(), 100);
    }

    void truncatedRecordCountsAsNoUpdate()
    {
        server_.serve(kPath, TestResponse::Body(200, Bytes(installed_).left(23)));
        QCOMPARE(check(request(server_.base())).outcome, CheckOutcome::UpToDate);
    }

    void unknownLengthKeepsTheBarAtZero()
    {
        TestResponse response = TestResponse::Body(200, Bytes({3, 0, 0, DateStatus::Valid, 45100.0}));
        response.sendContentLength = false;
        server_.serve(kPath, response);
        CheckRun run(request(server_.base()));
        QVERIFY(run.wait());
        QCOMPARE(run.result->outcome, CheckOutcome::UpdateAvailable);
        for (int percent : run.progress)
            QCOMPARE(percent, 0);
    }

    void serverDown()
    {
        const CheckResult result = check(request(TestHttpServer::closedBase()));
        QCOMPARE(result.outcome, CheckOutcome::Failed);
        QVERIFY(!result.detail.isEmpty());
    }

    void httpErrorsAreFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("404") << 404;
        QTest::newRow("500") << 500;
        QTest::newRow("204") << 204;
    }

    void httpErrorsAreFailures()
    {
        QFETCH(int, status);
        // A server's error page must not be read as a record.
        expectFailure(TestResponse::Body(status, Bytes(installed_) + "<html>error</html>"), text::kHttpStatus);
    }

    void serverThatNeverAnswersGivesUpWithinTheBound()
    {
        QElapsedTimer clock;
        clock.start();
        expectFailure(TestResponse::Silent(), text::kNoAnswer);
        QVERIFY2(clock.elapsed() < 12000, "the check hung");
    }

    void oversizedAnswersAreRefused()
    {
        TestResponse claimed = TestResponse::Body(200, Bytes(installed_));
        claimed.claimedLength = 100000;  // refused on the header alone
        expectFailure(claimed, text::kTooLarge);

        TestResponse endless = TestResponse::Body(200, QByteArray(70 * 1024, 'x'));
        endless.sendContentLength = false;
        expectFailure(endless, text::kTooLarge);
    }

    void redirectsOnlyToHttp()
    {
        const QByteArray moved = "/moved/version.zip";
        server_.serve(moved, TestResponse::Body(200, Bytes({9, 9, 9, DateStatus::Valid, 45500.0})));
        server_.serve(kPath, TestResponse::Redirect(302, server_.base().toEncoded() + moved));
        QCOMPARE(check(request(server_.base())).outcome, CheckOutcome::UpdateAvailable);
        QCOMPARE(server_.requests(moved), 1);

        // A relative Location is resolved against the request.
        server_.serve(kPath, TestResponse::Redirect(301, moved));
        QCOMPARE(check(request(server_.base())).outcome, CheckOutcome::UpdateAvailable);

        // Refused by the network layer itself or by the check: either way a failure.
        for (const char* target : {"file:///etc/passwd", "ftp://127.0.0.1/version.zip", "data:,hello"}) {
            server_.serve(kPath, TestResponse::Redirect(302, target));
            QCOMPARE(check(request(server_.base())).outcome, CheckOutcome::Failed);
        }
    }

    void redirectLoopEnds()
    {
        server_.serve(kPath, TestResponse::Redirect(302, "/loop"));
        server_.serve("/loop", TestResponse::Redirect(302, kPath));
        const int before = server_.requests(kPath) + server_.requests("/loop");
        const CheckResult result = check(request(server_.base()));
        QCOMPARE(result.outcome, CheckOutcome::Failed);
        QCOMPARE(result.detail, QString::fromUtf8(text::kTooManyRedirects));
        QCOMPARE(server_.requests(kPath) + server_.requests("/loop") - before, 1 + 5);  // the request and five redirects
    }

    void anEarlierDownloadIsRemovedFirst()
    {
        QVERIFY(QDir().mkpath(dir_.filePath("data")));
        QFile old(dir_.filePath("data/version_new.zip"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(Bytes({9, 9, 9, DateStatus::Valid, 45500.0}));
        old.close();
        expectFailure(TestResponse::Body(500, {}), text::kHttpStatus);
    }

    void badServerAddress()
    {
        CheckRequest r = request(server_.base());
        r.versionUrl = ServerUrl(QStringLiteral("ftp://127.0.0.1"), kPath);
        QVERIFY(!r.versionUrl.isValid());
        const CheckResult result = check(r);
        QCOMPARE(result.outcome, CheckOutcome::Failed);
    }

    void abandonedCheckEndsCleanly()
    {
        server_.serve(kPath, TestResponse::Silent());
        CheckRequest r = request(server_.base());
        r.limits.idleTimeout = std::chrono::milliseconds(60000);
        r.limits.totalTimeout = std::chrono::milliseconds(60000);
        QElapsedTimer clock;
        clock.start();
        {
            CheckRun run(r);
            QTest::qWait(200);
        }  // the window closes while the download waits
        QVERIFY(clock.elapsed() < 10000);
    }

    void progressPercent()
    {
        QCOMPARE(ProgressPercent(10, -1), 0);
        QCOMPARE(ProgressPercent(10, 0), 0);
        QCOMPARE(ProgressPercent(12, 24), 50);
        QCOMPARE(ProgressPercent(24, 24), 100);
        QCOMPARE(ProgressPercent(qint64{1} << 40, qint64{1} << 41), 50);  // no 32-bit overflow
    }
};

QTEST_GUILESS_MAIN(UpdateCheckTest)
#include "UpdateCheckTest.moc"
