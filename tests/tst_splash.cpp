// The splash window on a real window manager: its design, its place and decoration, and,
// with the real program, that it covers both start-up waits and is gone before the panel
// appears; and the real end of the process when EchoLink is missing.
#include "Desktop.h"
#include "PanelProcess.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "X11Probe.h"
#include "app/frmSplash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QTest>

namespace {

bool isSplash(WId window)
{
    return X11Probe::windowTypes(window).contains(QStringLiteral("_NET_WM_WINDOW_TYPE_SPLASH"));
}

}  // namespace

class tst_splash : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void designAndPlace();
    void clicksAndKeysChangeNothing();
    void coversBothWaitsAndGoesBeforeThePanel();
    void missingEchoLinkEndsTheProgramWithAFailure();
};

void tst_splash::designAndPlace()
{
    REQUIRE_WINDOW_MANAGER();
    frmSplash splash;
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));

    QCOMPARE(splash.size(), QSize(281, 162));
    QCOMPARE(splash.Frame1->geometry(), QRect(8, 0, 265, 154));
    QCOMPARE(splash.Frame1->title(), QString());
    QCOMPARE(splash.Picture1->geometry(), QRect(8, 16, 249, 97));
    // The 245 x 93 picture fills the box inside its border, unscaled.
    QCOMPARE(splash.Picture1->contentsRect(), QRect(2, 2, 245, 93));
    QCOMPARE(splash.Picture1->pixmap().size(), QSize(245, 93));
    QCOMPARE(splash.Label1->geometry(), QRect(8, 124, 245, 18));
    QCOMPARE(splash.Label1->text(), QStringLiteral("Dialboard By Orvane"));
    QCOMPARE(splash.Label1->alignment(), Qt::AlignCenter);
    QCOMPARE(splash.Label1->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(splash.Label1->font().pointSize(), 12);
    QVERIFY(!splash.Label1->font().bold());

    const WId id = splash.winId();
    QTRY_COMPARE(X11Probe::mapState(id), QStringLiteral("IsViewable"));
    const QStringList types = X11Probe::windowTypes(id);
    const QStringList states = X11Probe::netWmState(id);
    QVERIFY2(types.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_SPLASH"))
                 || states.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")),
             qPrintable(types.join(u',') + u';' + states.join(u',')));
    // No decoration: the frame is the client area, centred on the screen.
    const QRect frame = X11Probe::frameGeometry(id);
    QCOMPARE(frame.size(), QSize(281, 162));
    const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
    QVERIFY2((frame.center() - centre).manhattanLength() <= 1,
             qPrintable(QStringLiteral("%1,%2").arg(frame.x()).arg(frame.y())));
}

void tst_splash::clicksAndKeysChangeNothing()
{
    REQUIRE_WINDOW_MANAGER();
    frmSplash splash;
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    const QRect before = splash.geometry();
    QTest::mouseClick(splash.Picture1, Qt::LeftButton);
    QTest::mouseDClick(splash.Label1, Qt::LeftButton);
    QTest::mouseClick(&splash, Qt::RightButton);
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space, Qt::Key_A})
        QTest::keyClick(&splash, key);
    QTest::qWait(200);
    QVERIFY(splash.isVisible());
    QCOMPARE(splash.geometry(), before);
    QCOMPARE(splash.Label1->text(), QStringLiteral("Dialboard By Orvane"));
    QCOMPARE(splash.Picture1->pixmap().size(), QSize(245, 93));
}

// The real program: the splash is up through the 3 s and 4 s waits, and no longer on the
// screen when the panel maps.
void tst_splash::coversBothWaitsAndGoesBeforeThePanel()
{
    REQUIRE_WINDOW_MANAGER();
    SimProcess sim;
    QVERIFY(sim.start());
    PanelProcess panel;
    QVERIFY(panel.start());

    QElapsedTimer clock;
    clock.start();
    qint64 splashFirst = -1, splashLast = -1, panelFirst = -1;
    WId panelWindow = 0;
    while (panelFirst < 0 && clock.elapsed() < 15000) {
        for (const WId window : Desktop::visibleWindowsOf(panel.processId())) {
            if (isSplash(window)) {
                if (splashFirst < 0)
                    splashFirst = clock.elapsed();
                splashLast = clock.elapsed();
            } else if (X11Probe::property(window, QStringLiteral("WM_NAME"))
                           .contains(QStringLiteral("Dialboard N0CALL"))) {
                panelFirst = clock.elapsed();
                panelWindow = window;
            }
        }
        QTest::qWait(20);
    }
    QVERIFY2(splashFirst >= 0 && splashFirst < 1000, qPrintable(QString::number(splashFirst)));
    QVERIFY2(splashLast - splashFirst >= 6900, qPrintable(QString::number(splashLast - splashFirst)));
    QVERIFY2(panelFirst > splashLast, qPrintable(QString::number(panelFirst)));
    QVERIFY(!isSplash(panelWindow));

    sim.control(QStringLiteral("EmitClosing"));
    QVERIFY(panel.waitForFinished(3000));
    QCOMPARE(panel.exitCode(), 0);
}

// The real program without EchoLink: the message right after the splash wait, and once
// it is answered the process ends with a failure status, having written nothing.
void tst_splash::missingEchoLinkEndsTheProgramWithAFailure()
{
    REQUIRE_WINDOW_MANAGER();
    QFile::remove(TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf"));
    PanelProcess panel;
    panel.setProcessChannelMode(QProcess::SeparateChannels);
    QVERIFY(panel.start());
    QElapsedTimer clock;
    clock.start();

    // The message box: the program's only window on the screen titled "Dialboard".
    WId box = 0;
    QTRY_VERIFY_WITH_TIMEOUT((box = panel.window(QStringLiteral("Dialboard"))) != 0, 8000);
    QVERIFY2(clock.elapsed() >= 3000 && clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(panel.state() == QProcess::Running);
    // The splash stays until the process is gone.
    bool splashUp = false;
    for (const WId window : Desktop::visibleWindowsOf(panel.processId()))
        splashUp = splashUp || isSplash(window);
    QVERIFY(splashUp);

    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(box),
                       QStringLiteral("key"), QStringLiteral("Return")});
    QVERIFY(panel.waitForFinished(5000));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QVERIFY(panel.exitCode() != 0);
    QVERIFY(QString::fromLocal8Bit(panel.readAllStandardError())
                .contains(QStringLiteral("cannot find EchoLink")));
    QVERIFY(!QFile::exists(TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf")));
}

DIALBOARD_TEST_MAIN(tst_splash, WindowManager)
#include "tst_splash.moc"
