// An error that ends echolink-node before its window shows, when the node was started from
// the desktop (an X display, standard error not a terminal): a taken bus name is shown in
// a critical box, read from outside through AT-SPI as a user's screen reader reads it, and
// on standard error; the node ends, with a failure status, once the user dismisses the
// box. Without a window (--no-window) it ends at once with no box.
#include "Atspi.h"
#include "Desktop.h"
#include "TestEnvironment.h"
#include "X11Probe.h"
#include "automation/AutomationContract.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int BoxMs = 15000;  // the node starts, loads its window plugin and shows the box
const QString Taken = QStringLiteral("the bus name org.dialboard.EchoLink is taken");

}  // namespace

class tst_node_error_box : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void takenBusNameShownInBoxUntilDismissed();
    void noBoxWithoutWindow();

private:
    // Starts the node on the test's bus, where the name is already taken.
    void startNode(QProcess &node, const QStringList &arguments);

    QTemporaryDir m_home;
    Atspi::Bus m_accessibility;
};

void tst_node_error_box::initTestCase()
{
    REQUIRE_WINDOW_MANAGER();
    if (!Desktop::haveTools())
        QSKIP("needs xdotool, xwininfo, xprop and import (scripts/deps.sh --tests)");
    if (Atspi::Bus::installed())
        QVERIFY2(m_accessibility.start(), qPrintable(m_accessibility.whyNot()));
    // Another server of the contract owns the name: the node cannot take it.
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.registerService(QLatin1String(Automation::ServiceName)));
}

void tst_node_error_box::cleanupTestCase()
{
    m_accessibility.stop();
}

void tst_node_error_box::startNode(QProcess &node, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_home.path());
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    node.setProcessEnvironment(environment);
    // Standard error a pipe, as from a desktop's launcher: nobody at a terminal.
    node.start(QStringLiteral(ECHOLINK_NODE_PATH), arguments + QStringList{QStringLiteral("--no-audio")});
    QVERIFY(node.waitForStarted(5000));
}

void tst_node_error_box::takenBusNameShownInBoxUntilDismissed()
{
    QProcess node;
    startNode(node, {});
    const WId box = Desktop::waitForWindow(node.processId(), QStringLiteral("echolink-node"), BoxMs);
    // Said on standard error too, before the box.
    QString err;
    QTRY_VERIFY((err += QString::fromLocal8Bit(node.readAllStandardError())).contains(Taken));
    QVERIFY(box != 0);

    // The box's text, as a screen reader finds it.
    if (Atspi::Bus::installed()) {
        Atspi::Reader reader(m_accessibility.address());
        Atspi::Node application;
        QVERIFY(QTest::qWaitFor(
            [&] { return !(application = reader.application(node.processId())).isNull(); }, BoxMs));
        QList<Atspi::Node> text;
        QVERIFY(QTest::qWaitFor(
            [&] {
                text = reader.find(application,
                                   [&](const Atspi::Node &n) { return reader.name(n).contains(Taken); });
                return !text.isEmpty();
            },
            5000));
    }

    // It waits for the user, then ends with a failure.
    QTest::qWait(1000);
    QCOMPARE(node.state(), QProcess::Running);
    Desktop::activate(box);
    Desktop::key(QStringLiteral("Return"));
    QVERIFY(node.waitForFinished(5000));
    QCOMPARE(node.exitStatus(), QProcess::NormalExit);
    QCOMPARE(node.exitCode(), 1);
}

void tst_node_error_box::noBoxWithoutWindow()
{
    QProcess node;
    startNode(node, {QStringLiteral("--no-window")});
    QVERIFY(node.waitForFinished(5000));
    QCOMPARE(node.exitCode(), 1);
    QVERIFY(QString::fromLocal8Bit(node.readAllStandardError()).contains(Taken));
}

DIALBOARD_TEST_MAIN(tst_node_error_box, WindowManager)

#include "tst_node_error_box.moc"
