// The panel against the EchoLink stand-in on a private bus: attaching, the caption
// refresh, the click that links and unlinks, a slow or hung EchoLink, and Closing.
#include "PanelDriver.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"
#include "automation/EchoLinkObjects.h"
#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace PanelDriver;

namespace {

// The longest time the test's own event loop went without running a 10 ms timer.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_timer.setInterval(10);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestGapMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

// Keeps this thread busy, without serving any event, until `clock` reads `ms`.
void busyUntil(const QElapsedTimer &clock, qint64 ms)
{
    while (clock.elapsed() < ms) {}
}

QString settingsFile()
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf");
}

}  // namespace

class tst_link : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void attachingNeedsEveryObject();
    void refreshAsksForEveryEntryInOrder();
    void linkedNodesAreMarkedUntilTheyDrop();
    void failureMidPassStopsSilently();
    void hungServerEndsThePassAndThePanelStaysResponsive();
    void slowServerNeverFreezesThePanel();
    void clickTogglesTheLinkAndFocusesTheHolder();
    void quickClicksAreServedInOrder();
    void clickThatFailsStillMovesTheFocus();
    void onlyTheLeftButtonLinks();
    void heldEnterClicksOnceAndWaitingClicksAreBounded();
    void answerDueWithItsTimeOutIsNotActedOn();
    void closingFromTheServerClosesThePanel();
    void closingFromAnotherSenderIsIgnored();
    void closingWhileCallsArePendingShutsDownOnce();
    void closingDuringTheFirstRefreshKeepsTheStoredPosition_data();
    void closingDuringTheFirstRefreshKeepsTheStoredPosition();
    void standInRefusesBadOptionsAndASecondCopy();

private:
    void showActive(frmMain &w) const;
    SimProcess *sim = nullptr;
    TestHost host;
};

void tst_link::init()
{
    QDir(TestEnvironment::configHome()).removeRecursively();
    sim = new SimProcess;
    QVERIFY(sim->start());
}

void tst_link::cleanup()
{
    delete sim;
    sim = nullptr;
    QCOMPARE(host.endings, QList<int>());
}

void tst_link::showActive(frmMain &w) const
{
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

// Each object is created only when it answers with its interface.
void tst_link::attachingNeedsEveryObject()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    EchoLinkSetupConfig setup(bus);
    QCOMPARE(setup.Callsign(), QStringLiteral("N0CALL-L"));
    EchoLinkSysopConfig sysop(bus);

    sim->stop();
    QVERIFY_THROWS_EXCEPTION(AutomationError, EchoLinkApplication{bus});
    QVERIFY(sim->start({QStringLiteral("--without"), QStringLiteral("sysop")}));
    EchoLinkApplication main(bus);
    QVERIFY_THROWS_EXCEPTION(AutomationError, EchoLinkSysopConfig{bus});
}

// One pass: exactly 40 questions, in button order, each call exactly as stored.
void tst_link::refreshAsksForEveryEntryInOrder()
{
    const QMap<int, QString> calls{{0, QStringLiteral("W1AW")},
                                   {5, QStringLiteral(" k1abc ")},
                                   {10, QStringLiteral("  ")},
                                   {11, QStringLiteral("*W1AW")},
                                   {12, QString(10000, QLatin1Char('Q'))},
                                   {20, QStringLiteral("*ECHOTEST*")},
                                   {39, QStringLiteral("R&D, \"x\" \\ = ö")}};
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, calls);
    sim->clearCalls();
    QVERIFY(refresh(w));

    QStringList expected;
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        expected << QStringLiteral("IsConnected ") + calls.value(i);
    QCOMPARE(sim->calls(), expected);
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        QCOMPARE(w.caption(i), calls.value(i));
}

