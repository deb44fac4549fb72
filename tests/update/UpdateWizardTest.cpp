// The update wizard as a user meets it: the window and its texts, a check
// against a server on 127.0.0.1 with the messages answered through basekit's
// seam, the start modes with an injected clock, a second copy, the proxy
// dialog and help.
#include "basekit/DlgMainWnd.h"
#include "basekit/HoverButton2.h"
#include "basekit/MessageBox.h"
#include "basekit/Web.h"
#include "kestrelupdate/DlgProxySettings.h"
#include "kestrelupdate/DlgUpdateWizard.h"
#include "kestrelupdate/OleDate.h"
#include "kestrelupdate/SingleInstance.h"
#include "kestrelupdate/StartMode.h"
#include "kestrelupdate/UpdateApp.h"
#include "kestrelupdate/UpdateStrings.h"
#include "platform/Registry.h"
#include "tests/update/TestHttpServer.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace kestrelupdate;

namespace {

constexpr char kRecordPath[] = "/versions/kestrel/version.zip";

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

QByteArray Bytes(const VersionRecord& record)
{
    const auto bytes = SerializeVersionRecord(record);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

} // namespace

class UpdateWizardTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<TestHttpServer> server_;
    QList<CVMessage> messages_;
    CVAnswer answer_ = CVAnswer::No;
    QList<QUrl> opened_;
    const VersionRecord installed_{2, 0, 0, DateStatus::Valid, 46357.0};

    CheckSetup setup(const QString& base) const
    {
        CheckSetup s;
        s.serverBase = base;
        s.wizardKey = WizardKeyPath();
        s.targetPath = dir_->filePath("data/version_new.zip");
        s.installed = installed_;
        s.limits.idleTimeout = std::chrono::milliseconds(500);
        s.limits.totalTimeout = std::chrono::milliseconds(3000);
        return s;
    }

    WizardStart start(QStringList arguments, QDateTime now, bool* shown = nullptr) const
    {
        WizardStart s;
        s.arguments = std::move(arguments);
        s.now = [now] { return now; };
        s.programFolder = dir_->filePath("program");
        s.instanceFolder = dir_->path();
        s.runWindow = [shown](CDlgUpdateWizard&) {
            if (shown)
                *shown = true;
            return 0;
        };
        return s;
    }

    void useDirectConnection()
    {
        SaveProxySetting(WizardKeyPath(), {ProxyMode::None, {}, 8080});
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        platform::SetRegistryFolder(dir_->filePath("registry").toStdString());
        qputenv("XDG_DATA_HOME", dir_->filePath("data-home").toUtf8());
        qunsetenv("KESTREL_UPDATE_URL");
        qunsetenv("KESTREL_HELP_DIR");
        server_ = std::make_unique<TestHttpServer>();
        messages_.clear();
        opened_.clear();
        answer_ = CVAnswer::No;
        SetMessageBoxHook([this](const CVMessage& m) {
            messages_ << m;
            return m.buttons == CVButtons::YesNo ? answer_ : CVAnswer::Ok;
        });
        SetUrlOpener([this](const QUrl& url) {
            opened_ << url;
            return true;
        });
        CDlgMainWnd::m_DefaultTopic = Text(text::kHelpTopic);
        useDirectConnection();
    }

    void cleanup()
    {
        SetMessageBoxHook({});
        SetUrlOpener({});
        platform::SetRegistryFolder({});
        server_.reset();
    }

    void windowAndPageAsBuilt()
    {
        CDlgUpdateWizard window(setup(server_->base().toString()), false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), Text(text::kTitle));
        QCOMPARE(window.CaptionText(), Text(text::kCaption));
        QCOMPARE(window.size(), QSize(650, 500));
        QCOMPARE(window.minimumSize(), QSize(500, 350));
        QCOMPARE(window.CloseButton()->geometry(), QRect(625, 4, 18, 18));
        QCOMPARE(window.MinimiseButton()->geometry(), QRect(605, 4, 18, 18));
        QCOMPARE(window.CheckPage()->geometry(), QRect(180, 120, 463, 310));
        QCOMPARE(window.ProxyButton()->text(), Text(text::kProxySettings));
        QCOMPARE(window.ExitButton()->text(), Text(text::kExitWizard));
        QCOMPARE(window.HelpButton()->text(), Text(text::kHelp));
        QVERIFY(!window.ExitButton()->toolTip().isEmpty());
        QVERIFY(!window.ProxyButton()->toolTip().isEmpty());

