// The skinned dialog base, the image button, the help and web seams.
#include "basekit/CorvaleApp.h"
#include "basekit/DlgMainWnd.h"
#include "basekit/DlgVireoAbout.h"
#include "basekit/HoverButton2.h"
#include "basekit/MessageBox.h"
#include "basekit/Skin.h"
#include "basekit/Web.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

class ProbeDialog : public CDlgMainWnd {
public:
    QList<int> commands;
    void OnSysCommand(int id) override
    {
        commands << id;
        CDlgMainWnd::OnSysCommand(id);
    }
};

} // namespace

class BasekitWidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        SetUrlOpener({});
        SetMessageBoxHook({});
        qunsetenv("KESTREL_HELP_DIR");
    }

    void imageButtonShowsTheFrameOfItsState()
    {
        ProbeDialog dialog;  // registers basekit's skin
        CHoverButton2 button(&dialog);
        button.move(40, 40);
        QVERIFY(!button.LoadBitmap(QStringLiteral(":/basekit/no-such.png")));
        QVERIFY(button.LoadBitmap(QStringLiteral(":/basekit/caption-close.png")));
        QCOMPARE(button.size(), QSize(18, 18));  // one of its three frames
        QCOMPARE(button.pos(), QPoint(40, 40));
        dialog.resize(200, 200);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        button.clearFocus();  // the dialog gives its first button the focus
        QCOMPARE(button.CurrentFrame(), 0);
        button.setFocus();
        QCOMPARE(button.CurrentFrame(), 2);
        button.clearFocus();

        QEnterEvent enter(QPointF(5, 5), QPointF(45, 45), QPointF(45, 45));
        QApplication::sendEvent(&button, &enter);
        QCOMPARE(button.CurrentFrame(), 2);
        QTest::mousePress(&button, Qt::LeftButton);
        QCOMPARE(button.CurrentFrame(), 1);
        QTest::mouseRelease(&button, Qt::LeftButton);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        button.clearFocus();
        QCOMPARE(button.CurrentFrame(), 0);

        button.SetSelected(true);
        QCOMPARE(button.CurrentFrame(), 1);
        QApplication::sendEvent(&button, &enter);
        QCOMPARE(button.CurrentFrame(), 1);  // the selected look wins over hover
    }

    void enterAndEscapeDoNotCloseButTheCloseButtonDoes()
    {
        ProbeDialog dialog;
        dialog.resize(300, 200);
        dialog.PlaceCaptionButtons(QPoint(250, 4), QPoint(270, 4), QSize(18, 18));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Return);
        QTest::keyClick(&dialog, Qt::Key_Enter);
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.commands, QList<int>{CDlgMainWnd::SC_CLOSE});
    }

    void theTopBandDragsTheWindowAndTheRestDoesNot()
    {
        ProbeDialog dialog;
        dialog.resize(300, 200);
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(50, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(80, 30), dialog.mapToGlobal(QPointF(80, 30)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &move);
        QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(80, 30));
        QCOMPARE(dialog.pos(), start + QPoint(30, 20));

        const QPoint moved = dialog.pos();
        QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(50, 100));
        QMouseEvent below(QEvent::MouseMove, QPointF(90, 150), dialog.mapToGlobal(QPointF(90, 150)), Qt::NoButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &below);
        QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(90, 150));
        QCOMPARE(dialog.pos(), moved);
    }

    void systemMenuItemsReachOnSysCommand()
    {
        ProbeDialog dialog;
        dialog.AddSystemMenuItem(16, QStringLiteral("&About Kestrel..."));
        const QList<QAction*> actions = dialog.SystemMenu()->actions();
        QCOMPARE(actions.size(), 4);  // minimise, close, separator, the new item
        QVERIFY(actions[2]->isSeparator());
        QCOMPARE(actions[3]->text(), QStringLiteral("&About Kestrel..."));
        actions[3]->trigger();
        QCOMPARE(dialog.commands, QList<int>{16});
    }

    void skinPaintsTheControlColourAndTheHeader()
    {
        ProbeDialog dialog;
        dialog.resize(400, 300);
        dialog.SetCaptionText(QStringLiteral("Updates..."));
        const QImage image = dialog.grab().toImage();
        QCOMPARE(QColor(image.pixel(200, 200)), ControlColour());
        QCOMPARE(ControlColour(), QColor(240, 240, 245));  // 16118000 = 0x00F5F0F0
        QVERIFY2(QColor(image.pixel(300, 10)).lightness() < 100, "the top band is dark");
    }

    void helpOpensTheDefaultTopicOrSaysItIsMissing()
    {
        QTemporaryDir help;
        QVERIFY(help.isValid());
        QFile page(help.filePath(QStringLiteral("launcher.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        qputenv("KESTREL_HELP_DIR", help.path().toUtf8());
        QList<QUrl> opened;
        SetUrlOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        CDlgMainWnd::m_DefaultTopic = QStringLiteral("launcher.html");
        QVERIFY(CCorvaleApp::StartHelp());
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(help.filePath(QStringLiteral("launcher.html")))});

        QTemporaryDir empty;
        qputenv("KESTREL_HELP_DIR", empty.path().toUtf8());
        CDlgMainWnd::m_DefaultTopic = QStringLiteral("no-such-topic.html");
        QStringList said;
        SetMessageBoxHook([&](const CVMessage& m) {
            said << m.text;
            return CVAnswer::Ok;
        });
        // Another folder may hold the suite's index; only a missing help speaks.
        if (CCorvaleApp::HelpFolder(CDlgMainWnd::m_DefaultTopic).isEmpty()) {
            QVERIFY(!CCorvaleApp::StartHelp());
            QCOMPARE(said, QStringList{QStringLiteral("Help file not found")});
        }
    }

    void theMakersPagesGoThroughTheOpener()
    {
        QList<QUrl> opened;
        SetUrlOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        QVERIFY(CVStartWebsite());
        QVERIFY(CVOnlinehelpandsupport());
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0], QUrl(QString::fromLatin1(kKestrelWebsite)));
        QCOMPARE(opened[1], QUrl(QString::fromLatin1(kKestrelSupport)));
    }

    void messageBoxTextsShowTheirLineBreakAsOne()
    {
        CVMessage seen;
        SetMessageBoxHook([&](const CVMessage& m) {
            seen = m;
            return CVAnswer::No;
        });
        QCOMPARE(CVMessageBox(nullptr, QStringLiteral("one\r\ntwo"), CVIcon::Error, CVButtons::YesNo), CVAnswer::No);
        QCOMPARE(seen.text, QStringLiteral("one\ntwo"));
        QCOMPARE(seen.icon, CVIcon::Error);
    }

    void aboutClosesWithOk()
    {
        CDlgVireoAbout about(nullptr, true);
        QTimer::singleShot(0, &about, [&] { QTest::mouseClick(about.OkButton(), Qt::LeftButton); });
        QCOMPARE(about.exec(), int(QDialog::Accepted));
        QVERIFY(about.findChild<QObject*>(QStringLiteral("websiteLink")));
    }
};

QTEST_MAIN(BasekitWidgetsTest)
#include "BasekitWidgetsTest.moc"
