// Real links between real nodes over loopback (block 127.10.1.0/24): node A and node B log
// on to the directory stand-in, link by callsign, node number and conference name, either end
// starting; refused and forged callers never count as linked; the contract answers any
// text plainly; SIGTERM logs off, raises Closing and ends the node cleanly.
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTest>

#include <csignal>

namespace {

const QString Block = loopbackBlock(1);
const QString Password = QStringLiteral("secret, with a comma");
constexpr int LinkMs = 2000;    // a link comes up on both ends within this
constexpr int StartMs = 10000;  // a node logs on and has its list within this

// The node number the directory gave a station, from its log-on line.
QString nodeNumber(DirectoryProcess &directory, const QString &callsign)
{
    return directory.waitForLine(QStringLiteral("logon %1 ").arg(callsign), StartMs)
        .section(QLatin1Char(' '), 4, 4);
}

}  // namespace

class ClosingWatch : public QObject
{
    Q_OBJECT

public:
    int count = 0;
    bool loggedOffBefore = false;
    DirectoryProcess *directory = nullptr;

public Q_SLOTS:
    void closing()
    {
        ++count;
        // The directory wrote its line before it confirmed the log-off; allow only for
        // the pipe in between.
        loggedOffBefore = !directory->waitForLine(QStringLiteral("logoff NODE-A"), 200).isEmpty();
    }
};

class LinksWatch : public QObject
{
    Q_OBJECT

public:
    QList<QStringList> seen;

public Q_SLOTS:
    void changed(const QStringList &links) { seen << links; }
};

class tst_node_links : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void linksByCallsignAndDropsOnBothEnds();
    void farEndLinksIn();
    void linksByNodeNumberAndConferenceName();
    void refusedAndForgedCallersNeverCountAsLinked();
    void contractAnswersAnyTextPlainly();
    void oneServerPerBusAndPerAddress();
    void sigtermLogsOffThenRaisesClosing();

private:
    // Starts a node of the block and waits until its station list has `stations` entries.
    bool startNode(NodeProcess &node, const QMap<QString, QString> &config, int stations);

    DirectoryProcess m_directory;
    NodeProcess m_a{QStringLiteral("A"), Block, 1};
    NodeProcess m_b{QStringLiteral("B"), Block, 2};
};

bool tst_node_links::startNode(NodeProcess &node, const QMap<QString, QString> &config, int stations)
{
    node.writeConfig(config);
    return node.start() && node.waitForStations(stations, StartMs);
}

void tst_node_links::initTestCase()
{
    QVERIFY(m_directory.start(Block + QStringLiteral(".3"), {QStringLiteral("--password"), Password}));
    QVERIFY(startNode(m_a, m_a.standardConfig(QStringLiteral("NODE-A")), 1));
    QVERIFY(startNode(m_b, m_b.standardConfig(QStringLiteral("NODE-B")), 2));
    QVERIFY(m_a.waitForStations(2, StartMs));
    QCOMPARE(m_a.directoryStatus(), QStringLiteral("online"));
    // Each logged on from its own address, with the password (comma and all) intact and
    // the location as its description.
    QVERIFY(m_directory.waitForLine(QStringLiteral("logon NODE-A ON %1.1 ").arg(Block), StartMs)
                .endsWith(QStringLiteral(" Newington, CT")));
    QVERIFY(!m_directory.waitForLine(QStringLiteral("logon NODE-B ON %1.2 ").arg(Block), StartMs).isEmpty());
}