void tst_link::linkedNodesAreMarkedUntilTheyDrop()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{3, QStringLiteral("W1AW")}, {30, QStringLiteral("W1AW")}, {7, QStringLiteral("K1ABC")}});
    sim->setLinked(QStringLiteral("W1AW"), true);
    QVERIFY(refresh(w));
    QCOMPARE(w.caption(3), QStringLiteral("*W1AW"));
    QCOMPARE(w.caption(30), QStringLiteral("*W1AW"));
    QCOMPARE(w.caption(7), QStringLiteral("K1ABC"));
    QCOMPARE(w.caption(8), QString());
    QCOMPARE(w.currentSettings().calls[3], QStringLiteral("W1AW"));  // the table carries no mark

    sim->setLinked(QStringLiteral("W1AW"), false);
    QCOMPARE(w.caption(3), QStringLiteral("*W1AW"));
    QVERIFY(refresh(w));
    QCOMPARE(w.caption(3), QStringLiteral("W1AW"));
    QCOMPARE(w.caption(30), QStringLiteral("W1AW"));
}

// Buttons before the failure are recaptioned, the rest keep what they showed; no message.
void tst_link::failureMidPassStopsSilently()
{
    frmMain w(host);
    QVERIFY(load(w));
    QMap<int, QString> calls;
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        calls[i] = QStringLiteral("N%1").arg(i);
    setCalls(w, calls);
    sim->setLinked(QStringLiteral("N3"), true);
    sim->setLinked(QStringLiteral("N20"), true);
    sim->control(QStringLiteral("FailAfter"), {7});
    QVERIFY(refresh(w));
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        QCOMPARE(w.caption(i), i == 3 ? QStringLiteral("*N3") : i < 7 ? calls[i] : QString());
    QVERIFY(!QApplication::activeModalWidget());

    sim->control(QStringLiteral("Heal"));
    QVERIFY(refresh(w));
    QCOMPARE(w.caption(20), QStringLiteral("*N20"));
    QCOMPARE(w.caption(39), calls[39]);
}

// A server that does not answer ends the pass after one time-out, and the panel goes
// on serving its events meanwhile. Once the server is back, a pass does all 40.
void tst_link::hungServerEndsThePassAndThePanelStaysResponsive()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{0, QStringLiteral("W1AW")}, {39, QStringLiteral("K1ABC")}});
    sim->setLinked(QStringLiteral("K1ABC"), true);
    Heartbeat heartbeat;
    sim->control(QStringLiteral("HangFor"), {3000});
    QElapsedTimer clock;
    clock.start();
    QVERIFY(refresh(w));
    const qint64 passMs = clock.elapsed();
    QVERIFY2(passMs >= 450 && passMs < 1500, qPrintable(QString::number(passMs)));
    QCOMPARE(w.caption(0), QString());
    QVERIFY2(heartbeat.longestGapMs() < 150, qPrintable(QString::number(heartbeat.longestGapMs())));

    QTest::qWait(3000 - int(clock.elapsed()) + 100);
    QVERIFY(refresh(w));
    QCOMPARE(w.caption(0), QStringLiteral("W1AW"));
    QCOMPARE(w.caption(39), QStringLiteral("*K1ABC"));
    QVERIFY2(heartbeat.longestGapMs() < 150, qPrintable(QString::number(heartbeat.longestGapMs())));
}

