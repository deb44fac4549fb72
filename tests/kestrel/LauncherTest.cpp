// The launcher as a user drives it: categories, starting tools, installing
// a missing one, the program manager's install and remove, the Help menu.
// Every folder is a temporary one whose path holds spaces; the tools are a
// stand-in program that notes each start in a log.
#include "basekit/DlgVireoAbout.h"
#include "basekit/HoverButton2.h"
#include "basekit/MessageBox.h"
#include "kestrel/DlgAboutKestrel.h"
#include "kestrel/DlgKestrel.h"
#include "kestrel/DlgSelectiveInstall.h"
#include "kestrel/Strings.h"
#include "kestrel/VersionRecord.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

namespace {

const QString kQuestion = QStringLiteral("The component you selected has not been installed, install it now?");
const QString kFailed = QStringLiteral("Installation failed...\nProgram doesn\u2019t exist at the current location!");

} // namespace

class LauncherTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> root_;
    CSuiteFolders folders_;
    QString log_;
    QStringList said_;
    QList<CVAnswer> answers_;
    std::vector<std::unique_ptr<QProcess>> running_;

    [[nodiscard]] CFolderSource Folders()
    {
        return [this] { return folders_; };
    }
    [[nodiscard]] QString ToolPath(const char* name) const
    {
        return QString::fromStdString(folders_.tool) + QLatin1Char('/') + QLatin1String(name);
    }
    [[nodiscard]] QString SetupPath(const char* name) const
    {
        return QString::fromStdString(folders_.setup) + QLatin1Char('/') + QLatin1String(name);
    }
    [[nodiscard]] QString ShortcutFile(const char* display) const
    {
        return QString::fromStdString(folders_.shortcut) + QLatin1Char('/') + QLatin1String(display) +
               QStringLiteral(".desktop");
    }

    static bool PutStandIn(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile::remove(path);
        return QFile::copy(QStringLiteral(STANDIN), path) &&
               QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The program files the stand-in was started from, in order.
    [[nodiscard]] QStringList Started() const
    {
        QFile file(log_);
        QStringList programs;
        if (!file.open(QIODevice::ReadOnly))
            return programs;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (const int space = line.indexOf(' '); space > 0)
                programs << QString::fromUtf8(line.mid(space + 1));
        return programs;
    }

    QProcess* RunStaying(const QString& program)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTREL_STANDIN_STAY"), QStringLiteral("1"));
        process->setProcessEnvironment(env);
        process->start(program, {});
        running_.push_back(std::move(process));
        return running_.back().get();
    }

    static void Click(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() / 2, button->height() / 2));
    }

    static void ShowAndSettle(CDlgKestrel& dashboard)
    {
        dashboard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dashboard));
        QTRY_COMPARE(dashboard.CurrentCategory(), 1);
    }

