// What the node does with several links and by itself (block 127.10.66.0/24): real nodes
// (.1, .2, .7), reference stations on Debian's EchoLink library (.4, .5, .6) and raw
// stations (.8, .9), all listed by the directory stand-in at .3. Chat goes round a ring of
// three conferences once; the information a linked station receives lists who is on;
// AutoConnect links with a station that comes up late, again after the far end drops it,
// not after the operator's drop; an idle link is dropped; a station that answers BYE for
// a while after a drop is called once more when that while is over.
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "RawStation.h"
#include "ReferenceStation.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"
#include "node/protocol/ControlPacket.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString Block = loopbackBlock(66);
constexpr int LinkMs = 5000;
constexpr int StartMs = 10000;
// Stations the directory lists besides the nodes.
const QStringList Listed{QStringLiteral("K1A,7101,%1.4"), QStringLiteral("K1B,7102,%1.5"),
                         QStringLiteral("K1C,7103,%1.6"), QStringLiteral("K1BYE,7108,%1.8"),
                         QStringLiteral("K1NO,7109,%1.9")};

QString address(int host)
{
    return QStringLiteral("%1.%2").arg(Block).arg(host);
}

// A reference station of the block that takes every call.
std::unique_ptr<ReferenceStation> startReference(const QString &callsign, int host)
{
    auto station = std::make_unique<ReferenceStation>(address(host), callsign);
    if (!station->start({QStringLiteral("--accept-all")}))
        return nullptr;
    return station;
}

// How many of the station's event lines start with prefix.
int count(ReferenceStation &station, const QString &prefix)
{
    int n = 0;
    for (const QString &line : station.lines())
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}

bool sendChat(NodeProcess &node, const QString &text, QString *error = nullptr)
{
    const QDBusMessage answer =
        node.call(Automation::StationPath, Automation::StationInterface, Automation::SendChatMethod, {text});
    if (error != nullptr)
        *error = answer.errorName();
    return answer.type() == QDBusMessage::ReplyMessage;
}

// A station on raw sockets that answers a call with its SDES, and for ByeMs after a link
// with it ended answers every call with a BYE instead, as svxlink does; or, refusing,
// answers every call with a BYE.
class ByeAfterDropStation
{
public:
    static constexpr int ByeMs = 5000;

    ByeAfterDropStation(const QString &address, QByteArray callsign, bool refusing)
        : m_station(address), m_callsign(std::move(callsign)), m_refusing(refusing)
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
        m_poll.start(5);
    }
    bool bound() const { return m_station.bound(); }
    int calls() const { return m_calls; }
    int byes() const { return m_byes; }

private:
    void poll()
    {
        const QList<QByteArray> datagrams = m_station.control();
        for (qsizetype i = m_seen; i < datagrams.size(); ++i) {
            const auto packet = ControlPacket::parse(datagrams.at(i));
            if (!packet)
                continue;
            if (packet->kind == ControlPacket::Kind::Bye) {
                m_linked = false;
                m_droppedAt.start();
            } else if (!m_linked) {
                ++m_calls;
                answer();
            } else {
                m_station.sendSdes(m_from, m_callsign);  // keep-alive
            }
        }
        m_seen = datagrams.size();
    }
    void answer()
    {
        if (m_refusing || (m_droppedAt.isValid() && !m_droppedAt.hasExpired(ByeMs))) {
            ++m_byes;
            m_station.sendControl(m_from, ControlPacket::bye());
            return;
        }
        m_linked = true;
        m_station.sendSdes(m_from, m_callsign);
    }

    RawStation m_station;
    QByteArray m_callsign;
    bool m_refusing;
    QHostAddress m_from{address(1)};  // the node under test
    QTimer m_poll;
    qsizetype m_seen = 0;
    bool m_linked = false;
    QElapsedTimer m_droppedAt;
    int m_calls = 0;
    int m_byes = 0;
};

}  // namespace

class tst_node_manners : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void chatGoesRoundARingOnce();
    void infoListsWhoIsLinked();
    void autoConnectKeepsTheStationLinked();
    void idleLinkIsDropped();
    void refusalRightAfterADropIsTriedOnceMore();