        CDlgCheckUpdate* page = window.CheckPage();
        QCOMPARE(page->findChild<QLabel*>("description1019")->text(), Text(text::kDescription));
        QCOMPARE(page->VersionInfo()->text(),
                 Text(text::kLastUpdated) + FormatRecordDate(DateStatus::Valid, installed_.date));
        QVERIFY(page->ProgressBar()->isHidden());
        QCOMPARE(page->ProgressBar()->maximum(), 100);
        QVERIFY(page->CheckButton()->isDefault());
        QVERIFY(page->CheckButton()->isEnabled());
        // Every control lies inside the window, none on the side picture.
        for (QWidget* w : {static_cast<QWidget*>(window.ProxyButton()), static_cast<QWidget*>(window.HelpButton()),
                           static_cast<QWidget*>(window.ExitButton())}) {
            QVERIFY(window.rect().contains(w->geometry()));
            QVERIFY(w->geometry().top() > page->geometry().bottom());
        }

        // A smaller window keeps its buttons inside and above the grip.
        window.resize(500, 350);
        QVERIFY(window.rect().contains(window.ExitButton()->geometry()));
        QVERIFY(window.CheckPage()->geometry().bottom() < window.ExitButton()->geometry().top());
    }

    void checkReportsUpToDateAndStaysDisabled()
    {
        server_->serve(kRecordPath, TestResponse::Body(200, Bytes(installed_)));
        CDlgUpdateWizard window(setup(server_->base().toString()), false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CDlgCheckUpdate* page = window.CheckPage();
        QTest::mouseClick(page->CheckButton(), Qt::LeftButton);
        QVERIFY(!page->CheckButton()->isEnabled());
        QVERIFY(page->ProgressBar()->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 10000);
        QCOMPARE(messages_[0].text, Text(text::kUpToDate));
        QCOMPARE(messages_[0].icon, CVIcon::Information);
        QCOMPARE(page->ProgressBar()->value(), 100);
        QVERIFY(!page->CheckButton()->isEnabled());
        QTest::mouseClick(page->CheckButton(), Qt::LeftButton);
        QTest::qWait(100);
        QCOMPARE(server_->requests(kRecordPath), 1);  // one check per window
    }

    void newerReleaseOpensTheProductPageOnYes()
    {
        server_->serve(kRecordPath, TestResponse::Body(200, Bytes({2, 1, 0, DateStatus::Valid, 46400.0})));
        for (const CVAnswer answer : {CVAnswer::No, CVAnswer::Yes}) {
            answer_ = answer;
            messages_.clear();
            CDlgUpdateWizard window(setup(server_->base().toString() + "/"), false);
            window.show();
            window.CheckPage()->OnCheckUpdate();
            QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 10000);
            QCOMPARE(messages_[0].text, Text(text::kUpdateAvailable));
            QCOMPARE(messages_[0].icon, CVIcon::Question);
            QCOMPARE(messages_[0].buttons, CVButtons::YesNo);
        }
        QCOMPARE(opened_, QList<QUrl>{QUrl(server_->base().toString() + "/kestrel")});
    }

    void failuresSayWhy()
    {
        server_->serve(kRecordPath, TestResponse::Body(404, "no"));
        CDlgUpdateWizard window(setup(server_->base().toString()), false);
        window.show();
        window.CheckPage()->OnCheckUpdate();
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 10000);
        QVERIFY(messages_[0].text.startsWith(Text(text::kServerFailed)));
        QVERIFY(messages_[0].text.contains(QStringLiteral("404")));
        QCOMPARE(messages_[0].icon, CVIcon::None);

        // An address that is not HTTP never reaches the network.
        messages_.clear();
        CDlgUpdateWizard bad(setup(QStringLiteral("file:///etc")), false);
        bad.show();
        bad.CheckPage()->OnCheckUpdate();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].text.startsWith(Text(text::kServerFailed)));
        QVERIFY(messages_[0].text.contains(QStringLiteral("file:///etc")));
        QVERIFY(!bad.CheckPage()->CheckButton()->isEnabled());
    }

    void closingDuringACheckDoesNotWait()
    {
        server_->serve(kRecordPath, TestResponse::Silent());
        CheckSetup s = setup(server_->base().toString());
        s.limits.idleTimeout = std::chrono::milliseconds(60000);
        s.limits.totalTimeout = std::chrono::milliseconds(60000);
        QElapsedTimer clock;
        clock.start();
        {
            CDlgUpdateWizard window(std::move(s), false);
            window.show();
            window.CheckPage()->OnCheckUpdate();
            QTest::qWait(200);
            QTest::mouseClick(window.ExitButton(), Qt::LeftButton);
            QVERIFY(!window.isVisible());
        }
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(messages_.isEmpty());
    }

    void autoChecksWithoutAClick()
    {
        server_->serve(kRecordPath, TestResponse::Body(200, Bytes(installed_)));
        qputenv("KESTREL_UPDATE_URL", server_->base().toEncoded());
        for (const QStringList& arguments : {QStringList{"-AUTO"}, QStringList{"-auto", "-auto"}}) {
            messages_.clear();
            bool autoChecked = false;
            WizardStart s = start(arguments, QDateTime::currentDateTime());
            s.runWindow = [&](CDlgUpdateWizard& window) {
                window.show();
                QTest::qWait(50);
                autoChecked = !window.CheckPage()->CheckButton()->isEnabled();
                if (autoChecked)
                    (void)QTest::qWaitFor([&] { return !messages_.isEmpty(); }, 10000);
                return 0;
            };
            QCOMPARE(RunUpdateWizard(s), 0);
            QCOMPARE(autoChecked, arguments.size() == 1);  // two arguments: no switch at all
            QCOMPARE(messages_.size(), arguments.size() == 1 ? 1 : 0);
        }
        QCOMPARE(messages_.size(), 0);
        QCOMPARE(server_->requests(kRecordPath), 1);
    }

    void startupShowsTheWindowEveryFifteenDays()
    {
        const QDateTime first(QDate(2026, 3, 1), QTime(10, 0));
        bool shown = false;
        QCOMPARE(RunUpdateWizard(start({"-startup"}, first, &shown)), 0);
        QVERIFY(!shown);
        QCOMPARE(RunUpdateWizard(start({"-Startup"}, first.addDays(14), &shown)), 0);
        QVERIFY(!shown);
        QCOMPARE(RunUpdateWizard(start({"-startup"}, first.addDays(15), &shown)), 0);
        QVERIFY(shown);
        const auto key = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, WizardKeyPath(),
                                                   platform::RegOpen::Read);
        QCOMPARE(ParseCheckDate(QString::fromStdString(key->Read(kCheckDateValue)->text)), first.addDays(15));

        // A normal start neither looks at nor changes the date.
        shown = false;
        QCOMPARE(RunUpdateWizard(start({}, first.addDays(16), &shown)), 0);
        QVERIFY(shown);
        QCOMPARE(ParseCheckDate(QString::fromStdString(key->Read(kCheckDateValue)->text)), first.addDays(15));
        QVERIFY(messages_.isEmpty());
    }

    void installedRecordComesFromBesideTheProgram()
    {
        QVERIFY(QDir().mkpath(dir_->filePath("program")));
        const QDateTime now(QDate(2026, 5, 1), QTime(8, 0));
        VersionRecord missing = LoadInstalledRecord(dir_->filePath("program"), now);
        QVERIFY(Equal(missing, {0, 0, 0, DateStatus::Valid, ToOleDate(now)}));

        QVERIFY(SaveVersionFile(dir_->filePath("program/version.zip").toStdString(), installed_));
        QString shown;
        WizardStart s = start({}, now);
        s.runWindow = [&](CDlgUpdateWizard& window) {
            window.show();
            shown = window.CheckPage()->VersionInfo()->text();
            return 0;
        };
        RunUpdateWizard(s);
        QCOMPARE(shown, Text(text::kLastUpdated) + FormatRecordDate(DateStatus::Valid, installed_.date));
    }

    void secondCopySaysAlreadyRunning()
    {
        SingleInstance first(QString::fromUtf8(kInstanceName), dir_->path());
        QVERIFY(first.claim());
        bool shown = false;
        QCOMPARE(RunUpdateWizard(start({"-auto"}, QDateTime::currentDateTime(), &shown)), 0);
        QVERIFY(!shown);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].text, Text(text::kAlreadyRunning));
        QCOMPARE(messages_[0].icon, CVIcon::Warning);
    }

    void proxyDialogStoresTheChoice()
    {
        const std::string key = WizardKeyPath();
        {
            CDlgProxySettings dialog(key);
            QVERIFY(dialog.NoneButton()->isChecked());  // as stored by init()
            QVERIFY(!dialog.HostEdit()->isEnabled());
            dialog.ManualButton()->click();
            QVERIFY(dialog.HostEdit()->isEnabled());
            dialog.accept();  // no host yet
            QCOMPARE(messages_.size(), 1);
            QCOMPARE(messages_[0].text, Text(text::kProxyNeedsHost));
            QCOMPARE(dialog.result(), 0);
            dialog.HostEdit()->setText(QStringLiteral("proxy lan/x"));
            dialog.accept();
            QCOMPARE(messages_.size(), 2);
            QCOMPARE(LoadProxySetting(key).mode, ProxyMode::None);
            dialog.HostEdit()->setText(QStringLiteral(" proxy.lan "));
            dialog.PortBox()->setValue(3128);
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(LoadProxySetting(key), (ProxySetting{ProxyMode::Manual, QStringLiteral("proxy.lan"), 3128}));
        {
            CDlgProxySettings dialog(key);
            QVERIFY(dialog.ManualButton()->isChecked());
            QCOMPARE(dialog.HostEdit()->text(), QStringLiteral("proxy.lan"));
            dialog.SystemButton()->click();
            dialog.reject();  // Cancel keeps what was stored
        }
        QCOMPARE(LoadProxySetting(key).mode, ProxyMode::Manual);
    }

    void checkGoesThroughTheChosenProxy()
    {
        // The proxy is a second test server; the update server's name does
        // not resolve, so only the proxy can have answered.
        TestHttpServer proxy;
        proxy.serve("http://updates.invalid/versions/kestrel/version.zip",
                    TestResponse::Body(200, Bytes({3, 0, 0, DateStatus::Valid, 46500.0})));
        SaveProxySetting(WizardKeyPath(), {ProxyMode::Manual, QStringLiteral("127.0.0.1"),
                                           static_cast<std::uint16_t>(proxy.base().port())});
        answer_ = CVAnswer::No;
        CDlgUpdateWizard window(setup(QStringLiteral("http://updates.invalid")), false);
        window.show();
        window.CheckPage()->OnCheckUpdate();
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 10000);
        QCOMPARE(messages_[0].text, Text(text::kUpdateAvailable));
    }

    void helpOpensTheWizardsPage()
    {
        QTemporaryDir help;
        QFile page(help.filePath("update.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html></html>");
        page.close();
        qputenv("KESTREL_HELP_DIR", help.path().toUtf8());
        CDlgUpdateWizard window(setup(server_->base().toString()), false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.HelpButton(), Qt::LeftButton);
        QTest::keyClick(&window, Qt::Key_F1);
        const QUrl expected = QUrl::fromLocalFile(QDir(help.path()).filePath("update.html"));
        QCOMPARE(opened_, (QList<QUrl>{expected, expected}));
        QVERIFY(messages_.isEmpty());
    }

    void draggedByAnyFreeSpot()
    {
        CDlgUpdateWizard window(setup(server_->base().toString()), false);
        window.move(40, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint start = window.pos();
        const QPoint at(90, 450);  // below the side picture, left of the buttons
        QCOMPARE(window.childAt(at), nullptr);
        QTest::mousePress(&window, Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(25, 15)), window.mapToGlobal(QPointF(at + QPoint(25, 15))),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QTest::mouseRelease(&window, Qt::LeftButton, {}, at + QPoint(25, 15));
        QCOMPARE(window.pos(), start + QPoint(25, 15));
    }
};

QTEST_MAIN(UpdateWizardTest)
#include "UpdateWizardTest.moc"