private slots:
    void init()
    {
        root_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kestrel launcher XXXXXX"));
        QVERIFY(root_->isValid());
        const std::string root = root_->path().toStdString();
        folders_ = {root + "/Kestrel Tool Folder", root + "/Kestrel Tool Folder/setup",
                    root + "/data home/applications/Kestrel Tools"};
        QVERIFY(QDir().mkpath(QString::fromStdString(folders_.setup)));
        log_ = root_->filePath(QStringLiteral("started.log"));
        qputenv("KESTREL_STANDIN_LOG", log_.toUtf8());
        said_.clear();
        answers_.clear();
        SetMessageBoxHook([this](const CVMessage& message) {
            said_ << message.text;
            if (!answers_.isEmpty())
                return answers_.takeFirst();
            return message.buttons == CVButtons::YesNo ? CVAnswer::No : CVAnswer::Ok;
        });
    }

    void cleanup()
    {
        for (auto& process : running_) {
            process->kill();
            process->waitForFinished(5000);
        }
        running_.clear();
        SetMessageBoxHook({});
        root_.reset();
    }

    void categoriesShowTheirToolsAndOnlyTheFirstHasAThirdButton()
    {
        CDlgKestrel dashboard(Folders());
        ShowAndSettle(dashboard);
        QCOMPARE(dashboard.size(), QSize(687, 525));
        QCOMPARE(dashboard.windowTitle(), kestrel::kAppTitle);
        QVERIFY(dashboard.CategoryButton(1)->IsSelected());
        QCOMPARE(dashboard.BannerBitmap(), 162);
        QVERIFY(dashboard.ToolButton(2)->isVisible() && dashboard.ToolButton(2)->isEnabled());
        QCOMPARE(dashboard.ToolButton(2)->accessibleName(), QStringLiteral("System Inspector"));
        QCOMPARE(dashboard.ToolButton(0)->geometry(), QRect(220, 185, 445, 65));
        QCOMPARE(dashboard.CategoryButton(5)->geometry(), QRect(17, 440, 175, 45));

        const int banners[] = {162, 164, 172, 170, 171};
        const char* firstTools[] = {"Memory Balancer", "Razuzuda Rezer", "Hive Condenser", "Erase Guard", "Glyph Deck"};
        for (int n : {2, 3, 4, 5, 1}) {
            Click(dashboard.CategoryButton(n));
            QCOMPARE(dashboard.CurrentCategory(), n);
            QCOMPARE(dashboard.BannerBitmap(), banners[n - 1]);
            for (int other = 1; other <= 5; ++other)
                QCOMPARE(dashboard.CategoryButton(other)->IsSelected(), other == n);
            QCOMPARE(dashboard.ToolButton(0)->accessibleName(), QLatin1String(firstTools[n - 1]));
            QCOMPARE(dashboard.ToolButton(2)->isVisible(), n == 1);
            QCOMPARE(dashboard.ToolButton(2)->isEnabled(), n == 1);
            QCOMPARE(dashboard.RowOfToolButton(2), n == 1 ? 2 : -1);
        }
        // The current category again: still marked, the tools untouched.
        const QString bitmap = dashboard.ToolButton(1)->BitmapName();
        Click(dashboard.CategoryButton(1));
        QVERIFY(dashboard.CategoryButton(1)->IsSelected());
        QCOMPARE(dashboard.ToolButton(1)->BitmapName(), bitmap);
    }

    void yesInstallsAToolFromTheSetupFolderAndStartsIt()
    {
        QVERIFY(PutStandIn(SetupPath("memflux")));
        CDlgKestrel dashboard(Folders());
        ShowAndSettle(dashboard);
        answers_ << CVAnswer::Yes;
        Click(dashboard.ToolButton(0));
        QCOMPARE(said_, QStringList{kQuestion});
        QVERIFY(QFileInfo(ToolPath("memflux")).isExecutable());
        const QString entry = ShortcutFile("Memory Balancer");
        QVERIFY(QFile::exists(entry));
        QTRY_COMPARE(Started(), QStringList{ToolPath("memflux")});

        if (QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty())
            QSKIP("desktop-file-validate is not installed (package desktop-file-utils)");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY(validate.waitForFinished(30000));
        QCOMPARE(validate.exitCode(), 0);
        QVERIFY2(!validate.readAll().contains("error"), "the entry is valid");
    }

    void noStartsNothingAndChangesNothing()
    {
        QVERIFY(PutStandIn(SetupPath("memflux")));
        CDlgKestrel dashboard(Folders());
        ShowAndSettle(dashboard);
        answers_ << CVAnswer::No;
        Click(dashboard.ToolButton(0));
        QCOMPARE(said_, QStringList{kQuestion});
        QVERIFY(!QFile::exists(ToolPath("memflux")));
        QVERIFY(!QFile::exists(ShortcutFile("Memory Balancer")));
        QVERIFY(Started().isEmpty());
    }

    void aMissingSetupCopyIsReportedAndNothingStarts()
    {
        CDlgKestrel dashboard(Folders());
        ShowAndSettle(dashboard);
        answers_ << CVAnswer::Yes;
        Click(dashboard.ToolButton(2));
        QCOMPARE(said_, (QStringList{kQuestion, kFailed}));
        QVERIFY(!QFile::exists(ToolPath("sysprobe")));
        QVERIFY(Started().isEmpty());
    }

    void salvageStartsFromAToolFolderWithSpaces()
    {
        QVERIFY(PutStandIn(ToolPath("salvage")));
        CDlgKestrel dashboard(Folders());
        ShowAndSettle(dashboard);
        Click(dashboard.CategoryButton(2));
        QCOMPARE(dashboard.ToolButton(0)->accessibleName(), QStringLiteral("Razuzuda Rezer"));
        Click(dashboard.ToolButton(0));
        QTRY_COMPARE(Started(), QStringList{ToolPath("salvage")});
        QVERIFY(said_.isEmpty());
    }

    void removingARunningToolEndsItsProcessOnly()
    {
        QVERIFY(PutStandIn(SetupPath("memflux")));
        const QString elsewhere = root_->filePath(QStringLiteral("another folder/memflux"));
        QVERIFY(PutStandIn(elsewhere));
        CToolInstaller installer(folders_, BuildToolTable());
        QVERIFY(installer.Install(0));
        QProcess* tool = RunStaying(ToolPath("memflux"));
        QProcess* namesake = RunStaying(elsewhere);
        QTRY_COMPARE(Started().size(), 2);

        CDlgSelectiveInstall manager(Folders());
        manager.show();
        QVERIFY(QTest::qWaitForWindowExposed(&manager));
        QTreeWidgetItem* row = manager.List()->topLevelItem(0);
        QCOMPARE(row->checkState(0), Qt::Checked);
        row->setCheckState(0, Qt::Unchecked);
        answers_ << CVAnswer::Yes << CVAnswer::Ok;
        Click(manager.UpdateNowButton());
        QCOMPARE(said_, (QStringList{kestrel::kUpdateQuestion, kestrel::kUpdateFinished}));
        QVERIFY(!manager.isVisible());
        QTRY_COMPARE(tool->state(), QProcess::NotRunning);
        QCOMPARE(namesake->state(), QProcess::Running);
        QVERIFY(!QFile::exists(ToolPath("memflux")));
        QVERIFY(!QFile::exists(ShortcutFile("Memory Balancer")));
        QVERIFY(QFile::exists(SetupPath("memflux")));
        QVERIFY(QFile::exists(elsewhere));
    }

    void noToTheUpdateQuestionChangesNothing()
    {
        QVERIFY(PutStandIn(ToolPath("sweeper")));
        QVERIFY(PutStandIn(SetupPath("bootwarden")));
        CDlgSelectiveInstall manager(Folders());
        manager.show();
        QVERIFY(QTest::qWaitForWindowExposed(&manager));
        manager.List()->topLevelItem(4)->setCheckState(0, Qt::Unchecked);
        manager.List()->topLevelItem(6)->setCheckState(0, Qt::Checked);
        answers_ << CVAnswer::No;
        Click(manager.UpdateNowButton());
        QCOMPARE(said_, QStringList{kestrel::kUpdateQuestion});
        QVERIFY(manager.isVisible());
        QVERIFY(QFile::exists(ToolPath("sweeper")));
        QVERIFY(!QFile::exists(ToolPath("bootwarden")));
        QVERIFY(QDir(QString::fromStdString(folders_.shortcut)).isEmpty());

        // Yes now: the ticked tool is installed with its shortcut, the cleared one removed.
        answers_ << CVAnswer::Yes << CVAnswer::Ok;
        Click(manager.UpdateNowButton());
        QVERIFY(!QFile::exists(ToolPath("sweeper")));
        QVERIFY(QFile::exists(ToolPath("bootwarden")));
        QVERIFY(QFile::exists(ShortcutFile("Boot Warden")));
        QVERIFY(!QFile::exists(ShortcutFile("Drive Sweeper")));
    }

    void theManagerDescribesEveryTool()
    {
        QVERIFY(PutStandIn(ToolPath("sweeper")));
        QFile record(ToolPath("sweeper.version"));
        QVERIFY(record.open(QIODevice::WriteOnly));
        record.write("FileVersion=3.1.4\nFileDate=2020-01-02T03:04:05Z\n");
        record.close();
        QVERIFY(PutStandIn(SetupPath("bootwarden")));
        CDlgSelectiveInstall manager(Folders());
        QTreeWidget* list = manager.List();
        QCOMPARE(list->topLevelItemCount(), 11);
        QCOMPARE(list->headerItem()->text(4), QStringLiteral("Update Date"));
        QCOMPARE(list->columnWidth(1), 115);
        const QString size = QStringLiteral("%1 Bytes").arg(QFileInfo(QStringLiteral(STANDIN)).size());

        QTreeWidgetItem* installed = list->topLevelItem(4);
        QCOMPARE(installed->text(0), QStringLiteral("Drive Sweeper"));
        QCOMPARE(installed->text(1), QStringLiteral("sweeper"));
        QCOMPARE(installed->text(2), QStringLiteral("3.1.4"));
        QCOMPARE(installed->text(3), size);
        QCOMPARE(installed->text(4), QString::fromStdString(UpdateDateText(std::time_t{1577934245})));
        QCOMPARE(installed->checkState(0), Qt::Checked);

        QTreeWidgetItem* setupOnly = list->topLevelItem(6);
        QCOMPARE(setupOnly->checkState(0), Qt::Unchecked);
        QCOMPARE(setupOnly->text(2), QString());
        QCOMPARE(setupOnly->text(3), size);

        QTreeWidgetItem* missing = list->topLevelItem(9);
        QCOMPARE(missing->text(0), QStringLiteral("Glyph Deck"));
        QCOMPARE(missing->checkState(0), Qt::Unchecked);
        QCOMPARE(missing->text(3), QStringLiteral("0 Bytes"));
        QCOMPARE(missing->text(4), QString::fromStdString(UpdateDateText(std::nullopt)));
        QVERIFY(!missing->icon(0).isNull());
    }

    void checkForUpdatesStartsTheWizardOnlyWhenItIsThere()
    {
        CDlgKestrel dashboard(Folders());
        ShowAndSettle(dashboard);
        Click(dashboard.HelpButton());
        QMenu* menu = dashboard.HelpMenu();
        QTRY_VERIFY(menu->isVisible());
        const QPoint helpAt = dashboard.HelpButton()->mapToGlobal(QPoint(0, 0));
        QCOMPARE(menu->pos(), QPoint(helpAt.x() - 81, helpAt.y() + dashboard.HelpButton()->height()));
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, (QStringList{"Launch &Help File", "-", "Kestrel &Website", "&Online Help and Support", "-",
                                     "Check for Updates...", "-", "Manage Kestrel Programs", "-", "&About Kestrel"}));

        QAction* check = menu->actions().at(5);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(check).center());
        QVERIFY(!menu->isVisible());
        QVERIFY(Started().isEmpty());
        QVERIFY(said_.isEmpty());

        QVERIFY(PutStandIn(ToolPath("kestrelupdate")));
        check->trigger();
        QTRY_COMPARE(Started(), QStringList{ToolPath("kestrelupdate")});
    }

    void theHelpMenuOpensTheManagerAndTheAboutDialogs()
    {
        CDlgKestrel dashboard(Folders());
        ShowAndSettle(dashboard);
        QMenu* menu = dashboard.HelpMenu();
        QStringList opened;
        const auto closeModal = [&opened] {
            QTimer::singleShot(0, [&opened] {
                QWidget* modal = QApplication::activeModalWidget();
                QVERIFY(modal);
                opened << QString::fromLatin1(modal->metaObject()->className());
                if (auto* manager = qobject_cast<CDlgSelectiveInstall*>(modal))
                    Click(manager->CancelButton());
                else
                    static_cast<QDialog*>(modal)->accept();
            });
        };
        closeModal();
        menu->actions().at(7)->trigger();  // Manage Kestrel Programs
        closeModal();
        menu->actions().at(9)->trigger();  // About Kestrel
        closeModal();
        dashboard.OnSysCommand(kestrel::IDM_ABOUTBOX);
        QCOMPARE(opened, (QStringList{"CDlgSelectiveInstall", "CDlgVireoAbout", "CDlgAboutKestrel"}));
        QVERIFY(dashboard.isVisible());
    }

    void enterAndEscapeKeepTheWindowAndExitClosesIt()
    {
        CDlgKestrel dashboard(Folders());
        ShowAndSettle(dashboard);
        dashboard.ToolButton(0)->setFocus();
        QTest::keyClick(&dashboard, Qt::Key_Return);
        QTest::keyClick(&dashboard, Qt::Key_Escape);
        QVERIFY(dashboard.isVisible());
        QVERIFY2(said_.isEmpty(), "Enter does not start the focused tool");
        Click(dashboard.ExitButton());
        QVERIFY(!dashboard.isVisible());
    }
};

QTEST_MAIN(LauncherTest)
#include "LauncherTest.moc"
