// The panel's contract, exercised on the bus exactly as the panel does it, against both
// servers of it: the stand-in (echolink-sim) and the real station (echolink-node, block
// 127.10.4.0/24, linking with a second node through the directory stand-in). Raw messages,
// each bounded by the contract's 500 ms; a bus monitor shows the questions arrive in order.
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

const QString Block = loopbackBlock(4);
constexpr int LinkMs = 2000;
constexpr int StartMs = 10000;

// What a panel's forty buttons may hold, empty ones and odd text included.
QStringList fortyCalls()
{
    QStringList calls;
    for (int i = 0; i < 40; ++i)
        calls << QString();
    calls[0] = QStringLiteral("NODE-B");
    calls[5] = QStringLiteral(" k1abc ");
    calls[11] = QStringLiteral("*W1AW");
    calls[12] = QString(10000, QLatin1Char('Q'));
    calls[20] = QStringLiteral("*ECHOTEST*");
    calls[30] = QStringLiteral("123456");
    calls[39] = QStringLiteral("R&D, \"x\" \\ = ö");
    return calls;
}

QDBusMessage question(const char *method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1String(Automation::ServiceName), QLatin1String(Automation::ApplicationPath),
        QLatin1String(Automation::ApplicationInterface), QLatin1String(method));
    message.setArguments(arguments);
    return message;
}

}  // namespace

class ClosingCount : public QObject
{
    Q_OBJECT

public:
    int count = 0;

public Q_SLOTS:
    void closing() { ++count; }
};

class tst_node_contract : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void attachFindsEveryObject_data() { servers(); }
    void attachFindsEveryObject();
    void refreshAsksFortyQuestionsInOrder_data() { servers(); }
    void refreshAsksFortyQuestionsInOrder();
    void clickLinksAndClickAgainDrops_data() { servers(); }
    void clickLinksAndClickAgainDrops();
    void closingOnlyFromTheOwner_data() { servers(); }
    void closingOnlyFromTheOwner();
    void stoppedServerEndsThePassAtTheTimeOut_data() { servers(); }
    void stoppedServerEndsThePassAtTheTimeOut();

private:
    void servers();
    // Starts the server of the current row; its bus, address and process id are then set.
    void startServer();
    void stopServer();
    // Raises Closing the way that server does when it quits.
    void closeServer();

    QDBusConnection m_bus{QString()};
    QString m_busAddress;
    qint64 m_pid = 0;
    bool m_node = false;

    DirectoryProcess m_directory;
    std::unique_ptr<NodeProcess> m_a;
    std::unique_ptr<NodeProcess> m_b;
    std::unique_ptr<SimProcess> m_sim;
};

void tst_node_contract::servers()
{
    QTest::addColumn<bool>("node");
    QTest::newRow("echolink-sim") << false;
    QTest::newRow("echolink-node") << true;
}

void tst_node_contract::initTestCase()
{
    QVERIFY(m_directory.start(Block + QStringLiteral(".3")));
}

void tst_node_contract::startServer()
{
    QFETCH(bool, node);
    m_node = node;
    if (!node) {
        m_sim = std::make_unique<SimProcess>();
        QVERIFY(m_sim->start({QStringLiteral("--callsign"), QStringLiteral("NODE-A")}));
        m_bus = QDBusConnection::sessionBus();
        m_busAddress = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        m_pid = m_sim->process().processId();
        return;
    }
    m_a = std::make_unique<NodeProcess>(QStringLiteral("A"), Block, 1);
    m_b = std::make_unique<NodeProcess>(QStringLiteral("B"), Block, 2);
    m_a->writeConfig(m_a->standardConfig(QStringLiteral("NODE-A")));
    m_b->writeConfig(m_b->standardConfig(QStringLiteral("NODE-B")));
    QVERIFY(m_a->start());
    QVERIFY(m_b->start());
    QVERIFY(m_a->waitForStations(2, StartMs));
    QVERIFY(m_b->waitForStations(2, StartMs));
    m_bus = m_a->bus().connection();
    m_busAddress = m_a->bus().address();
    m_pid = m_a->pid();
}

void tst_node_contract::cleanup()
{
    if (m_pid != 0)
        ::kill(pid_t(m_pid), SIGCONT);
    m_sim.reset();
    m_a.reset();
    m_b.reset();
    m_pid = 0;
}

void tst_node_contract::closeServer()
{
    if (m_node)
        m_a->sendSignal(SIGTERM);
    else
        m_sim->control(QStringLiteral("EmitClosing"));
}