void tst_node_links::linksByCallsignAndDropsOnBothEnds()
{
    LinksWatch watch;
    QVERIFY(m_a.bus().connection().connect(
        QLatin1String(Automation::ServiceName), QLatin1String(Automation::StationPath),
        QLatin1String(Automation::StationInterface), QLatin1String(Automation::LinksChangedSignal), &watch,
        SLOT(changed(QStringList))));
    const QDBusMessage reply = m_a.connectTo(QStringLiteral("node-b"));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_a.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    QCOMPARE(m_a.links(), QStringList{QStringLiteral("NODE-B")});
    QCOMPARE(m_b.links(), QStringList{QStringLiteral("NODE-A")});
    // Asking again changes nothing.
    QCOMPARE(m_a.connectTo(QStringLiteral("NODE-B")).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(m_a.links(), QStringList{QStringLiteral("NODE-B")});

    QCOMPARE(m_a.disconnect(QStringLiteral("Node-B")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_a.waitForLinked(QStringLiteral("NODE-B"), false, LinkMs));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QCOMPARE(m_b.links(), QStringList());
    // Each change was announced once, with the links then up.
    QTRY_COMPARE(watch.seen, (QList<QStringList>{{QStringLiteral("NODE-B")}, {}}));
    // Dropping what is not linked does nothing.
    QCOMPARE(m_a.disconnect(QStringLiteral("NODE-B")).type(), QDBusMessage::ReplyMessage);
}

void tst_node_links::farEndLinksIn()
{
    QCOMPARE(m_b.connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_a.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    // Recorded by the number the directory lists too.
    QVERIFY(m_a.isConnected(nodeNumber(m_directory, QStringLiteral("NODE-B"))));
    QCOMPARE(m_a.links(), QStringList{QStringLiteral("NODE-B")});
    // B's station information (name and location by default) reached A, cleaned.
    QVERIFY(m_a.waitForOutput(QStringLiteral("info from NODE-B: B Newington, CT"), LinkMs));
    // Either end may drop it.
    m_a.disconnect(QStringLiteral("NODE-B"));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QVERIFY(m_a.waitForLinked(QStringLiteral("NODE-B"), false, LinkMs));
}

void tst_node_links::linksByNodeNumberAndConferenceName()
{
    NodeProcess conference(QStringLiteral("C"), Block, 4);
    QVERIFY(startNode(conference, conference.standardConfig(QStringLiteral("*TESTCONF*")), 3));
    QVERIFY(m_a.waitForStations(3, StartMs));

    QCOMPARE(m_a.connectTo(QStringLiteral("*testconf*")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_a.waitForLinked(QStringLiteral("*TESTCONF*"), true, LinkMs));
    QVERIFY(conference.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    m_a.disconnect(QStringLiteral("*TESTCONF*"));
    QVERIFY(conference.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));

    const QString number = nodeNumber(m_directory, QStringLiteral("NODE-B"));
    QVERIFY(!number.isEmpty());
    QCOMPARE(m_a.connectTo(number).type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_a.waitForLinked(number, true, LinkMs));
    QVERIFY(m_a.isConnected(QStringLiteral("NODE-B")));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    m_a.disconnect(number);
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
}

void tst_node_links::refusedAndForgedCallersNeverCountAsLinked()
{
    // A station that calls itself NODE-B from another address of the block: the directory
    // refuses its log-on (it lacks NODE-B's password) and lists NODE-B at B's address.
    NodeProcess forger(QStringLiteral("F"), Block, 5);
    QMap<QString, QString> forged = forger.standardConfig(QStringLiteral("NODE-B"));
    forged.insert(QStringLiteral("Station/Password"), QStringLiteral("guess"));
    forger.writeConfig(forged);
    QVERIFY(forger.start());
    QVERIFY(forger.waitForOutput(QStringLiteral("refused the log-on"), StartMs));
    QVERIFY(forger.directoryStatus().contains(QStringLiteral("refused the log-on")));
    forger.connectTo(QStringLiteral("NODE-A"));  // fetches a list; the link starts from it
    QVERIFY(m_a.waitForOutput(QStringLiteral("refused NODE-B from %1.5").arg(Block), StartMs));
    for (int i = 0; i < 20; ++i) {
        QVERIFY(!m_a.isConnected(QStringLiteral("NODE-B")));
        QCOMPARE(m_a.links(), QStringList());
        QTest::qWait(50);
    }

    // A station that takes no incoming links: the caller is told and dropped.
    NodeProcess closed(QStringLiteral("G"), Block, 6);
    QMap<QString, QString> config = closed.standardConfig(QStringLiteral("NODE-G"));
    config.insert(QStringLiteral("Links/Incoming"), QStringLiteral("none"));
    QVERIFY(startNode(closed, config, 3));
    QVERIFY(m_b.waitForStations(3, StartMs));
    QCOMPARE(m_b.connectTo(QStringLiteral("NODE-G")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(closed.waitForOutput(QStringLiteral("refused NODE-B"), StartMs));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-G"), false, LinkMs));
    QVERIFY(!closed.isConnected(QStringLiteral("NODE-B")));
    QCOMPARE(closed.links(), QStringList());
}

void tst_node_links::contractAnswersAnyTextPlainly()
{
    using namespace Automation;
    const QDBusMessage callsign = m_a.call(SetupConfigPath, SetupConfigInterface, CallsignMethod);
    QCOMPARE(callsign.arguments().value(0).toString(), QStringLiteral("NODE-A"));
    const QDBusMessage sysop = m_a.call(SysopConfigPath, "org.freedesktop.DBus.Introspectable", "Introspect");
    QVERIFY(sysop.arguments().value(0).toString().contains(QLatin1String(SysopConfigInterface)));

    const QStringList awkward = {QString(),
                                 QStringLiteral("   "),
                                 QString(10000, QLatin1Char('Q')),
                                 QStringLiteral("R&D, \"x\" \\ = ö 日本"),
                                 QStringLiteral("'; DROP"),
                                 QStringLiteral("W9NONE"),
                                 QStringLiteral("00000000000000000000123")};
    for (const QString &text : awkward) {
        const QDBusMessage asked = m_a.call(ApplicationPath, ApplicationInterface, IsConnectedMethod, {text});
        QCOMPARE(asked.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(asked.arguments().value(0).toBool(), false);
        QCOMPARE(m_a.disconnect(text).type(), QDBusMessage::ReplyMessage);
        const QDBusMessage linked = m_a.connectTo(text);
        QCOMPARE(linked.type(), QDBusMessage::ErrorMessage);
        QVERIFY2(linked.errorName().startsWith(QLatin1String("org.dialboard.EchoLink.Error.")),
                 qPrintable(linked.errorName()));
    }
    QCOMPARE(m_a.connectTo(QString()).errorName(), QStringLiteral("org.dialboard.EchoLink.Error.EmptyCall"));
    QCOMPARE(m_a.connectTo(QStringLiteral("node-a")).errorName(),
             QStringLiteral("org.dialboard.EchoLink.Error.OwnCallsign"));
    const QDBusMessage unknown = m_a.connectTo(QStringLiteral("W9NONE"));
    QCOMPARE(unknown.errorName(), QStringLiteral("org.dialboard.EchoLink.Error.NoSuchStation"));
    QVERIFY(m_a.waitForOutput(QStringLiteral("no such station: W9NONE"), StartMs));
    QVERIFY(m_a.isRunning());
    QVERIFY(!m_a.output().contains(Password));
}

void tst_node_links::oneServerPerBusAndPerAddress()
{
    // A second server on A's bus: the name is taken.
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_a.bus().address());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_a.configHome());
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(ECHOLINK_NODE_PATH), {});
    QVERIFY(second.waitForFinished(10000));
    QVERIFY(second.exitCode() != 0);
    QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains(QStringLiteral("is taken")));

    // A node on a bus of its own but with A's address: the link ports are taken.
    NodeProcess twin(QStringLiteral("twin"), Block, 1);
    twin.writeConfig(twin.standardConfig(QStringLiteral("NODE-T")));
    QVERIFY(twin.start({}, false));
    QCOMPARE(twin.waitForExit(10000), 1);
    QVERIFY2(twin.output().contains(
                 QStringLiteral("cannot bind the link ports UDP 5198 and 5199 on %1.1").arg(Block)),
             qPrintable(twin.output()));
}

void tst_node_links::sigtermLogsOffThenRaisesClosing()
{
    ClosingWatch watch;
    watch.directory = &m_directory;
    QVERIFY(m_a.bus().connection().connect(
        QLatin1String(Automation::ServiceName), QLatin1String(Automation::ApplicationPath),
        QLatin1String(Automation::ApplicationInterface), QLatin1String(Automation::ClosingSignal), &watch,
        SLOT(closing())));
    QCOMPARE(m_b.connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_a.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));

    m_a.sendSignal(SIGTERM);
    QVERIFY2(m_a.waitForExit(5000) == 0, qPrintable(m_a.output().right(3000)));
    QTRY_COMPARE(watch.count, 1);
    QVERIFY(watch.loggedOffBefore);
    QVERIFY(m_a.output().contains(QStringLiteral("logged off the directory")));
    // The far end hears the link end at once, not after the link time-out.
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_links test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_links.moc"
