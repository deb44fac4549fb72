// The command line, the logon due test over the registry layer, and the
// wizard's settings (server address, proxy).
#include "kestrelupdate/StartMode.h"
#include "kestrelupdate/UpdateSettings.h"

#include "platform/Registry.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kestrelupdate;

namespace {

constexpr char kMakerKey[] = "Software\\Kestrel";
constexpr char kWizardKey[] = "Software\\Kestrel\\Update Wizard";

QDateTime At(int year, int month, int day, int hour = 10, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

QString StoredCheckDate()
{
    const auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, kWizardKey, platform::RegOpen::Read);
    if (!key)
        return {};
    const auto value = key->Read(kCheckDateValue);
    return value ? QString::fromStdString(value->text) : QString();
}

void StoreCheckDate(const std::string& text)
{
    auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, kWizardKey, platform::RegOpen::Create);
    QVERIFY(key && key->WriteString(kCheckDateValue, text));
}

} // namespace

class StartModeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        platform::SetRegistryFolder(dir_->path().toStdString());
        qunsetenv(kUpdateServerEnv);
    }

    void cleanup() { platform::SetRegistryFolder({}); }

    void switchesOnlyAlone()
    {
        QCOMPARE(ParseStartMode({}), StartMode::Normal);
        QCOMPARE(ParseStartMode({"-auto"}), StartMode::Auto);
        QCOMPARE(ParseStartMode({"-AUTO"}), StartMode::Auto);
        QCOMPARE(ParseStartMode({"-StartUp"}), StartMode::Startup);
        QCOMPARE(ParseStartMode({"-auto", "-auto"}), StartMode::Normal);
        QCOMPARE(ParseStartMode({"-startup", "x"}), StartMode::Normal);
        QCOMPARE(ParseStartMode({"auto"}), StartMode::Normal);
        QCOMPARE(ParseStartMode({"-autox"}), StartMode::Normal);
    }

    void logonCheckEveryFourteenDays()
    {
        // First logon: the date is stored, nothing shown.
        QVERIFY(!IsLogonCheckDue(kWizardKey, At(2026, 3, 1)));
        QCOMPARE(ParseCheckDate(StoredCheckDate()), At(2026, 3, 1));

        // Within 14 days: silent, the date stays.
        QVERIFY(!IsLogonCheckDue(kWizardKey, At(2026, 3, 8)));
        QVERIFY(!IsLogonCheckDue(kWizardKey, At(2026, 3, 15, 23, 59)));
        QCOMPARE(ParseCheckDate(StoredCheckDate()), At(2026, 3, 1));

        // The 15th day after: due, and the new date is stored.
        QVERIFY(IsLogonCheckDue(kWizardKey, At(2026, 3, 16, 9, 0)));
        QCOMPARE(ParseCheckDate(StoredCheckDate()), At(2026, 3, 16, 9, 0));
        QVERIFY(!IsLogonCheckDue(kWizardKey, At(2026, 3, 16, 12, 0)));
    }

    void daysAreCountedByCeilings()
    {
        // Stored late on the 1st (ceiling: the 2nd); midnight of the 16th has
        // ceiling the 16th: 14 days, not due; a minute later, 15.
        StoreCheckDate(FormatCheckDate(At(2026, 3, 1, 23, 59)).toStdString());
        QVERIFY(!IsLogonCheckDue(kWizardKey, At(2026, 3, 16, 0, 0)));
        QVERIFY(IsLogonCheckDue(kWizardKey, At(2026, 3, 16, 0, 1)));

        // Stored exactly at midnight, the day itself counts.
        StoreCheckDate(FormatCheckDate(At(2026, 3, 1, 0, 0)).toStdString());
        QVERIFY(IsLogonCheckDue(kWizardKey, At(2026, 3, 15, 0, 1)));
    }

    void unreadableOrFutureDatesRestartTheCount_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty") << QString();
        QTest::newRow("garbage") << QStringLiteral("next tuesday");
        QTest::newRow("impossible day") << QStringLiteral("2026-02-30T10:00:00");
        QTest::newRow("in the future") << QStringLiteral("2099-01-01T10:00:00");
    }

    void unreadableOrFutureDatesRestartTheCount()
    {
        QFETCH(QString, stored);
        StoreCheckDate(stored.toStdString());
        QVERIFY(!IsLogonCheckDue(kWizardKey, At(2026, 5, 1)));
        QCOMPARE(ParseCheckDate(StoredCheckDate()), At(2026, 5, 1));
    }

    void aDateOfAnotherTypeIsReplaced()
    {
        auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, kWizardKey, platform::RegOpen::Create);
        QVERIFY(key->WriteDword(kCheckDateValue, 5));
        QVERIFY(!IsLogonCheckDue(kWizardKey, At(2026, 5, 1)));
        QCOMPARE(ParseCheckDate(StoredCheckDate()), At(2026, 5, 1));
    }

    void serverAddress()
    {
        const QString fallback = QStringLiteral("https://maker.test/");
        QCOMPARE(ConfiguredUpdateServer(kMakerKey, fallback), fallback);
        {
            auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, kMakerKey, platform::RegOpen::Create);
            QVERIFY(key->WriteString(kUpdateServerValue, "https://mirror.test/kestrel-updates/"));
        }
        QCOMPARE(ConfiguredUpdateServer(kMakerKey, fallback), QStringLiteral("https://mirror.test/kestrel-updates/"));
        qputenv(kUpdateServerEnv, "http://127.0.0.1:8123");
        QCOMPARE(ConfiguredUpdateServer(kMakerKey, fallback), QStringLiteral("http://127.0.0.1:8123"));

        QCOMPARE(ServerUrl("https://mirror.test/kestrel-updates/", kVersionFilePath),
                 QUrl("https://mirror.test/kestrel-updates/versions/kestrel/version.zip"));
        QCOMPARE(ServerUrl("http://127.0.0.1:8123", kProductPagePath), QUrl("http://127.0.0.1:8123/kestrel"));
        QVERIFY(!ServerUrl("ftp://mirror.test", kVersionFilePath).isValid());
        QVERIFY(!ServerUrl("file:///etc", kVersionFilePath).isValid());
        QVERIFY(!ServerUrl("mirror.test", kVersionFilePath).isValid());
        QVERIFY(!ServerUrl("http://mirror.test/?q=", kVersionFilePath).isValid());
        QVERIFY(!ServerUrl("", kVersionFilePath).isValid());
    }

    void unusableProxySettingsFallBackToTheSystem()
    {
        // Nothing stored, or nothing usable: the system's proxy. (The
        // dialog's test stores and reads back good settings.)
        QCOMPARE(LoadProxySetting(kWizardKey), ProxySetting{});
        QVERIFY(SaveProxySetting(kWizardKey, {ProxyMode::Manual, QStringLiteral("proxy.lan"), 3128}));
        auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, kWizardKey, platform::RegOpen::Write);
        QVERIFY(key->WriteDword(kProxyModeValue, 7));
        QCOMPARE(LoadProxySetting(kWizardKey), ProxySetting{});
        QVERIFY(key->WriteDword(kProxyModeValue, 2));
        QVERIFY(key->WriteString(kProxyHostValue, ""));
        QCOMPARE(LoadProxySetting(kWizardKey), ProxySetting{});
        QVERIFY(key->WriteString(kProxyHostValue, "proxy.lan"));
        QVERIFY(key->WriteDword(kProxyPortValue, 70000));
        QCOMPARE(LoadProxySetting(kWizardKey), ProxySetting{});
    }
};

QTEST_GUILESS_MAIN(StartModeTest)
#include "StartModeTest.moc"
