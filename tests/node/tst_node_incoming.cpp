// Who may link in (block 127.10.6.0/24): the policy patterns, the maximum of links (busy
// in the directory, callers told so), callers the directory does not list (one list
// fetch at most per interval) and the memory of refused addresses.
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QUdpSocket>

#include <memory>

namespace {

const QString Block = loopbackBlock(6);
constexpr int LinkMs = 2000;
constexpr int StartMs = 10000;

// A station's hello as EchoLink sends it to the control port: an empty receiver report,
// then a source description whose NAME item is the callsign padded to 15, then the name.
QByteArray hello(const QByteArray &callsign)
{
    constexpr char Version = 3;  // EchoLink's RTP version field
    QByteArray packet;
    packet += char(Version << 6);
    packet += char(201);  // receiver report
    packet += QByteArray("\x00\x01\x00\x00\x00\x00", 6);
    QByteArray items;
    auto item = [&items](char type, const QByteArray &text) {
        items += type;
        items += char(text.size());
        items += text;
    };
    item(1, "CALLSIGN");
    item(2, callsign.leftJustified(15, ' ') + "Somebody");
    items += QByteArray(2, '\0');  // end of the items
    QByteArray description = QByteArray(1, char((Version << 6) | 1)) + char(202) + QByteArray(2, '\0')
                             + QByteArray(4, '\0') + items;
    while (description.size() % 4 != 0)
        description += '\0';
    const int words = int(description.size() / 4) - 1;
    description[2] = char(words >> 8);
    description[3] = char(words);
    return packet + description;
}

int countOf(const QStringList &lines, const QString &line)
{
    return int(lines.count(line));
}

}  // namespace

class tst_node_incoming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void patternsChooseWhoMayLinkIn();
    void fullStationIsBusyAndSaysSo();
    void unknownCallersFetchOneListPerInterval();
    void secondStationBehindALinkedAddressIsRefused();

private:
    // Starts a node of the block with these extra values and waits for its first list.
    std::unique_ptr<NodeProcess> node(const QString &name, int host, const QString &callsign,
                                      const QMap<QString, QString> &extra = {});

    std::unique_ptr<DirectoryProcess> m_directory;
};

void tst_node_incoming::init()
{
    m_directory = std::make_unique<DirectoryProcess>();
    QVERIFY(m_directory->start(Block + QStringLiteral(".3")));
}

void tst_node_incoming::cleanup()
{
    m_directory.reset();
}

std::unique_ptr<NodeProcess> tst_node_incoming::node(const QString &name, int host, const QString &callsign,
                                                     const QMap<QString, QString> &extra)
{
    auto process = std::make_unique<NodeProcess>(name, Block, host);
    QMap<QString, QString> config = process->standardConfig(callsign);
    config.insert(extra);
    process->writeConfig(config);
    if (!process->start() || !process->waitForOutput(QStringLiteral("station list:"), StartMs))
        return {};
    return process;
}

