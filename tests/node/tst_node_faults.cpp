// echolink-node under faults and bad input (block 127.10.2.0/24): configuration mistakes,
// a directory that is down, silent or answers garbage, a flood of malformed datagrams, and
// a far node killed mid-link. The node keeps running, links it has stay up, and every
// failure is said plainly.
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

namespace {

const QString Block = loopbackBlock(2);
constexpr int LinkMs = 2000;
constexpr int StartMs = 10000;
// A silent link ends after the node's link time-out, short here; slack for a loaded machine.
constexpr int LinkTimeoutMs = 3000;

QString errorOf(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString();
}

}  // namespace

class tst_node_faults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void badValuesNameTheKeyAndTheFile_data();
    void badValuesNameTheKeyAndTheFile();
    void incompleteOrExposedConfigurationStartsNoNetworking();
    void valuesAsWrittenReachTheDirectory();
    void directoryDownAtStartThenBack();
    void silentDirectoryIsRetriedUntilItAnswers();
    void brokenStationListsLeaveLinksIntact();
    void malformedDatagramsLeaveTheLinkIntact();
    void quitWaitsForASilentDirectoryAtMostTwoSeconds();
    void killedPeerDropsAfterTheLinkTimeOut();

private:
    void linkAandB(NodeProcess &a, NodeProcess &b, const QMap<QString, QString> &timing = {});
};

void tst_node_faults::badValuesNameTheKeyAndTheFile_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("named");
    QTest::newRow("links") << "Links/MaxLinks"
                           << "many"
                           << "[Links] MaxLinks";
    QTest::newRow("zero links") << "Links/MaxLinks"
                                << "0"
                                << "[Links] MaxLinks";
    QTest::newRow("policy") << "Links/Incoming"
                            << "friends"
                            << "[Links] Incoming";
    QTest::newRow("pattern") << "Links/Accept"
                             << "(W1"
                             << "[Links] Accept";
    QTest::newRow("address") << "Network/BindAddress"
                             << "here"
                             << "[Network] BindAddress";
    QTest::newRow("callsign") << "Station/Callsign"
                              << "W1 AW"
                              << "[Station] Callsign";
    QTest::newRow("retry") << "Timing/DirectoryRetryMs"
                           << "-5"
                           << "[Timing] DirectoryRetryMs";
    QTest::newRow("sound device") << "Audio/OutputDevice"
                                  << "default"
                                  << "[Audio] OutputDevice";
    QTest::newRow("gsm only") << "Audio/GsmOnly"
                              << "maybe"
                              << "[Audio] GsmOnly";
    QTest::newRow("transmit limit") << "Audio/TransmitLimitMs"
                                    << "5"
                                    << "[Audio] TransmitLimitMs";
    QTest::newRow("proxy port") << "Network/Proxy"
                                << "proxy.example.org:0"
                                << "[Network] Proxy";
    // Unknown names end the node as bad values do, naming the nearest known one.
    QTest::newRow("misspelt key") << "Station/Callsing"
                                  << "W1AW"
                                  << "unknown key Callsing in [Station]; did you mean Callsign?";
    QTest::newRow("section") << "station/Name"
                             << "W1AW"
                             << "unknown section [station]; did you mean [Station]?";
}

void tst_node_faults::badValuesNameTheKeyAndTheFile()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, named);
    NodeProcess node(QStringLiteral("bad"), Block, 1);
    QMap<QString, QString> config = node.standardConfig(QStringLiteral("NODE-A"));
    config.insert(key, value);
    node.writeConfig(config);
    const QByteArray before = [&] {
        QFile f(node.configPath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    QVERIFY(node.start({}, false));
    QCOMPARE(node.waitForExit(10000), 1);
    const QString output = node.output();
    QVERIFY2(output.contains(named) && output.contains(node.configPath()), qPrintable(output));
    QVERIFY(!output.contains(QStringLiteral("secret")));
    QFile after(node.configPath());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);  // nothing rewritten behind the user's back
}