private:
    // Node `host` with this configuration, started, its list holding `stations`.
    bool startNode(NodeProcess &node, const QString &callsign, const QMap<QString, QString> &extra,
                   int stations = 5);

    DirectoryProcess m_directory;
};

void tst_node_manners::initTestCase()
{
    QStringList arguments;
    for (const QString &listing : Listed)
        arguments << QStringLiteral("--listed") << listing.arg(Block);
    QVERIFY(m_directory.start(address(3), arguments));
}

bool tst_node_manners::startNode(NodeProcess &node, const QString &callsign,
                                 const QMap<QString, QString> &extra, int stations)
{
    QMap<QString, QString> config = node.standardConfig(callsign);
    config.insert(extra);
    node.writeConfig(config);
    if (node.start() && node.waitForStations(stations + 1, StartMs))
        return true;
    qWarning("%s", qPrintable(node.output()));
    return false;
}

// Three conferences linked in a ring, K1A on the first, K1B on the third: K1A's line
// reaches K1B once, under K1A's callsign, and never comes back to K1A. Lines passed on
// share the outgoing chat rate with the operator's own.
void tst_node_manners::chatGoesRoundARingOnce()
{
    NodeProcess one(QStringLiteral("one"), Block, 1), two(QStringLiteral("two"), Block, 2),
        seven(QStringLiteral("seven"), Block, 7);
    QVERIFY(startNode(one, QStringLiteral("*ONE*"), {}));
    QVERIFY(startNode(two, QStringLiteral("*TWO*"), {}, 6));
    QVERIFY(startNode(seven, QStringLiteral("*SEVEN*"), {}, 7));
    QVERIFY(one.waitForStations(8, StartMs) && two.waitForStations(8, StartMs));
    const auto a = startReference(QStringLiteral("K1A"), 4);
    const auto b = startReference(QStringLiteral("K1B"), 5);
    QVERIFY(a && b);

    for (auto [from, to] :
         {std::pair{&one, QStringLiteral("*TWO*")}, std::pair{&two, QStringLiteral("*SEVEN*")},
          std::pair{&seven, QStringLiteral("*ONE*")}, std::pair{&one, QStringLiteral("K1A")},
          std::pair{&seven, QStringLiteral("K1B")}}) {
        QCOMPARE(from->connectTo(to).type(), QDBusMessage::ReplyMessage);
        QVERIFY2(from->waitForLinked(to, true, LinkMs), qPrintable(to));
    }
    QCOMPARE(one.links(),
             (QStringList{QStringLiteral("*SEVEN*"), QStringLiteral("*TWO*"), QStringLiteral("K1A")}));

    a->send(QStringLiteral("chat hello round the ring"));
    const QString heard = QStringLiteral("chat *SEVEN* K1A>hello round the ring");
    QVERIFY2(!b->waitFor(heard, LinkMs).isEmpty(), qPrintable(b->lines().join(QLatin1Char('\n'))));
    // Long enough for the line to go round the ring many times were it passed on again.
    QTest::qWait(1500);
    QCOMPARE(count(*b, heard), 1);
    QCOMPARE(count(*a, QStringLiteral("chat ")), 0);
    QVERIFY(two.output().contains(QStringLiteral("chat from *ONE*: K1A>hello round the ring")));

    // The operator's lines use up the rate: K1A's next lines go on only as it refills.
    QString error;
    int sent = 0;
    while (sendChat(one, QStringLiteral("line %1 from one").arg(sent), &error))
        ++sent;
    QCOMPARE(error, QLatin1String(Automation::ChatTooFastError));
    QVERIFY(sent >= 10);
    b->skipSeen();
    for (int i = 0; i < 20; ++i)
        a->send(QStringLiteral("chat burst %1").arg(i));
    QVERIFY(one.waitForOutput(QStringLiteral("chat from K1A not passed on"), LinkMs));
    QTest::qWait(500);
    const int passed = count(*b, QStringLiteral("chat *SEVEN* K1A>burst"));
    // A rate of its own would pass on a burst of ten at once.
    QVERIFY2(passed < 10, qPrintable(QString::number(passed)));
}

