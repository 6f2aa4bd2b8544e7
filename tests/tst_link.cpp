// The panel against the EchoLink stand-in on a private bus: attaching, the caption
// refresh, the click that links and unlinks, and the Closing event.
#include "LoadButtonDriver.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using Module1::NodeCalls;

class tst_link : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void attachingNeedsEveryObject();
    void refreshAsksForEveryEntryInOrder();
    void linkedNodesAreMarkedUntilTheyDrop();
    void failureMidPassStopsSilently();
    void hungServerCostsOneBoundedStall();
    void clickTogglesTheLinkAndFocusesTheHolder();
    void clickThatFailsStillMovesTheFocus();
    void onlyTheLeftButtonLinks();
    void closingFromTheServerClosesThePanel();
    void closingFromAnotherSenderIsIgnored();
    void standInRefusesBadOptionsAndASecondCopy();

private:
    void attach(frmMain &w) const;
    void showActive(frmMain &w) const;
    SimProcess *sim = nullptr;
};

void tst_link::init()
{
    for (QString &call : NodeCalls)
        call.clear();
    sim = new SimProcess;
    QVERIFY(sim->start());
}

void tst_link::cleanup()
{
    delete sim;
    sim = nullptr;
}

void tst_link::attach(frmMain &w) const
{
    w.ELo = std::make_unique<EchoLinkApplication>(QDBusConnection::sessionBus());
    QObject::connect(w.ELo.get(), &EchoLinkApplication::Closing, &w, &frmMain::ELo_Closing);
    sim->clearCalls();
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
    NodeCalls[0] = QStringLiteral("W1AW");
    NodeCalls[5] = QStringLiteral(" k1abc ");
    NodeCalls[20] = QStringLiteral("*ECHOTEST*");
    NodeCalls[39] = QStringLiteral("R&D, \"x\" \\ = ö");
    NodeCalls[10] = QStringLiteral("  ");
    NodeCalls[11] = QStringLiteral("*W1AW");
    NodeCalls[12] = QString(10000, QLatin1Char('Q'));
    frmMain w;
    attach(w);
    w.LoadNodeButtons();

    QStringList expected;
    for (const QString &call : NodeCalls)
        expected << QStringLiteral("IsConnected ") + call;
    QCOMPARE(sim->calls(), expected);
    for (int i = 0; i < 40; ++i)
        QCOMPARE(w.caption(i), NodeCalls[i]);
}

void tst_link::linkedNodesAreMarkedUntilTheyDrop()
{
    NodeCalls[3] = QStringLiteral("W1AW");
    NodeCalls[30] = QStringLiteral("W1AW");
    NodeCalls[7] = QStringLiteral("K1ABC");
    frmMain w;
    attach(w);
    sim->setLinked(QStringLiteral("W1AW"), true);
    w.ButtonLoad_Timer();
    QCOMPARE(w.caption(3), QStringLiteral("*W1AW"));
    QCOMPARE(w.caption(30), QStringLiteral("*W1AW"));
    QCOMPARE(w.caption(7), QStringLiteral("K1ABC"));
    QCOMPARE(w.caption(8), QString());
    QCOMPARE(NodeCalls[3], QStringLiteral("W1AW"));

    sim->setLinked(QStringLiteral("W1AW"), false);
    QCOMPARE(w.caption(3), QStringLiteral("*W1AW"));
    w.ButtonLoad_Timer();
    QCOMPARE(w.caption(3), QStringLiteral("W1AW"));
    QCOMPARE(w.caption(30), QStringLiteral("W1AW"));
}

// Buttons before the failure are recaptioned, the rest keep what they showed; no message.
void tst_link::failureMidPassStopsSilently()
{
    for (int i = 0; i < 40; ++i)
        NodeCalls[i] = QStringLiteral("N%1").arg(i);
    frmMain w;
    attach(w);
    for (int i = 0; i < 40; ++i)
        w.setCaption(i, QStringLiteral("old"));
    sim->control(QStringLiteral("FailAfter"), {7});
    w.LoadNodeButtons();
    for (int i = 0; i < 40; ++i)
        QCOMPARE(w.caption(i), i < 7 ? NodeCalls[i] : QStringLiteral("old"));
    QCOMPARE(sim->calls().size(), 8);
    QVERIFY(!QApplication::activeModalWidget());

    sim->control(QStringLiteral("Heal"));
    w.LoadNodeButtons();
    QCOMPARE(w.caption(39), NodeCalls[39]);
}

