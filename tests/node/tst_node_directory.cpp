// echolink-node's directory client against test directories (block 127.10.11.0/24): the
// servers are tried in order within one attempt, a refused log-on waits for the
// configuration file instead of asking again and again, and a station list that trickles
// in is given up at its deadline; links asked for to unlisted stations fetch a list at
// most once in 10 s.
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDBusMessage>
#include <QTest>

#include <memory>

namespace {

const QString Block = loopbackBlock(11);
constexpr int StartMs = 10000;

QString host(int n)
{
    return QStringLiteral("%1.%2").arg(Block).arg(n);
}

}  // namespace

class tst_node_directory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void laterServerAnswersWithinTheFirstAttempt();
    void refusedLogOnWaitsForTheConfigurationFile();
    void tricklingStationListIsGivenUpAtItsDeadline();
    void lookupsShareOneFetchPerSpacing();

private:
    // A node at host n of the block with these directory servers and values.
    std::unique_ptr<NodeProcess> node(const QString &name, int n, const QStringList &servers,
                                      const QMap<QString, QString> &values = {});
};

std::unique_ptr<NodeProcess> tst_node_directory::node(const QString &name, int n, const QStringList &servers,
                                                      const QMap<QString, QString> &values)
{
    auto node = std::make_unique<NodeProcess>(name, Block, n);
    QMap<QString, QString> config = node->standardConfig(QStringLiteral("NODE-") + name);
    config.insert(QStringLiteral("Network/DirectoryServers"), servers.join(QLatin1Char(' ')));
    config.insert(values);
    node->writeConfig(config);
    if (!node->start())
        return {};
    return node;
}