// A server that takes 100 ms for every answer: passes keep running back to back for 12 s
// while the panel's events never wait, a click reaches the server at once, and every
// caption follows the link state.
void tst_link::slowServerNeverFreezesThePanel()
{
    frmMain w(host);
    QVERIFY(load(w));
    QMap<int, QString> calls;
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        calls[i] = QStringLiteral("N%1").arg(i);
    setCalls(w, calls);
    showActive(w);
    sim->setLinked(QStringLiteral("N5"), true);
    sim->control(QStringLiteral("SetReplyDelay"), {100});

    int passes = 0;
    connect(&w, &frmMain::LoadNodeButtonsEnded, &w, [&w, &passes] {
        ++passes;
        QTimer::singleShot(0, &w, &frmMain::LoadNodeButtons);
    });
    Heartbeat heartbeat;
    QElapsedTimer clock;
    clock.start();
    w.LoadNodeButtons();
    QTest::qWait(2000);

    sim->clearCalls();
    QElapsedTimer click;
    click.start();
    QTest::mouseClick(button(w, 12), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(sim->calls().contains(QStringLiteral("Connect N12 0")), 3000);
    const qint64 clickToConnect = click.elapsed();
    QVERIFY2(clickToConnect < 500, qPrintable(QString::number(clickToConnect)));

    QTest::qWait(int(12000 - clock.elapsed()));
    disconnect(&w, &frmMain::LoadNodeButtonsEnded, nullptr, nullptr);
    QVERIFY(refresh(w));
    QVERIFY2(heartbeat.longestGapMs() < 150, qPrintable(QString::number(heartbeat.longestGapMs())));
    QVERIFY2(passes > 20, qPrintable(QString::number(passes)));
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        QCOMPARE(w.caption(i), (i == 5 || i == 12 ? QStringLiteral("*") : QString()) + calls[i]);
}

void tst_link::clickTogglesTheLinkAndFocusesTheHolder()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{12, QStringLiteral("K1ABC")}});
    showActive(w);
    QSignalSpy ended(&w, &frmMain::LoadNodeButtonsEnded);
    button(w, 12)->setFocus();
    sim->clearCalls();

    QTest::mouseClick(button(w, 12), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), dummy(w));  // at once, before any answer
    QTRY_COMPARE(sim->calls(),
                 (QStringList{QStringLiteral("IsConnected K1ABC"), QStringLiteral("Connect K1ABC 0")}));
    QCOMPARE(w.caption(12), QString());  // the refresh shows the link, not the click
    QCOMPARE(ended.count(), 0);

    // A second click acts on what EchoLink reports now, not on the caption.
    sim->clearCalls();
    button(w, 12)->setFocus();
    QTest::keyClick(button(w, 12), Qt::Key_Space);
    QTRY_COMPARE(sim->calls(),
                 (QStringList{QStringLiteral("IsConnected K1ABC"), QStringLiteral("Disconnect K1ABC")}));
    QCOMPARE(QApplication::focusWidget(), dummy(w));

    // An unassigned button passes the empty call like any other.
    sim->clearCalls();
    QTest::mouseClick(button(w, 13), Qt::LeftButton);
    QTRY_COMPARE(sim->calls(), (QStringList{QStringLiteral("IsConnected "), QStringLiteral("Connect  0")}));
}

// Two clicks before the server has answered the first: the second asks only once the
// first is done, and so drops the link the first one made.
void tst_link::quickClicksAreServedInOrder()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{4, QStringLiteral("W1AW")}});
    showActive(w);
    sim->control(QStringLiteral("SetReplyDelay"), {50});
    sim->clearCalls();
    QTest::mouseClick(button(w, 4), Qt::LeftButton);
    QTest::mouseClick(button(w, 4), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->calls().size(), 4, 3000);
    QCOMPARE(sim->calls(),
             (QStringList{QStringLiteral("IsConnected W1AW"), QStringLiteral("Connect W1AW 0"),
                          QStringLiteral("IsConnected W1AW"), QStringLiteral("Disconnect W1AW")}));
}

void tst_link::clickThatFailsStillMovesTheFocus()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{1, QStringLiteral("K1ABC")}});
    showActive(w);
    sim->clearCalls();
    sim->control(QStringLiteral("FailAfter"), {0});
    button(w, 1)->setFocus();
    QTest::mouseClick(button(w, 1), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), dummy(w));
    QTRY_COMPARE(sim->calls(), QStringList{QStringLiteral("IsConnected K1ABC")});
    QTest::qWait(100);
    QCOMPARE(sim->calls().size(), 1);
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_link::onlyTheLeftButtonLinks()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{2, QStringLiteral("K1ABC")}});
    showActive(w);
    sim->clearCalls();
    QTest::mouseClick(button(w, 2), Qt::MiddleButton);
    QVERIFY(editButton(w, 2, [](frmLoadButtons *) {}));  // a right click opens the dialog only
    QTest::qWait(100);
    QCOMPARE(sim->calls(), QStringList());
}

