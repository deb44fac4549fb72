// The restart with administrator rights: pkexec runs the program directly
// when the installed polkit policy names it (so the user reads the policy's
// words and the display is kept), and through env with the display
// variables otherwise.
#include "salvage/ui/uAdminRestart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace salvage::ui;

class AdminRestartTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString program_;

    QString policyFolder() const { return dir_.filePath(QStringLiteral("actions")); }

    // The installed policy, made from the packaging template for this path.
    void installPolicy(const QString& execPath) const
    {
        QFile in(QStringLiteral(KESTREL_POLICY_TEMPLATE));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QByteArray text = in.readAll();
        QVERIFY(text.contains("@KESTREL_SALVAGE_PATH@"));
        text.replace("@KESTREL_SALVAGE_PATH@", execPath.toUtf8());
        writePolicy(text);
    }

    void writePolicy(const QByteArray& text) const
    {
        QVERIFY(QDir().mkpath(policyFolder()));
        QFile out(QDir(policyFolder()).filePath(QLatin1String(kAdminPolicyFile)));
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
    }

    static QProcessEnvironment displayEnvironment()
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":1"));
        env.insert(QStringLiteral("XAUTHORITY"), QStringLiteral("/run/user/1000/.Xauthority"));
        env.insert(QStringLiteral("HOME"), QStringLiteral("/home/user"));
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral("/tmp/evil.so"));
        return env;
    }

    QStringList throughEnv() const
    {
        return {QStringLiteral("env"), QStringLiteral("DISPLAY=:1"),
                QStringLiteral("XAUTHORITY=/run/user/1000/.Xauthority"), program_, QStringLiteral("/dev/sdb1")};
    }

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        QDir(policyFolder()).removeRecursively();
        program_ = dir_.filePath(QStringLiteral("bin/salvage"));
        QVERIFY(QDir().mkpath(dir_.filePath(QStringLiteral("bin"))));
        QFile file(program_);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void installedPolicyRunsTheProgramDirectly()
    {
        installPolicy(program_);
        QVERIFY(PolicyNamesProgram(QDir(policyFolder()).filePath(QLatin1String(kAdminPolicyFile)), program_));
        QCOMPARE(AdminRestartArguments(program_, {QStringLiteral("/dev/sdb1")}, displayEnvironment(), policyFolder()),
                 QStringList({program_, QStringLiteral("/dev/sdb1")}));

        // The same program reached through a link (bin/ on a merged /usr).
        const QString link = dir_.filePath(QStringLiteral("usr-bin-salvage"));
        QVERIFY(QFile::link(program_, link));
        installPolicy(link);
        QCOMPARE(AdminRestartArguments(program_, {}, displayEnvironment(), policyFolder()), QStringList{program_});
    }

    void withoutAPolicyForTheProgramTheDisplayGoesThroughEnv()
    {
        // No policy at all.
        QCOMPARE(AdminRestartArguments(program_, {QStringLiteral("/dev/sdb1")}, displayEnvironment(), policyFolder()),
                 throughEnv());
        // A policy for the program installed elsewhere (another prefix).
        installPolicy(QStringLiteral("/usr/bin/salvage"));
        QCOMPARE(AdminRestartArguments(program_, {QStringLiteral("/dev/sdb1")}, displayEnvironment(), policyFolder()),
                 throughEnv());
        // Only the variables that are set are handed over.
        QProcessEnvironment bare;
        bare.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-0"));
        QCOMPARE(AdminRestartArguments(program_, {}, bare, policyFolder()),
                 QStringList({QStringLiteral("env"), QStringLiteral("WAYLAND_DISPLAY=wayland-0"), program_}));
    }

    void damagedOrMisleadingPoliciesNameNothing()
    {
        const QString path = program_;
        const QByteArray annotate =
            "<annotate key=\"org.freedesktop.policykit.exec.path\">" + path.toUtf8() + "</annotate>";
        // Cut off after the path: no policy polkit would load.
        writePolicy("<policyconfig><action id=\"a\">" + annotate + "<defaults><allow_active>auth_");
        QVERIFY(!PolicyNamesProgram(QDir(policyFolder()).filePath(QLatin1String(kAdminPolicyFile)), path));
        // The path in the words, or under another key.
        writePolicy("<policyconfig><action id=\"a\"><description>" + path.toUtf8() +
                    "</description><annotate key=\"org.freedesktop.policykit.exec.argv1\">" + path.toUtf8() +
                    "</annotate></action></policyconfig>");
        QVERIFY(!PolicyNamesProgram(QDir(policyFolder()).filePath(QLatin1String(kAdminPolicyFile)), path));
        // Not XML at all.
        writePolicy(QByteArray("\x00\xff\xfe garbage", 11));
        QCOMPARE(AdminRestartArguments(program_, {QStringLiteral("/dev/sdb1")}, displayEnvironment(), policyFolder()),
                 throughEnv());
        // A whole policy names it.
        writePolicy("<policyconfig><action id=\"a\">" + annotate + "</action></policyconfig>");
        QVERIFY(PolicyNamesProgram(QDir(policyFolder()).filePath(QLatin1String(kAdminPolicyFile)), path));
    }
};

QTEST_GUILESS_MAIN(AdminRestartTest)
#include "AdminRestartTest.moc"