void tst_node_directory::laterServerAnswersWithinTheFirstAttempt()
{
    // .3 has no directory at all, .5 has one that never answers; .4 works.
    DirectoryProcess working;
    QVERIFY(working.start(host(4)));
    DirectoryProcess silent;
    QVERIFY(silent.start(host(5)));
    silent.setMode(QStringLiteral("silent"));

    auto down = node(QStringLiteral("A"), 1, {host(3), host(4)});
    auto mute = node(QStringLiteral("B"), 2, {host(5), host(4)});
    QVERIFY(down && mute);
    QVERIFY(!working.waitForLine(QStringLiteral("logon NODE-A ON %1 ").arg(host(1)), StartMs).isEmpty());
    QVERIFY(!working.waitForLine(QStringLiteral("logon NODE-B ON %1 ").arg(host(2)), StartMs).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(down->directoryStatus(), QStringLiteral("online"), StartMs);
    QTRY_COMPARE_WITH_TIMEOUT(mute->directoryStatus(), QStringLiteral("online"), StartMs);
    // Each went on to the next server at once, without a round of back-off.
    QVERIFY2(!down->output().contains(QStringLiteral("trying again")), qPrintable(down->output()));
    QVERIFY2(!mute->output().contains(QStringLiteral("trying again")), qPrintable(mute->output()));
    QVERIFY(down->output().contains(QStringLiteral("; trying %1").arg(host(4))));
    QVERIFY(mute->output().contains(
        QStringLiteral("the directory did not answer within 2000 ms; trying %1").arg(host(4))));
}

void tst_node_directory::refusedLogOnWaitsForTheConfigurationFile()
{
    const QString password = QStringLiteral("the right one");
    DirectoryProcess directory;
    QVERIFY(directory.start(host(3), {QStringLiteral("--password"), password}));
    auto r = node(QStringLiteral("R"), 1, {host(3)},
                  {{QStringLiteral("Station/Password"), QStringLiteral("a wrong one")}});
    QVERIFY(r);
    QVERIFY(!directory.waitForLine(QStringLiteral("refused NODE-R"), StartMs).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(r->directoryStatus().contains(QStringLiteral("refused the log-on")), StartMs);
    QVERIFY(r->directoryStatus().contains(QStringLiteral("BAD PASSWORD")));
    QVERIFY(r->directoryStatus().contains(QStringLiteral("when the configuration file changes")));

    // Fifteen retry intervals (and four rounds of back-off) pass without a second try.
    QTest::qWait(15 * 200);
    QCOMPARE(directory.log().count(QStringLiteral("refused NODE-R")), 1);
    QVERIFY(r->directoryStatus().contains(QStringLiteral("refused the log-on")));

    // The user puts the right password in the file: the node logs on with it.
    QMap<QString, QString> config = r->standardConfig(QStringLiteral("NODE-R"));
    config.insert(QStringLiteral("Network/DirectoryServers"), host(3));
    config.insert(QStringLiteral("Station/Password"), password);
    r->writeConfig(config);
    QVERIFY(!directory.waitForLine(QStringLiteral("logon NODE-R ON %1 ").arg(host(1)), StartMs).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(r->directoryStatus(), QStringLiteral("online"), StartMs);
    QCOMPARE(directory.log().count(QStringLiteral("refused NODE-R")), 1);
}

void tst_node_directory::tricklingStationListIsGivenUpAtItsDeadline()
{
    DirectoryProcess directory;
    QVERIFY(directory.start(host(3)));
    auto a = node(QStringLiteral("A"), 1, {host(3)});
    QVERIFY(a);
    QVERIFY(a->waitForStations(1, StartMs));

    // A byte every half second never leaves the connection silent for the 2 s the node
    // allows; the whole answer gets those 2 s all the same.
    directory.setMode(QStringLiteral("trickle"));
    const QString givenUp =
        QStringLiteral("station list not fetched: the directory did not send the whole list within 2000 ms");
    a->connectTo(QStringLiteral("NODE-Z"));
    QVERIFY2(a->waitForOutput(givenUp, StartMs), qPrintable(a->output()));
    QCOMPARE(a->directoryStatus(), QStringLiteral("online"));

    // A directory that answers again is read again.
    directory.setMode(QStringLiteral("normal"));
    const qsizetype before = a->output().size();
    QTRY_VERIFY_WITH_TIMEOUT(a->output().indexOf(QStringLiteral("station list: 1 stations"), before) >= 0,
                             StartMs);
}

void tst_node_directory::lookupsShareOneFetchPerSpacing()
{
    DirectoryProcess directory;
    QVERIFY(directory.start(host(3)));
    // The list is not refreshed by itself during the test: every fetch is a lookup's.
    const QMap<QString, QString> slow = {{QStringLiteral("Timing/ListRefreshMs"), QStringLiteral("600000")}};
    auto a = node(QStringLiteral("A"), 1, {host(3)}, slow);
    QVERIFY(a);
    QVERIFY(a->waitForStations(1, StartMs));
    // Lists A fetched, by its log.
    auto lists = [&] { return a->output().count(QStringLiteral("station list: ")); };
    const qsizetype atLogOn = lists();

    // The first unlisted name fetches at once.
    QCOMPARE(a->connectTo(QStringLiteral("NODE-X")).errorName(),
             QStringLiteral("org.dialboard.EchoLink.Error.NoSuchStation"));
    QTRY_COMPARE_WITH_TIMEOUT(lists(), atLogOn + 1, StartMs);
    QVERIFY(a->waitForOutput(QStringLiteral("no such station: NODE-X"), StartMs));

    // B logs on; A is asked for it and two more names within the 10 s: no fetch yet...
    auto b = node(QStringLiteral("B"), 2, {host(3)}, slow);
    QVERIFY(b);
    QVERIFY(!directory.waitForLine(QStringLiteral("logon NODE-B"), StartMs).isEmpty());
    for (const char *call : {"NODE-B", "NODE-Y", "NODE-W"})
        QCOMPARE(a->connectTo(QString::fromLatin1(call)).type(), QDBusMessage::ErrorMessage);
    QTest::qWait(1000);
    QCOMPARE(lists(), atLogOn + 1);
    // ...then one, when the 10 s are over, which finds B and links.
    QVERIFY(a->waitForLinked(QStringLiteral("NODE-B"), true, 2 * StartMs));
    QTRY_COMPARE_WITH_TIMEOUT(lists(), atLogOn + 2, StartMs);  // the log may trail the bus
    QVERIFY(a->output().contains(QStringLiteral("no such station: NODE-Y")));
    QTest::qWait(500);
    QCOMPARE(lists(), atLogOn + 2);
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_directory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_directory.moc"