// Enter held down on a button clicks once: its auto-repeat is not a click. Clicks made
// faster than EchoLink answers wait in line, at most 64 behind the one being served; the
// rest are dropped, and each one served acts on the link state at its turn.
void tst_link::heldEnterClicksOnceAndWaitingClicksAreBounded()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{5, QStringLiteral("W1AW")}});
    showActive(w);
    const auto press = [&w](bool autoRepeat) {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(button(w, 5), &event);
    };
    sim->clearCalls();
    press(false);
    for (int i = 0; i < 30; ++i)
        press(true);
    QTRY_COMPARE(sim->calls().size(), 2);
    QTest::qWait(200);
    QCOMPARE(sim->calls(),
             (QStringList{QStringLiteral("IsConnected W1AW"), QStringLiteral("Connect W1AW 0")}));

    sim->clearCalls();
    for (int i = 0; i < 100; ++i)
        press(false);  // no event is served in between: EchoLink has answered none yet
    QTRY_COMPARE_WITH_TIMEOUT(sim->calls().size(), 2 * 65, 10000);
    QTest::qWait(200);
    const QStringList calls = sim->calls();
    QCOMPARE(calls.size(), 2 * 65);
    for (int i = 0; i < 65; ++i) {
        QCOMPARE(calls[2 * i], QStringLiteral("IsConnected W1AW"));
        QCOMPARE(calls[2 * i + 1],
                 i % 2 ? QStringLiteral("Connect W1AW 0") : QStringLiteral("Disconnect W1AW"));
    }
}

// The answer to a click's question comes in just as its time-out falls due: this thread
// is busy until just past the time-out, then a timer due before the time-out, taken in
// the same round of timers, keeps it busy while the answer (or the bus's own time-out
// error) comes in; the time-out is handled next, with the answer still waiting. The
// click ends there; the late answer acts on nothing, and the next click is served.
void tst_link::answerDueWithItsTimeOutIsNotActedOn()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{6, QStringLiteral("W1AW")}, {7, QStringLiteral("K1ABC")}});
    showActive(w);
    sim->control(QStringLiteral("SetReplyDelay"), {Automation::CallTimeoutMs + 60});
    sim->clearCalls();

    QElapsedTimer sinceClick;
    QTimer stall;
    stall.setSingleShot(true);
    stall.setTimerType(Qt::PreciseTimer);
    stall.setInterval(Automation::CallTimeoutMs - 100);
    connect(&stall, &QTimer::timeout,
            [&sinceClick] { busyUntil(sinceClick, Automation::CallTimeoutMs + 600); });
    stall.start();
    sinceClick.start();
    QTest::mouseClick(button(w, 6), Qt::LeftButton);
    busyUntil(sinceClick, Automation::CallTimeoutMs + 30);
    QTest::qWait(700);
    QCOMPARE(sim->calls(), QStringList{QStringLiteral("IsConnected W1AW")});

    sim->control(QStringLiteral("SetReplyDelay"), {0});
    QTest::mouseClick(button(w, 7), Qt::LeftButton);
    QTRY_COMPARE(sim->calls().size(), 3);
    QTest::qWait(100);
    QCOMPARE(sim->calls(),
             (QStringList{QStringLiteral("IsConnected W1AW"), QStringLiteral("IsConnected K1ABC"),
                          QStringLiteral("Connect K1ABC 0")}));
}

void tst_link::closingFromTheServerClosesThePanel()
{
    frmMain w(host);
    QVERIFY(load(w));
    w.show();
    sim->control(QStringLiteral("EmitClosing"));
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(w.hasEnded());
}

// Only the owner of EchoLink's bus name can close the panel.
void tst_link::closingFromAnotherSenderIsIgnored()
{
    frmMain w(host);
    QVERIFY(load(w));
    w.show();
    QSignalSpy closing(w.findChild<EchoLinkApplication *>(), &EchoLinkApplication::Closing);
    const QDBusMessage spoof =
        QDBusMessage::createSignal(QString::fromLatin1(Automation::ApplicationPath),
                                   QString::fromLatin1(Automation::ApplicationInterface),
                                   QString::fromLatin1(Automation::ClosingSignal));
    QVERIFY(QDBusConnection::sessionBus().send(spoof));
    // A round trip to the server makes sure the bus has delivered the signal by now.
    sim->calls();
    QTest::qWait(200);
    QCOMPARE(closing.count(), 0);
    QVERIFY(w.isVisible());
}

