// The whole start-up and shutdown against the EchoLink stand-in on a private bus: the
// order and timing of the attachment (read off the bus itself), the title, the report
// when EchoLink is missing, Closing at any stage, the save at shutdown, and the focus
// rule on activation. The 3 s and 4 s waits are real.
#include "BusMonitor.h"
#include "MessageBoxWatch.h"
#include "PanelDriver.h"
#include "PanelProcess.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "app/frmSplash.h"
#include "automation/AutomationContract.h"
#include "automation/EchoLinkObjects.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace {

QString settingsFile()
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf");
}

bool splashShown()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<frmSplash *>(widget) && widget->isVisible())
            return true;
    return false;
}

QStringList repeated(const QString &text, int times)
{
    QStringList list;
    for (int i = 0; i < times; ++i)
        list << text;
    return list;
}

}  // namespace

class tst_startup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void attachesInOrderThenClosesWithEchoLink();
    void closingWhileStartingEndsWithoutSaving();
    void titleCarriesTheStationCallBeforeAnyDash_data();
    void titleCarriesTheStationCallBeforeAnyDash();
    void missingEchoLinkIsReportedAndEnds();
    void failedSaveAtShutdownIsReported();
    void activationFocusesTheHolder();

private:
    SimProcess *sim = nullptr;
};

void tst_startup::init()
{
    QDir(TestEnvironment::configHome()).removeRecursively();
    QDir().mkpath(TestEnvironment::configHome());
    sim = new SimProcess;
}

void tst_startup::cleanup()
{
    delete sim;
    sim = nullptr;
}

// The main object first, the two set-up objects four seconds later, the callsign, one
// refresh pass of 40 questions, and a pass every 5 s. Closing from anyone but EchoLink
// is ignored; EchoLink's Closing ends the panel cleanly with its settings saved.
void tst_startup::attachesInOrderThenClosesWithEchoLink()
{
    QVERIFY(sim->start());
    BusMonitor monitor;
    QVERIFY(monitor.start());
    PanelProcess panel;
    const double launched = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    QVERIFY(panel.start());

    QTRY_VERIFY_WITH_TIMEOUT(monitor.calls().size() >= 84, 20000);
    const QList<BusMonitor::Call> calls = monitor.calls().mid(0, 84);
    QStringList seen;
    for (const auto &call : calls)
        seen << call.path + QLatin1Char(' ') + call.member;
    const QStringList expected =
        QStringList{QStringLiteral("/EchoLink Introspect"), QStringLiteral("/SetupConfig Introspect"),
                    QStringLiteral("/SysopConfig Introspect"), QStringLiteral("/SetupConfig Callsign")}
        + repeated(QStringLiteral("/EchoLink IsConnected"), 80);
    QCOMPARE(seen, expected);

    const double toMain = calls[0].time - launched;
    const double toSetup = calls[1].time - calls[0].time;
    const double betweenPasses = calls[44].time - calls[4].time;
    QVERIFY2(toMain >= 3.0 && toMain < 3.8, qPrintable(QString::number(toMain)));
    QVERIFY2(toSetup >= 4.0 && toSetup < 4.3, qPrintable(QString::number(toSetup)));
    // The refresh timer is a coarse one: Qt keeps it within 5 % of its 5 s interval.
    QVERIFY2(betweenPasses > 4.7 && betweenPasses < 5.35, qPrintable(QString::number(betweenPasses)));
    QCOMPARE(sim->calls().mid(0, 81),
             QStringList{QStringLiteral("Callsign")} + repeated(QStringLiteral("IsConnected "), 80));

    // The same signal from another connection on the bus does not reach the panel.
    QVERIFY(QDBusConnection::sessionBus().send(
        QDBusMessage::createSignal(QString::fromLatin1(Automation::ApplicationPath),
                                   QString::fromLatin1(Automation::ApplicationInterface),
                                   QString::fromLatin1(Automation::ClosingSignal))));
    sim->calls();
    QVERIFY(!panel.waitForFinished(500));

    sim->control(QStringLiteral("EmitClosing"));
    QVERIFY(panel.waitForFinished(3000));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), 0);

    QSettings stored(settingsFile(), QSettings::IniFormat);
    stored.beginGroup(QStringLiteral("Settings"));
    QStringList keys{QStringLiteral("ScrnTop"), QStringLiteral("ScrnLeft"), QStringLiteral("OnTop"),
                     QStringLiteral("ViewLarge"), QStringLiteral("ViewSmall")};
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        keys << QStringLiteral("NodeCall%1").arg(i);
    for (const QString &key : keys)
        QVERIFY2(stored.contains(key), qPrintable(key + QStringLiteral(" not saved")));
    QCOMPARE(stored.value(QStringLiteral("ViewSmall")).toString(), QStringLiteral("True"));
}

// Closing during the four-second wait: the panel ends at once, without trying the
// set-up objects and without writing settings it never loaded.
void tst_startup::closingWhileStartingEndsWithoutSaving()
{
    QVERIFY(sim->start());
    BusMonitor monitor;
    QVERIFY(monitor.start());
    PanelProcess panel;
    QVERIFY(panel.start());
    QTRY_VERIFY_WITH_TIMEOUT(!monitor.calls().isEmpty(), 6000);
    QTest::qWait(500);
    sim->control(QStringLiteral("EmitClosing"));

    QVERIFY(panel.waitForFinished(5000));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), 0);
    QCOMPARE(monitor.calls().size(), 1);
    QVERIFY(!QFile::exists(settingsFile()));
}