// A server that does not answer stops the pass at its first question: one stall, not 40.
void tst_link::hungServerCostsOneBoundedStall()
{
    frmMain w;
    attach(w);
    sim->control(QStringLiteral("HangFor"), {3000});
    QElapsedTimer clock;
    clock.start();
    w.LoadNodeButtons();
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(sim->calls(), QStringList{QStringLiteral("IsConnected ")});
}

void tst_link::clickTogglesTheLinkAndFocusesTheHolder()
{
    NodeCalls[12] = QStringLiteral("K1ABC");
    frmMain w;
    attach(w);
    showActive(w);
    w.cmdRemoteNode[12]->setFocus();
    w.setCaption(12, QStringLiteral("K1ABC"));

    QTest::mouseClick(w.cmdRemoteNode[12], Qt::LeftButton);
    QCOMPARE(sim->calls(), (QStringList{QStringLiteral("IsConnected K1ABC"),
                                        QStringLiteral("Connect K1ABC 0")}));
    QCOMPARE(QApplication::focusWidget(), w.Dummy);
    QCOMPARE(w.caption(12), QStringLiteral("K1ABC"));  // the refresh shows the link

    // A second click acts on what EchoLink reports now, not on the caption.
    sim->clearCalls();
    w.cmdRemoteNode[12]->setFocus();
    QTest::keyClick(w.cmdRemoteNode[12], Qt::Key_Space);
    QCOMPARE(sim->calls(), (QStringList{QStringLiteral("IsConnected K1ABC"),
                                        QStringLiteral("Disconnect K1ABC")}));
    QCOMPARE(QApplication::focusWidget(), w.Dummy);

    // An unassigned button passes the empty call like any other.
    sim->clearCalls();
    QTest::mouseClick(w.cmdRemoteNode[13], Qt::LeftButton);
    QCOMPARE(sim->calls(), (QStringList{QStringLiteral("IsConnected "), QStringLiteral("Connect  0")}));
}

void tst_link::clickThatFailsStillMovesTheFocus()
{
    NodeCalls[1] = QStringLiteral("K1ABC");
    frmMain w;
    attach(w);
    showActive(w);
    sim->control(QStringLiteral("FailAfter"), {0});
    w.cmdRemoteNode[1]->setFocus();
    QTest::mouseClick(w.cmdRemoteNode[1], Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), w.Dummy);
    QCOMPARE(sim->calls(), QStringList{QStringLiteral("IsConnected K1ABC")});
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_link::onlyTheLeftButtonLinks()
{
    NodeCalls[2] = QStringLiteral("K1ABC");
    frmMain w;
    attach(w);
    showActive(w);
    QTest::mouseClick(w.cmdRemoteNode[2], Qt::MiddleButton);
    QVERIFY(editButton(w, 2, [](frmLoadButtons *) {}));  // a right click opens the dialog only
    QCOMPARE(sim->calls(), QStringList());
}

void tst_link::closingFromTheServerClosesThePanel()
{
    frmMain w;
    attach(w);
    w.show();
    sim->control(QStringLiteral("EmitClosing"));
    QTRY_VERIFY(!w.isVisible());
}

// Only the owner of EchoLink's bus name can close the panel.
void tst_link::closingFromAnotherSenderIsIgnored()
{
    frmMain w;
    attach(w);
    w.show();
    QSignalSpy closing(w.ELo.get(), &EchoLinkApplication::Closing);
    const QDBusMessage spoof = QDBusMessage::createSignal(
        QString::fromLatin1(Automation::ApplicationPath),
        QString::fromLatin1(Automation::ApplicationInterface),
        QString::fromLatin1(Automation::ClosingSignal));
    QVERIFY(QDBusConnection::sessionBus().send(spoof));
    // A round trip to the server makes sure the bus has delivered the signal by now.
    sim->calls();
    QTest::qWait(200);
    QCOMPARE(closing.count(), 0);
    QVERIFY(w.isVisible());
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