// EchoLink closes while a refresh and a click still wait for answers: the panel shuts
// down once, saves once, and the late answers touch nothing.
void tst_link::closingWhileCallsArePendingShutsDownOnce()
{
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{0, QStringLiteral("W1AW")}});
    showActive(w);
    sim->control(QStringLiteral("HangFor"), {1500});
    QSignalSpy ended(&w, &frmMain::LoadNodeButtonsEnded);
    w.LoadNodeButtons();
    QTest::mouseClick(button(w, 0), Qt::LeftButton);
    QVERIFY(w.isRefreshing());
    QTimer::singleShot(0, &w, &QWidget::close);
    QTRY_VERIFY(w.hasEnded());
    QCOMPARE(ended.count(), 1);
    QVERIFY(QFile::exists(settingsFile()));

    // A second save would bring the file back.
    QVERIFY(QFile::remove(settingsFile()));
    QTest::qWait(2000);  // the hang is over, the late answers have come in
    QVERIFY(!QFile::exists(settingsFile()));
    QCOMPARE(ended.count(), 1);
    QCOMPARE(w.caption(0), QString());
    QVERIFY(sim->calls().contains(QStringLiteral("IsConnected W1AW")));
    QVERIFY(!sim->calls().contains(QStringLiteral("Connect W1AW 0")));
}

void tst_link::closingDuringTheFirstRefreshKeepsTheStoredPosition_data()
{
    QTest::addColumn<QByteArray>("position");
    QTest::newRow("both edges") << QByteArray("ScrnTop=1507\nScrnLeft=3004\n");
    QTest::newRow("top edge only") << QByteArray("ScrnTop=1507\n");
}

// EchoLink closes while the first refresh waits for its answers: the window was never
// shown, so it has no position of its own, and the saved file keeps the stored edges as
// they were written (none added).
void tst_link::closingDuringTheFirstRefreshKeepsTheStoredPosition()
{
    QFETCH(QByteArray, position);
    QVERIFY(QDir().mkpath(QFileInfo(settingsFile()).path()));
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Settings]\n" + position + "NodeCall0=W1AW\n");
    file.close();

    sim->control(QStringLiteral("SetReplyDelay"), {300});
    QTimer closer;
    closer.setInterval(20);
    frmMain w(host);
    connect(&closer, &QTimer::timeout, [&] {
        if (w.isRefreshing()) {
            closer.stop();
            sim->control(QStringLiteral("EmitClosing"));
        }
    });
    closer.start();
    QVERIFY(!load(w));
    QVERIFY(!closer.isActive());

    QSettings stored(settingsFile(), QSettings::IniFormat);
    stored.beginGroup(QStringLiteral("Settings"));
    QCOMPARE(stored.value(QStringLiteral("NodeCall0")).toString(), QStringLiteral("W1AW"));
    QCOMPARE(stored.value(QStringLiteral("ScrnTop")).toString(), QStringLiteral("1507"));
    if (position.contains("ScrnLeft"))
        QCOMPARE(stored.value(QStringLiteral("ScrnLeft")).toString(), QStringLiteral("3004"));
    else
        QVERIFY(!stored.contains(QStringLiteral("ScrnLeft")));
    QCOMPARE(stored.childKeys().size(), position.count('\n') + 43);
}

void tst_link::standInRefusesBadOptionsAndASecondCopy()
{
    const auto run = [](const QStringList &arguments) {
        QProcess process;
        process.start(QStringLiteral(ECHOLINK_SIM_PATH), arguments);
        process.waitForFinished(5000);
        return std::pair(process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError()));
    };
    for (const QStringList &bad : {QStringList{QStringLiteral("--connect-delay"), QStringLiteral("soon")},
                                   QStringList{QStringLiteral("--without"), QStringLiteral("radio")},
                                   QStringList{QStringLiteral("--bogus")}}) {
        const auto [status, error] = run(bad + QStringList{QStringLiteral("--no-window")});
        QVERIFY2(status != 0, qPrintable(bad.join(QLatin1Char(' '))));
        QCOMPARE(error.trimmed().count(QLatin1Char('\n')), 0);
    }
    const auto [status, error] = run({QStringLiteral("--no-window")});
    QVERIFY(status != 0);
    QVERIFY2(error.contains(QLatin1String(Automation::ServiceName)) && error.contains(QLatin1String("taken")),
             qPrintable(error));
    QVERIFY(sim->isRunning());
}

DIALBOARD_TEST_MAIN(tst_link, Offscreen)
#include "tst_link.moc"