void tst_node_faults::incompleteOrExposedConfigurationStartsNoNetworking()
{
    DirectoryProcess directory;
    QVERIFY(directory.start(Block + QStringLiteral(".3")));

    // No file at all: the node makes one for the user alone and says what to set.
    NodeProcess fresh(QStringLiteral("fresh"), Block, 1);
    QVERIFY(fresh.start());
    QVERIFY(fresh.waitForOutput(QStringLiteral("Callsign and Password are set in the [Station] section of %1")
                                    .arg(fresh.configPath()),
                                StartMs));
    QCOMPARE(QFile::permissions(fresh.configPath()), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                         | QFileDevice::ReadUser | QFileDevice::WriteUser);
    QVERIFY(fresh.directoryStatus().startsWith(QStringLiteral("off: ")));
    QCOMPARE(errorOf(fresh.connectTo(QStringLiteral("NODE-B"))),
             QStringLiteral("org.dialboard.EchoLink.Error.Offline"));
    QVERIFY(!fresh.isConnected(QStringLiteral("NODE-B")));

    // A complete file that others may read: the password is exposed, so no networking.
    NodeProcess exposed(QStringLiteral("exposed"), Block, 2);
    exposed.writeConfig(exposed.standardConfig(QStringLiteral("NODE-B")));
    QVERIFY(QFile::setPermissions(exposed.configPath(),
                                  QFile::permissions(exposed.configPath()) | QFileDevice::ReadOther));
    QVERIFY(exposed.start());
    QVERIFY(exposed.waitForOutput(QStringLiteral("run: chmod 600 %1").arg(exposed.configPath()), StartMs));
    QVERIFY(exposed.directoryStatus().contains(QStringLiteral("chmod 600")));
    QTest::qWait(500);
    QCOMPARE(directory.log(), QStringList{QStringLiteral("ready")});  // never contacted
    QVERIFY(!exposed.output().contains(QStringLiteral("secret")));
    QVERIFY(!exposed.directoryStatus().contains(QStringLiteral("secret")));
}