void tst_startup::titleCarriesTheStationCallBeforeAnyDash_data()
{
    QTest::addColumn<QString>("callsign");
    QTest::addColumn<QString>("title");
    QTest::newRow("suffix") << QStringLiteral("N0CALL-L") << QStringLiteral("Dialboard N0CALL");
    QTest::newRow("plain") << QStringLiteral("N0CALL") << QStringLiteral("Dialboard N0CALL");
    QTest::newRow("leading dash") << QStringLiteral("-X") << QStringLiteral("Dialboard ");
}

// In the process itself: after the load the splash is gone, the window titled, not yet
// shown (its caller shows it), and the refresh running.
void tst_startup::titleCarriesTheStationCallBeforeAnyDash()
{
    QFETCH(QString, callsign);
    QFETCH(QString, title);
    QVERIFY(sim->start({QStringLiteral("--callsign"), callsign}));
    TestHost host(TestHost::Waits::Real);
    frmMain w(host);
    bool splashDuringLoad = false;
    QTimer::singleShot(1000, &w, [&splashDuringLoad] { splashDuringLoad = splashShown(); });
    w.Form_Load();
    QVERIFY(splashDuringLoad);
    QVERIFY(!splashShown());
    QVERIFY(!w.hasEnded());
    QCOMPARE(w.windowTitle(), title);
    QVERIFY(!w.isVisible());
    QVERIFY(PanelDriver::timer(w, "ButtonLoad")->isActive());
    QCOMPARE(host.endings, QList<int>());
}

// EchoLink without its set-up object: the exact two-line message after the splash wait
// and the further four seconds, then the end with a non-zero status, the splash still
// up, nothing saved. (Without any EchoLink the real program is checked end to end, with
// the message after the splash wait alone.)
void tst_startup::missingEchoLinkIsReportedAndEnds()
{
    const int earliest = 7000;
    QVERIFY(sim->start({QStringLiteral("--without"), QStringLiteral("setup")}));

    TestHost host(TestHost::Waits::Real);
    frmMain w(host);
    QElapsedTimer clock;
    BoxSeen box;
    bool splashWithBox = false;
    box.whileOpen = [&splashWithBox] { splashWithBox = splashShown(); };
    clock.start();
    answerNextBox(&w, box, clock);
    w.Form_Load();

    QCOMPARE(box.title, QStringLiteral("Dialboard"));
    QCOMPARE(box.text, QStringLiteral("Can Not Find EchoLink.\r\nDialboard will not work without EchoLink."));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY2(box.after >= earliest && box.after < earliest + 800, qPrintable(QString::number(box.after)));
    QVERIFY(splashWithBox);
    QCOMPARE(host.endings.size(), 1);
    QVERIFY(host.endings.first() > 0);
    QVERIFY(w.hasEnded());
    QCOMPARE(w.windowTitle(), QStringLiteral("Dialboard"));
    w.close();
    QVERIFY(!QFile::exists(settingsFile()));
}

// The link to EchoLink is let go before the save; a save that fails is reported with
// the file involved, and the process ends with a non-zero status.
void tst_startup::failedSaveAtShutdownIsReported()
{
    QVERIFY(sim->start());
    TestHost host;
    frmMain w(host);
    QVERIFY(PanelDriver::load(w));
    w.show();
    // A directory where the settings file belongs: no save can replace it.
    QVERIFY(QDir().mkpath(settingsFile()));

    QElapsedTimer clock;
    clock.start();
    BoxSeen box;
    bool linkReleasedBeforeSave = false;
    box.whileOpen = [&w, &linkReleasedBeforeSave] {
        linkReleasedBeforeSave = !w.findChild<EchoLinkApplication *>();
    };
    answerNextBox(&w, box, clock);
    QTimer::singleShot(0, &w, [&w] { w.close(); });
    QTRY_VERIFY_WITH_TIMEOUT(box.after >= 0, 5000);

    QVERIFY(linkReleasedBeforeSave);
    QCOMPARE(box.title, QStringLiteral("Dialboard"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QVERIFY2(box.text.contains(QStringLiteral("Dialboard.conf")), qPrintable(box.text));
    QCOMPARE(host.endings.size(), 1);
    QVERIFY(host.endings.first() > 0);
    QVERIFY(!w.isVisible());
}

// Each time the window comes to the front the invisible holder takes the focus, so no
// node button shows the focus rectangle.
void tst_startup::activationFocusesTheHolder()
{
    TestHost host;
    frmMain w(host);
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), PanelDriver::dummy(w));

    PanelDriver::button(w, 1)->setFocus();
    QCOMPARE(QApplication::focusWidget(), PanelDriver::button(w, 1));
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), PanelDriver::dummy(w));
}

DIALBOARD_TEST_MAIN(tst_startup, Offscreen)
#include "tst_startup.moc"