void tst_node_contract::attachFindsEveryObject()
{
    startServer();
    const QList<std::pair<const char *, const char *>> objects = {
        {Automation::ApplicationPath, Automation::ApplicationInterface},
        {Automation::SetupConfigPath, Automation::SetupConfigInterface},
        {Automation::SysopConfigPath, Automation::SysopConfigInterface}};
    for (const auto &[path, interface] : objects) {
        const QDBusMessage introspect = QDBusMessage::createMethodCall(
            QLatin1String(Automation::ServiceName), QLatin1String(path),
            QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
        const QDBusMessage reply = m_bus.call(introspect, QDBus::Block, Automation::CallTimeoutMs);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QVERIFY2(reply.arguments().value(0).toString().contains(
                     QStringLiteral("<interface name=\"%1\">").arg(QLatin1String(interface))),
                 path);
    }
    QDBusMessage callsign = QDBusMessage::createMethodCall(
        QLatin1String(Automation::ServiceName), QLatin1String(Automation::SetupConfigPath),
        QLatin1String(Automation::SetupConfigInterface), QLatin1String(Automation::CallsignMethod));
    QCOMPARE(m_bus.call(callsign, QDBus::Block, Automation::CallTimeoutMs).arguments().value(0).toString(),
             QStringLiteral("NODE-A"));
}

void tst_node_contract::refreshAsksFortyQuestionsInOrder()
{
    startServer();
    QProcess monitor;
    monitor.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--address"), m_busAddress,
                   QStringLiteral("type='method_call',interface='%1',member='%2'")
                       .arg(QLatin1String(Automation::ApplicationInterface),
                            QLatin1String(Automation::IsConnectedMethod))});
    QVERIFY(monitor.waitForStarted(5000));
    QTest::qWait(500);  // the monitor is in place

    // All forty in flight together, the answers taken in order, each within 500 ms of
    // the one before (of the start, for the first).
    const QStringList calls = fortyCalls();
    QList<QDBusPendingCall> pending;
    for (const QString &call : calls)
        pending << m_bus.asyncCall(question(Automation::IsConnectedMethod, {call}),
                                   Automation::CallTimeoutMs);
    QElapsedTimer sincePrevious;
    sincePrevious.start();
    for (QDBusPendingCall &answer : pending) {
        answer.waitForFinished();
        QVERIFY2(!answer.isError(), qPrintable(answer.error().message()));
        QVERIFY(sincePrevious.restart() <= Automation::CallTimeoutMs);
        QCOMPARE(answer.reply().arguments().value(0).toBool(), false);
    }

    // The monitor saw the forty questions arrive in the panel's order.
    QTRY_VERIFY_WITH_TIMEOUT(
        QString::fromUtf8(monitor.peek(1 << 24)).count(QStringLiteral("member=IsConnected")) >= 40, 5000);
    monitor.kill();
    monitor.waitForFinished(3000);
    const QString seen = QString::fromUtf8(monitor.readAllStandardOutput());
    // dbus-monitor prints each call's string argument on the line after the call, between
    // the first and the last quote, unescaped.
    const QStringList lines = seen.split(QLatin1Char('\n'));
    QStringList arrived;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].contains(QLatin1String("member=IsConnected")))
            continue;
        const QString &argument = lines[i + 1];
        const qsizetype first = argument.indexOf(QLatin1Char('"'));
        arrived << argument.mid(first + 1, argument.lastIndexOf(QLatin1Char('"')) - first - 1);
    }
    QCOMPARE(arrived.size(), 40);
    for (int i = 0; i < 40; ++i)
        QCOMPARE(arrived[i], calls[i]);
}

void tst_node_contract::clickLinksAndClickAgainDrops()
{
    startServer();
    auto ask = [this](const char *method, const QVariantList &arguments) {
        return m_bus.call(question(method, arguments), QDBus::Block, Automation::CallTimeoutMs);
    };
    auto linked = [&] {
        return ask(Automation::IsConnectedMethod, {QStringLiteral("NODE-B")}).arguments().value(0).toBool();
    };
    QVERIFY(!linked());
    QCOMPARE(ask(Automation::ConnectMethod, {QStringLiteral("NODE-B"), 0}).type(),
             QDBusMessage::ReplyMessage);
    QTRY_VERIFY_WITH_TIMEOUT(linked(), LinkMs);
    if (m_node)
        QVERIFY(m_b->waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    QCOMPARE(ask(Automation::DisconnectMethod, {QStringLiteral("NODE-B")}).type(),
             QDBusMessage::ReplyMessage);
    QTRY_VERIFY_WITH_TIMEOUT(!linked(), LinkMs);
    if (m_node)
        QVERIFY(m_b->waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
}

void tst_node_contract::closingOnlyFromTheOwner()
{
    startServer();
    ClosingCount received;
    QVERIFY(m_bus.connect(QLatin1String(Automation::ServiceName), QLatin1String(Automation::ApplicationPath),
                          QLatin1String(Automation::ApplicationInterface),
                          QLatin1String(Automation::ClosingSignal), &received, SLOT(closing())));
    // Another client of the same bus raises a Closing of its own: dropped.
    QDBusConnection spoofer = QDBusConnection::connectToBus(m_busAddress, QStringLiteral("spoofer"));
    QVERIFY(spoofer.isConnected());
    QVERIFY(spoofer.send(QDBusMessage::createSignal(QLatin1String(Automation::ApplicationPath),
                                                    QLatin1String(Automation::ApplicationInterface),
                                                    QLatin1String(Automation::ClosingSignal))));
    QTest::qWait(500);
    QCOMPARE(received.count, 0);
    QDBusConnection::disconnectFromBus(QStringLiteral("spoofer"));

    closeServer();
    QTRY_COMPARE_WITH_TIMEOUT(received.count, 1, 5000);
}

void tst_node_contract::stoppedServerEndsThePassAtTheTimeOut()
{
    startServer();
    ::kill(pid_t(m_pid), SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    const QDBusMessage reply = m_bus.call(question(Automation::IsConnectedMethod, {QStringLiteral("NODE-B")}),
                                          QDBus::Block, Automation::CallTimeoutMs);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QVERIFY2(elapsed >= Automation::CallTimeoutMs - 50 && elapsed < Automation::CallTimeoutMs + 1000,
             qPrintable(QString::number(elapsed)));
    ::kill(pid_t(m_pid), SIGCONT);
    const QDBusMessage after =
        m_bus.call(question(Automation::IsConnectedMethod, {QStringLiteral("NODE-B")}), QDBus::Block, 2000);
    QCOMPARE(after.type(), QDBusMessage::ReplyMessage);
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_contract test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_contract.moc"