void tst_node_faults::valuesAsWrittenReachTheDirectory()
{
    // A password with a quote and a semicolon, before the sections that say where the
    // directory is and which address to use: the directory takes only that password.
    const QString password = QStringLiteral("Se\"cr;et \\x");
    DirectoryProcess directory;
    QVERIFY(directory.start(Block + QStringLiteral(".3"), {QStringLiteral("--password"), password}));
    NodeProcess a(QStringLiteral("A"), Block, 1);
    a.writeConfig({});
    QFile file(a.configPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QStringLiteral("[Station]\nCallsign=node-a\nPassword=%1\n"
                              "[Links]\nIncoming=none\n"
                              "[Network]\nDirectoryServers=%2.3\nBindAddress=%2.1\n"
                              "[Audio]\nInputDevice=\nOutputDevice=\n")
                   .arg(password, Block)
                   .toUtf8());
    file.close();
    QVERIFY(a.start());
    QVERIFY(!directory.waitForLine(QStringLiteral("logon NODE-A ON %1.1 ").arg(Block), StartMs).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(a.directoryStatus(), QStringLiteral("online"), StartMs);
    QVERIFY(!a.output().contains(QStringLiteral("cr;et")));
}

void tst_node_faults::linkAandB(NodeProcess &a, NodeProcess &b, const QMap<QString, QString> &timing)
{
    for (NodeProcess *node : {&a, &b}) {
        if (!node->isRunning()) {
            QMap<QString, QString> config =
                node->standardConfig(node == &a ? QStringLiteral("NODE-A") : QStringLiteral("NODE-B"));
            config.insert(timing);
            node->writeConfig(config);
            QVERIFY(node->start());
        }
    }
    QVERIFY(a.waitForStations(2, StartMs));
    QVERIFY(b.waitForStations(2, StartMs));
    QCOMPARE(errorOf(a.connectTo(QStringLiteral("NODE-B"))), QString());
    QVERIFY(a.waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
}

void tst_node_faults::directoryDownAtStartThenBack()
{
    NodeProcess a(QStringLiteral("A"), Block, 1);
    a.writeConfig(a.standardConfig(QStringLiteral("NODE-A")));
    QVERIFY(a.start());
    QVERIFY(a.waitForOutput(QStringLiteral("trying again"), StartMs));
    QVERIFY(a.directoryStatus().contains(QStringLiteral("trying again")));
    QCOMPARE(errorOf(a.connectTo(QStringLiteral("NODE-B"))),
             QStringLiteral("org.dialboard.EchoLink.Error.NoStationList"));
    QVERIFY(a.isRunning());

    DirectoryProcess directory;
    QVERIFY(directory.start(Block + QStringLiteral(".3")));
    QVERIFY(!directory.waitForLine(QStringLiteral("logon NODE-A ON"), StartMs).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(a.directoryStatus(), QStringLiteral("online"), StartMs);
}

void tst_node_faults::silentDirectoryIsRetriedUntilItAnswers()
{
    DirectoryProcess directory;
    QVERIFY(directory.start(Block + QStringLiteral(".3")));
    directory.setMode(QStringLiteral("silent"));
    NodeProcess a(QStringLiteral("A"), Block, 1);
    a.writeConfig(a.standardConfig(QStringLiteral("NODE-A")));
    QVERIFY(a.start());
    // The node's own bound (2 s here), not the library's two minutes.
    QVERIFY(a.waitForOutput(QStringLiteral("the directory did not answer within 2000 ms; trying again"),
                            StartMs));
    QVERIFY(a.directoryStatus().contains(QStringLiteral("trying again")));
    directory.setMode(QStringLiteral("normal"));
    QTRY_COMPARE_WITH_TIMEOUT(a.directoryStatus(), QStringLiteral("online"), StartMs);
}

void tst_node_faults::brokenStationListsLeaveLinksIntact()
{
    DirectoryProcess directory;
    QVERIFY(directory.start(Block + QStringLiteral(".3")));
    NodeProcess a(QStringLiteral("A"), Block, 1);
    NodeProcess b(QStringLiteral("B"), Block, 2);
    linkAandB(a, b);

    const QStringList modes = {QStringLiteral("truncated"), QStringLiteral("garbage"),
                               QStringLiteral("longline"), QStringLiteral("silent")};
    for (const QString &mode : modes) {
        directory.setMode(mode);
        a.output();
        const int before = a.output().count(QStringLiteral("station list not fetched"));
        // A station not in the list in hand asks for a fresh list, which is broken.
        QCOMPARE(errorOf(a.connectTo(QStringLiteral("NODE-Z"))),
                 QStringLiteral("org.dialboard.EchoLink.Error.NoSuchStation"));
        QTRY_VERIFY2_WITH_TIMEOUT(a.output().count(QStringLiteral("station list not fetched")) > before,
                                  qPrintable(mode), StartMs);
        QVERIFY2(a.isRunning(), qPrintable(mode));
        QVERIFY2(a.isConnected(QStringLiteral("NODE-B")), qPrintable(mode));
        QVERIFY2(b.isConnected(QStringLiteral("NODE-A")), qPrintable(mode));
    }
    // A huge but sound list is taken; then a sound one again.
    directory.setMode(QStringLiteral("huge"));
    QVERIFY(a.waitForStations(100002, 3 * StartMs));
    QVERIFY(a.isConnected(QStringLiteral("NODE-B")));
    QVERIFY(a.isConnected(QStringLiteral("X99999")) == false);
    directory.setMode(QStringLiteral("normal"));
    a.disconnect(QStringLiteral("NODE-B"));
    QVERIFY(b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(errorOf(a.connectTo(QStringLiteral("NODE-B"))), QString(), StartMs);
    QVERIFY(b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
}

void tst_node_faults::malformedDatagramsLeaveTheLinkIntact()
{
    DirectoryProcess directory;
    QVERIFY(directory.start(Block + QStringLiteral(".3")));
    NodeProcess a(QStringLiteral("A"), Block, 1);
    NodeProcess b(QStringLiteral("B"), Block, 2);
    linkAandB(a, b);

    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(Block + QStringLiteral(".5")), 0));
    QRandomGenerator random(20261207);
    const QHostAddress target(Block + QStringLiteral(".1"));
    for (int i = 0; i < 10000; ++i) {
        int size = int(random.bounded(600));
        if (i % 10 == 0)
            size = int(random.bounded(4));  // truncated headers
        else if (i % 97 == 0)
            size = 60000;  // oversized
        QByteArray datagram(size, '\0');
        for (char &byte : datagram)
            byte = char(random.bounded(256));
        // A share that looks like RTP and RTCP (version 2, SR/RR/SDES/BYE types) reaches
        // the parsers instead of their first check.
        if (size >= 2 && i % 3 == 0) {
            datagram[0] = char(0x80 | (i & 0x1f));
            datagram[1] = char(200 + (i % 4));
        }
        stranger.writeDatagram(datagram, target, quint16(5198 + (i % 2)));
        if (i % 500 == 0)
            QTest::qWait(5);  // leave the socket buffers a chance
    }
    QTest::qWait(1000);
    QVERIFY(a.isRunning());
    QVERIFY(a.isConnected(QStringLiteral("NODE-B")));
    QVERIFY(b.isConnected(QStringLiteral("NODE-A")));
    QCOMPARE(a.links(), QStringList{QStringLiteral("NODE-B")});
    // The dropped datagrams are told as a count, not one line each.
    const QString log = a.output();
    const int summaries = log.count(QStringLiteral("echolink-node: dropped "));
    QVERIFY2(summaries >= 1 && summaries <= 2, qPrintable(log.right(2000)));
}

void tst_node_faults::quitWaitsForASilentDirectoryAtMostTwoSeconds()
{
    DirectoryProcess directory;
    QVERIFY(directory.start(Block + QStringLiteral(".3")));
    NodeProcess a(QStringLiteral("A"), Block, 1);
    a.writeConfig(a.standardConfig(QStringLiteral("NODE-A")));
    QVERIFY(a.start());
    QVERIFY(a.waitForOutput(QStringLiteral("directory: online"), StartMs));
    directory.setMode(QStringLiteral("silent"));
    QElapsedTimer clock;
    clock.start();
    a.sendSignal(SIGTERM);
    QVERIFY2(a.waitForExit(5000) == 0, qPrintable(a.output().right(9000)));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    // Whichever of the node's two bounds ends the wait, the log says the log-off failed.
    QVERIFY2(a.output().contains(QRegularExpression(
                 QStringLiteral("did not confirm the log-off in time|could not log off the directory"))),
             qPrintable(a.output()));
}

void tst_node_faults::killedPeerDropsAfterTheLinkTimeOut()
{
    DirectoryProcess directory;
    QVERIFY(directory.start(Block + QStringLiteral(".3")));
    NodeProcess a(QStringLiteral("A"), Block, 1);
    NodeProcess b(QStringLiteral("B"), Block, 2);
    linkAandB(a, b,
              {{QStringLiteral("Timing/KeepAliveMs"), QStringLiteral("500")},
               {QStringLiteral("Timing/LinkTimeoutMs"), QString::number(LinkTimeoutMs)}});

    b.sendSignal(SIGKILL);
    QVERIFY(b.waitForExit(5000) != 0);
    QVERIFY(a.isConnected(QStringLiteral("NODE-B")));  // nothing told A yet
    QVERIFY(a.waitForLinked(QStringLiteral("NODE-B"), false, 3 * LinkTimeoutMs));
    QVERIFY(a.waitForOutput(QStringLiteral("link with NODE-B timed out"), LinkTimeoutMs));
    QCOMPARE(a.links(), QStringList());
    QVERIFY(a.isRunning());
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_faults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_faults.moc"