// K1A and K1B linked; when K1C links, all three hear the list with K1C, the first change
// at once and the next no sooner than 5 s after it.
void tst_node_manners::infoListsWhoIsLinked()
{
    NodeProcess node(QStringLiteral("N"), Block, 1);
    QVERIFY(startNode(node, QStringLiteral("NODE-N"),
                      {{QStringLiteral("Station/Description"), QStringLiteral("Test conference")}}));
    const auto a = startReference(QStringLiteral("K1A"), 4);
    const auto b = startReference(QStringLiteral("K1B"), 5);
    const auto c = startReference(QStringLiteral("K1C"), 6);
    QVERIFY(a && b && c);
    const QString prefix = QStringLiteral("info NODE-N Test conference");

    QCOMPARE(node.connectTo(QStringLiteral("K1A")).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(a->waitFor(prefix, LinkMs), prefix + QStringLiteral("\\nK1A"));
    QCOMPARE(node.connectTo(QStringLiteral("K1B")).type(), QDBusMessage::ReplyMessage);
    // Within 5 s of the first list: K1B hears the list with itself, K1A when the 5 s are over.
    QCOMPARE(b->waitFor(prefix, LinkMs), prefix + QStringLiteral("\\nK1A\\nK1B"));
    QCOMPARE(a->waitFor(prefix, 7000), prefix + QStringLiteral("\\nK1A\\nK1B"));

    QTest::qWait(5500);  // the spacing is over: the next change goes out at once
    a->skipSeen();
    b->skipSeen();
    QElapsedTimer clock;
    clock.start();
    c->send(QStringLiteral("call %1 NODE-N").arg(address(1)));
    const QString all = prefix + QStringLiteral("\\nK1A\\nK1B\\nK1C");
    QCOMPARE(a->waitFor(prefix, LinkMs), all);
    QCOMPARE(b->waitFor(prefix, LinkMs), all);
    QCOMPARE(c->waitFor(prefix, LinkMs), all);
    QVERIFY(clock.elapsed() < 3000);

    // A station that leaves is taken off the list.
    b->send(QStringLiteral("bye"));
    QCOMPARE(a->waitFor(prefix, 7000), prefix + QStringLiteral("\\nK1A\\nK1C"));
    QCOMPARE(count(*b, QStringLiteral("info ")), 3);  // nothing more after its bye
}

// K1A is not running when the node starts: calls fail and are made again, the link comes
// once K1A starts; K1A's bye is followed by a new link; the operator's drop is not.
void tst_node_manners::autoConnectKeepsTheStationLinked()
{
    NodeProcess node(QStringLiteral("N"), Block, 1);
    QVERIFY(startNode(node, QStringLiteral("NODE-N"),
                      {{QStringLiteral("Links/AutoConnect"), QStringLiteral("k1a")},
                       {QStringLiteral("Timing/AutoConnectRetryMs"), QStringLiteral("300")},
                       {QStringLiteral("Timing/KeepAliveMs"), QStringLiteral("200")}}));
    QVERIFY2(node.waitForOutput(QStringLiteral("K1A did not answer"), LinkMs), qPrintable(node.output()));
    QVERIFY(node.waitForOutput(QStringLiteral("AutoConnect: linking with K1A again in"), LinkMs));
    QTest::qWait(2000);
    QVERIFY(!node.isConnected(QStringLiteral("K1A")));

    const auto a = startReference(QStringLiteral("K1A"), 4);
    QVERIFY(a);
    QVERIFY2(node.waitForLinked(QStringLiteral("K1A"), true, 15000), qPrintable(node.output()));
    QVERIFY(!a->waitFor(QStringLiteral("state NODE-N connected"), LinkMs).isEmpty());

    a->send(QStringLiteral("bye"));
    QVERIFY(node.waitForLinked(QStringLiteral("K1A"), false, LinkMs));
    QVERIFY2(node.waitForLinked(QStringLiteral("K1A"), true, 10000), qPrintable(node.output()));
    QVERIFY(!a->waitFor(QStringLiteral("state NODE-N connected"), LinkMs).isEmpty());

    QCOMPARE(node.disconnect(QStringLiteral("K1A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(node.waitForLinked(QStringLiteral("K1A"), false, LinkMs));
    a->skipSeen();
    QTest::qWait(3000);
    QVERIFY(!node.isConnected(QStringLiteral("K1A")));
    QVERIFY(a->waitFor(QStringLiteral("incoming"), 0).isEmpty());
    QVERIFY(node.output().contains(QStringLiteral("AutoConnect: K1A dropped here")));
}

// With a 2 s idle time-out: a link over which sound comes stays up past it; once the sound
// stops it is dropped within the time-out and a little.
void tst_node_manners::idleLinkIsDropped()
{
    NodeProcess node(QStringLiteral("N"), Block, 1);
    QVERIFY(startNode(node, QStringLiteral("NODE-N"),
                      {{QStringLiteral("Timing/IdleTimeoutMs"), QStringLiteral("2000")}}));
    const auto a = startReference(QStringLiteral("K1A"), 4);
    QVERIFY(a);
    QCOMPARE(node.connectTo(QStringLiteral("K1A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(node.waitForLinked(QStringLiteral("K1A"), true, LinkMs));
    a->send(QStringLiteral("tone 1000 -20"));
    QTest::qWait(3500);
    QVERIFY(node.isConnected(QStringLiteral("K1A")));
    a->send(QStringLiteral("tone off"));
    QElapsedTimer quiet;
    quiet.start();
    QVERIFY(node.waitForLinked(QStringLiteral("K1A"), false, 5000));
    QVERIFY2(quiet.elapsed() >= 1500, qPrintable(QString::number(quiet.elapsed())));
    QVERIFY(node.waitForOutput(QStringLiteral("dropping K1A: no sound either way"), LinkMs));
    QVERIFY(!a->waitFor(QStringLiteral("state NODE-N disconnected"), LinkMs).isEmpty());
}

// K1BYE answers BYE for 5 s after a drop: linked again at once after the operator's drop,
// the node hears that BYE and calls once more after the hold, and the link comes up.
// K1NO refuses every call: with no drop before, its refusal stands and it is called once.
void tst_node_manners::refusalRightAfterADropIsTriedOnceMore()
{
    NodeProcess node(QStringLiteral("N"), Block, 1);
    QVERIFY(startNode(node, QStringLiteral("NODE-N"), {}));
    ByeAfterDropStation bye(address(8), "K1BYE", false), no(address(9), "K1NO", true);
    QVERIFY(bye.bound() && no.bound());

    QCOMPARE(node.connectTo(QStringLiteral("K1BYE")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(node.waitForLinked(QStringLiteral("K1BYE"), true, LinkMs));
    QCOMPARE(node.disconnect(QStringLiteral("K1BYE")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(node.waitForLinked(QStringLiteral("K1BYE"), false, LinkMs));
    QElapsedTimer sinceDrop;
    sinceDrop.start();
    QCOMPARE(node.connectTo(QStringLiteral("K1BYE")).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(node.connectTo(QStringLiteral("K1NO")).type(), QDBusMessage::ReplyMessage);
    QVERIFY2(node.waitForOutput(QStringLiteral("K1BYE refused the link right after the last one ended; "
                                               "calling once more in"),
                                LinkMs),
             qPrintable(node.output()));
    QVERIFY(node.waitForOutput(QStringLiteral("K1NO refused the link"), LinkMs));
    QCOMPARE(bye.byes(), 1);

    QVERIFY2(node.waitForLinked(QStringLiteral("K1BYE"), true, 9000), qPrintable(node.output()));
    QVERIFY2(sinceDrop.elapsed() >= ByeAfterDropStation::ByeMs,
             qPrintable(QString::number(sinceDrop.elapsed())));
    QCOMPARE(bye.calls(), 3);
    QCOMPARE(bye.byes(), 1);
    QCOMPARE(no.calls(), 1);
    QVERIFY(!node.isConnected(QStringLiteral("K1NO")));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_manners test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_manners.moc"