void tst_node_incoming::patternsChooseWhoMayLinkIn()
{
    auto a = node(QStringLiteral("A"), 1, QStringLiteral("NODE-A"),
                  {{QStringLiteral("Links/Incoming"), QStringLiteral("pattern")},
                   {QStringLiteral("Links/Accept"), QStringLiteral("node-.*")},
                   {QStringLiteral("Links/Reject"), QStringLiteral("NODE-X.*")}});
    auto b = node(QStringLiteral("B"), 2, QStringLiteral("NODE-B"));
    auto x = node(QStringLiteral("X"), 4, QStringLiteral("NODE-X1"));
    auto w = node(QStringLiteral("W"), 5, QStringLiteral("W1AW"));
    QVERIFY(a && b && x && w);
    QVERIFY(w->waitForStations(4, StartMs));
    QVERIFY(x->waitForStations(4, StartMs));

    // Rejected by name, and not matching the accepted names: told why and dropped.
    QCOMPARE(x->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(w->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a->waitForOutput(QStringLiteral("refused NODE-X1 from %1.4").arg(Block), StartMs));
    QVERIFY(a->waitForOutput(QStringLiteral("refused W1AW from %1.5").arg(Block), StartMs));
    QVERIFY(
        w->waitForOutput(QStringLiteral("info from NODE-A: NODE-A does not take links from W1AW"), StartMs));
    QVERIFY(w->waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QCOMPARE(a->links(), QStringList());

    // A refused address is not answered again for a while.
    QVERIFY(w->waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QCOMPARE(w->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QTest::qWait(1000);
    QCOMPARE(a->output().count(QStringLiteral("refused W1AW")), 1);

    // Accepted by name.
    QCOMPARE(b->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a->waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QCOMPARE(a->links(), QStringList{QStringLiteral("NODE-B")});
}

void tst_node_incoming::fullStationIsBusyAndSaysSo()
{
    auto a = node(QStringLiteral("A"), 1, QStringLiteral("NODE-A"),
                  {{QStringLiteral("Links/MaxLinks"), QStringLiteral("1")}});
    auto b = node(QStringLiteral("B"), 2, QStringLiteral("NODE-B"));
    auto c = node(QStringLiteral("C"), 4, QStringLiteral("NODE-C"));
    QVERIFY(a && b && c);
    QVERIFY(a->waitForStations(3, StartMs));
    QVERIFY(c->waitForStations(3, StartMs));

    QCOMPARE(a->connectTo(QStringLiteral("NODE-B")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a->waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));
    QVERIFY(!m_directory->waitForLine(QStringLiteral("logon NODE-A BUSY"), StartMs).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(a->directoryStatus(), QStringLiteral("busy"), StartMs);

    QCOMPARE(a->connectTo(QStringLiteral("NODE-C")).errorName(),
             QStringLiteral("org.dialboard.EchoLink.Error.TooManyLinks"));
    QCOMPARE(c->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(c->waitForOutput(QStringLiteral("info from NODE-A: NODE-A is busy"), StartMs));
    QVERIFY(!a->isConnected(QStringLiteral("NODE-C")));
    QCOMPARE(a->links(), QStringList{QStringLiteral("NODE-B")});

    // A free link again: online, and the busy caller is not held against it.
    a->disconnect(QStringLiteral("NODE-B"));
    QTRY_COMPARE_WITH_TIMEOUT(a->directoryStatus(), QStringLiteral("online"), StartMs);
    QVERIFY(c->waitForOutput(QStringLiteral("NODE-A refused the link"), LinkMs));
    QCOMPARE(c->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a->waitForLinked(QStringLiteral("NODE-C"), true, LinkMs));
}

void tst_node_incoming::unknownCallersFetchOneListPerInterval()
{
    // A with the network's intervals: its list is fetched at log-on, then not for minutes.
    const QMap<QString, QString> slow = {
        {QStringLiteral("Timing/ListRefreshMs"), QStringLiteral("600000")},
        {QStringLiteral("Timing/UnknownCallerFetchMs"), QStringLiteral("60000")}};
    auto a = node(QStringLiteral("A"), 1, QStringLiteral("NODE-A"), slow);
    QVERIFY(a);
    // Two stations log on after A fetched its list: A does not know them.
    auto b = node(QStringLiteral("B"), 2, QStringLiteral("NODE-B"), slow);
    auto c = node(QStringLiteral("C"), 4, QStringLiteral("NODE-C"), slow);
    QVERIFY(b && c);
    const int listsBefore = countOf(m_directory->log(), QStringLiteral("list"));

    // The first unknown caller makes A fetch a list, finds itself in it and links.
    QCOMPARE(b->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a->waitForLinked(QStringLiteral("NODE-B"), true, StartMs));
    QTRY_COMPARE(countOf(m_directory->log(), QStringLiteral("list")), listsBefore + 1);
    // C is in that list too, so it links without another fetch. A caller in no list
    // within the same minute is refused without one.
    QCOMPARE(c->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a->waitForLinked(QStringLiteral("NODE-C"), true, LinkMs));
    auto d = node(QStringLiteral("D"), 5, QStringLiteral("NODE-D"), slow);
    QVERIFY(d);
    const int listsNow = countOf(m_directory->log(), QStringLiteral("list"));
    QCOMPARE(d->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a->waitForOutput(
        QStringLiteral("refused NODE-D from %1.5: NODE-D is not in the directory's station list").arg(Block),
        StartMs));
    QTest::qWait(500);
    QCOMPARE(countOf(m_directory->log(), QStringLiteral("list")), listsNow);
    QVERIFY(!a->isConnected(QStringLiteral("NODE-D")));

    // A link A asks for to a station its list lacks: an error now, one fresh list, and
    // the link once the station is found there.
    auto e = node(QStringLiteral("E"), 7, QStringLiteral("NODE-E"), slow);
    QVERIFY(e);
    QCOMPARE(a->connectTo(QStringLiteral("node-e")).errorName(),
             QStringLiteral("org.dialboard.EchoLink.Error.NoSuchStation"));
    QVERIFY(a->waitForLinked(QStringLiteral("NODE-E"), true, StartMs));
    QVERIFY(e->waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
}

void tst_node_incoming::secondStationBehindALinkedAddressIsRefused()
{
    auto a = node(QStringLiteral("A"), 1, QStringLiteral("NODE-A"));
    auto b = node(QStringLiteral("B"), 2, QStringLiteral("NODE-B"));
    QVERIFY(a && b);
    QVERIFY(b->waitForStations(2, StartMs));
    QCOMPARE(b->connectTo(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(a->waitForLinked(QStringLiteral("NODE-B"), true, LinkMs));

    // Another station behind B's address says hello to A's control port, again and again
    // as a caller does, between B's own keep-alives.
    QUdpSocket neighbour;
    QVERIFY(neighbour.bind(QHostAddress(Block + QStringLiteral(".2")), 0));
    const QString refusal =
        QStringLiteral("refused NODE-N from %1.2: NODE-B is linked from that address").arg(Block);
    QDeadlineTimer deadline(3 * StartMs);
    while (!a->output().contains(refusal) && !deadline.hasExpired()) {
        neighbour.writeDatagram(hello("NODE-N"), QHostAddress(Block + QStringLiteral(".1")), 5199);
        QTest::qWait(500);
    }
    QVERIFY2(a->output().contains(refusal), qPrintable(a->output()));
    QVERIFY(!a->isConnected(QStringLiteral("NODE-N")));
    QVERIFY(a->isConnected(QStringLiteral("NODE-B")));
    QCOMPARE(a->links(), QStringList{QStringLiteral("NODE-B")});
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_incoming test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_incoming.moc"
