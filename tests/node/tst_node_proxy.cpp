// Behind a router: the EchoLink proxy (block 127.10.61.0/24). The proxy stand-in at .9
// (port 8100) is first checked against the EchoLink library's own proxy client: a
// reference station through it links both ways with a reference station on plain UDP at
// .4, and a wrong password is refused. Then node A (.1) goes through it: it binds no UDP
// port, logs on to the directory stand-in at .3 through the proxy's tunnel (the directory
// sees the proxy's address), links both ways with the reference station at .4 with a tone
// each way; a wrong password is reported and retried; the proxy killed mid-link ends the
// link, is reported and retried, and the node logs on again once the proxy is back.
#include "AudioAnalysis.h"
#include "DirectoryProcess.h"
#include "ReferenceStation.h"
#include "SoundNode.h"
#include "TestEnvironment.h"
#include "node/Node.h"
#include "node/window/NodeWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTest>
#include <QUdpSocket>

#include <cmath>

using namespace AudioAnalysis;

namespace {

const QString Block = loopbackBlock(61);
const QString ProxyAddress = Block + QStringLiteral(".9");
const QString ProxyPassword = QStringLiteral("Proxy pass");
const QString NodeCall = QStringLiteral("NODE-A");
const QString RefCall = QStringLiteral("K1REF");
const QString ProxiedRefCall = QStringLiteral("K2PRX");
constexpr int LinkMs = 5000;
constexpr int StartMs = 10000;
constexpr int Rate = UdpAudioPort::SampleRate;

// The proxy stand-in as a process of the test, its event lines read back.
class ProxyProcess
{
public:
    ~ProxyProcess() { kill(); }

    bool start()
    {
        m_lines.clear();
        m_next = 0;
        m_process.start(QStringLiteral(PROXY_STAND_IN_PATH), {QStringLiteral("--address"), ProxyAddress,
                                                              QStringLiteral("--password"), ProxyPassword});
        return m_process.waitForStarted(5000) && !waitFor(QStringLiteral("ready"), 5000).isEmpty();
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    // The next event line starting with prefix after the last one found; empty after timeoutMs.
    QString waitFor(const QString &prefix, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            m_partial += m_process.readAllStandardOutput();
            for (qsizetype end; (end = m_partial.indexOf('\n')) >= 0; m_partial.remove(0, end + 1))
                m_lines << QString::fromLatin1(m_partial.left(end));
            for (qsizetype i = m_next; i < m_lines.size(); ++i)
                if (m_lines.at(i).startsWith(prefix)) {
                    m_next = i + 1;
                    return m_lines.at(i);
                }
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return {};
            QTest::qWait(10);
        }
    }
    QString lines() const { return m_lines.join(QLatin1Char('\n')); }

private:
    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    qsizetype m_next = 0;
};

// A 1 kHz tone at about -12 dBFS in a reference station's "heard CALL HZ DBFS" line.
bool heardTone(const QString &line)
{
    const QStringList figures = line.split(QLatin1Char(' '));
    return std::abs(figures.value(2).toDouble() - 1000.0) <= 50.0 && figures.value(3).toDouble() > -30.0;
}

bool linked(ReferenceStation &a, const QString &aSeesCall, ReferenceStation &b, const QString &bSeesCall)
{
    return !a.waitFor(QStringLiteral("state %1 connected").arg(aSeesCall), LinkMs).isEmpty()
           && !b.waitFor(QStringLiteral("state %1 connected").arg(bSeesCall), LinkMs).isEmpty();
}

// Node A configured for the proxy, with the reference station K1REF in the directory.
struct ProxiedNode
{
    SoundNode node{QStringLiteral("A"), Block, 1};

    bool start(const QString &password)
    {
        QMap<QString, QString> config = node.config(NodeCall);
        config.insert(QStringLiteral("Network/Proxy"), ProxyAddress + QStringLiteral(":8100"));
        config.insert(QStringLiteral("Network/ProxyPassword"), password);
        node.node.writeConfig(config);
        return node.node.start();
    }
};

}  // namespace

class tst_node_proxy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void libraryClientLinksThroughTheStandIn();
    void nodeLinksThroughTheProxy();
    void wrongPasswordIsReportedAndRetried();
    void proxyKilledMidLink();
    void windowShowsTheProxyState();

private:
    DirectoryProcess m_directory;
};

void tst_node_proxy::initTestCase()
{
    QVERIFY(
        m_directory.start(Block + QStringLiteral(".3"),
                          {QStringLiteral("--listed"), QStringLiteral("%1,7014,%2.4").arg(RefCall, Block)}));
}

// The EchoLink library's proxy client, in a reference station, through the stand-in: a
// link each way with a station on plain UDP, which sees the proxy's address; a tone each
// way; a wrong password refused.
void tst_node_proxy::libraryClientLinksThroughTheStandIn()
{
    ProxyProcess proxy;
    QVERIFY(proxy.start());
    ReferenceStation outside(Block + QStringLiteral(".4"), RefCall);
    QVERIFY(outside.start({QStringLiteral("--accept-all")}));
    ReferenceStation proxied(Block + QStringLiteral(".5"), ProxiedRefCall);
    QVERIFY(proxied.start({QStringLiteral("--accept-all"), QStringLiteral("--proxy"),
                           ProxyAddress + QStringLiteral(":8100"), QStringLiteral("--proxy-password"),
                           ProxyPassword.toLower()}));
    QVERIFY2(!proxy.waitFor(QStringLiteral("login %1").arg(ProxiedRefCall), LinkMs).isEmpty(),
             qPrintable(proxy.lines()));

    proxied.send(QStringLiteral("call %1.4 %2").arg(Block, RefCall));
    QCOMPARE(outside.waitFor(QStringLiteral("incoming"), LinkMs),
             QStringLiteral("incoming %1 %2 SPEEX").arg(ProxiedRefCall, ProxyAddress));
    QVERIFY(linked(proxied, RefCall, outside, ProxiedRefCall));
    outside.send(QStringLiteral("tone 1000 -12"));
    QVERIFY(heardTone(proxied.waitFor(QStringLiteral("heard %1").arg(RefCall), LinkMs)));
    outside.send(QStringLiteral("tone off"));
    proxied.send(QStringLiteral("tone 1000 -12"));
    QVERIFY(heardTone(outside.waitFor(QStringLiteral("heard %1").arg(ProxiedRefCall), LinkMs)));
    proxied.send(QStringLiteral("tone off"));
    proxied.send(QStringLiteral("bye"));
    QVERIFY(!outside.waitFor(QStringLiteral("state %1 disconnected").arg(ProxiedRefCall), LinkMs).isEmpty());

    // The outside station calls the proxy's address and reaches the station behind it.
    outside.send(QStringLiteral("call %1 %2").arg(ProxyAddress, ProxiedRefCall));
    QCOMPARE(proxied.waitFor(QStringLiteral("incoming"), LinkMs),
             QStringLiteral("incoming %1 %2.4 SPEEX").arg(RefCall, Block));
    QVERIFY(linked(proxied, RefCall, outside, ProxiedRefCall));
    outside.send(QStringLiteral("bye"));
    QVERIFY(!proxied.waitFor(QStringLiteral("state %1 disconnected").arg(RefCall), LinkMs).isEmpty());
    proxied.send(QStringLiteral("quit"));
    QVERIFY(!proxy.waitFor(QStringLiteral("gone %1").arg(ProxiedRefCall), LinkMs).isEmpty());

    ReferenceStation wrong(Block + QStringLiteral(".5"), ProxiedRefCall);
    QVERIFY(wrong.start({QStringLiteral("--proxy"), ProxyAddress + QStringLiteral(":8100"),
                         QStringLiteral("--proxy-password"), QStringLiteral("wrong")}));
    QVERIFY(!proxy.waitFor(QStringLiteral("refused %1").arg(ProxiedRefCall), LinkMs).isEmpty());
    QVERIFY(!wrong.waitFor(QStringLiteral("proxy down"), LinkMs).isEmpty());
}

// Log-on through the tunnel, no port of its own, a link each way with a tone each way.
void tst_node_proxy::nodeLinksThroughTheProxy()
{
    ProxyProcess proxy;
    QVERIFY(proxy.start());
    ProxiedNode a;
    QVERIFY(a.start(ProxyPassword.toLower()));  // the password is taken in any letter case
    QVERIFY2(!proxy.waitFor(QStringLiteral("login %1").arg(NodeCall), StartMs).isEmpty(),
             qPrintable(proxy.lines()));
    QVERIFY(!proxy.waitFor(QStringLiteral("tcp-open %1.3").arg(Block), StartMs).isEmpty());
    QVERIFY2(!m_directory.waitForLine(QStringLiteral("logon %1 ON %2 ").arg(NodeCall, ProxyAddress), StartMs)
                  .isEmpty(),
             qPrintable(m_directory.log().join(QLatin1Char('\n'))));
    NodeProcess &node = a.node.node;
    QTRY_COMPARE_WITH_TIMEOUT(node.directoryStatus(),
                              QStringLiteral("online; proxy %1:8100: connected").arg(ProxyAddress), StartMs);
    QVERIFY(node.waitForOutput(QStringLiteral("station list: 2 stations"), StartMs));
    // The station's own EchoLink ports stay free.
    for (quint16 port : {quint16(5198), quint16(5199)}) {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress(a.node.address), port, QAbstractSocket::DontShareAddress));
    }

    ReferenceStation reference(Block + QStringLiteral(".4"), RefCall);
    QVERIFY(reference.start({QStringLiteral("--accept-all")}));
    for (const bool nodeCalls : {true, false}) {
        if (nodeCalls)
            QCOMPARE(node.connectTo(RefCall).type(), QDBusMessage::ReplyMessage);
        else
            reference.send(QStringLiteral("call %1 %2").arg(ProxyAddress, NodeCall));
        QVERIFY(node.waitForLinked(RefCall, true, LinkMs));
        QVERIFY(!reference.waitFor(QStringLiteral("state %1 connected").arg(NodeCall), LinkMs).isEmpty());
        if (nodeCalls)
            QVERIFY(reference.lines().contains(
                QStringLiteral("incoming %1 %2 SPEEX").arg(NodeCall, ProxyAddress)));

        // The node's microphone heard at the reference, the reference's tone out of the node.
        QCOMPARE(a.node.transmit(true).type(), QDBusMessage::ReplyMessage);
        a.node.microphone.send(tone(1000.0, -12.0, 2.0, Rate), a.node.address, a.node.microphonePort);
        QVERIFY(heardTone(reference.waitFor(QStringLiteral("heard %1").arg(NodeCall), LinkMs)));
        QVERIFY(QTest::qWaitFor([&] { return a.node.microphone.sendDone(); }, 5000));
        QCOMPARE(a.node.transmit(false).type(), QDBusMessage::ReplyMessage);
        a.node.speaker.clear();
        reference.send(QStringLiteral("tone 1000 -12"));
        QVERIFY(node.waitForOutput(QStringLiteral("%1 sends").arg(RefCall), LinkMs));
        QTest::qWait(1500);
        reference.send(QStringLiteral("tone off"));
        const auto out = a.node.speaker.received();
        QVERIFY2(out.size() > size_t(Rate / 2), qPrintable(QString::number(out.size())));
        const auto middle = slice(out, Rate, 0.2, double(out.size()) / Rate - 0.2);
        QVERIFY(std::abs(dominantFrequency(middle, Rate) - 1000.0) <= 20.0);

        QCOMPARE(node.disconnect(RefCall).type(), QDBusMessage::ReplyMessage);
        QVERIFY(!reference.waitFor(QStringLiteral("state %1 disconnected").arg(NodeCall), LinkMs).isEmpty());
        QVERIFY(node.waitForLinked(RefCall, false, LinkMs));
    }
}

void tst_node_proxy::wrongPasswordIsReportedAndRetried()
{
    ProxyProcess proxy;
    QVERIFY(proxy.start());
    ProxiedNode a;
    QVERIFY(a.start(QStringLiteral("not the password")));
    NodeProcess &node = a.node.node;
    QVERIFY(!proxy.waitFor(QStringLiteral("refused %1").arg(NodeCall), StartMs).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(
        node.directoryStatus().contains(QStringLiteral("the proxy refused the password")), StartMs);
    QVERIFY(node.directoryStatus().startsWith(
        QStringLiteral("waiting for the proxy; proxy %1:8100: ").arg(ProxyAddress)));
    QVERIFY(node.directoryStatus().contains(QStringLiteral("trying again in")));
    QVERIFY(node.waitForOutput(
        QStringLiteral("proxy %1:8100: the proxy refused the password").arg(ProxyAddress), StartMs));
    // Tried again, and refused again.
    QVERIFY(!proxy.waitFor(QStringLiteral("refused %1").arg(NodeCall), StartMs).isEmpty());
    QVERIFY(!node.directoryStatus().contains(QStringLiteral("not the password")));
    QCOMPARE(node.connectTo(RefCall).type(), QDBusMessage::ErrorMessage);
}

// The proxy goes away mid-link: the link ends, the loss is reported and retried, and once
// the proxy is back the node is on line again and links.
void tst_node_proxy::proxyKilledMidLink()
{
    auto proxy = std::make_unique<ProxyProcess>();
    QVERIFY(proxy->start());
    ProxiedNode a;
    QVERIFY(a.start(ProxyPassword));
    NodeProcess &node = a.node.node;
    QVERIFY(node.waitForOutput(QStringLiteral("station list: 2 stations"), StartMs));
    ReferenceStation reference(Block + QStringLiteral(".4"), RefCall);
    QVERIFY(reference.start({QStringLiteral("--accept-all")}));
    QCOMPARE(node.connectTo(RefCall).type(), QDBusMessage::ReplyMessage);
    QVERIFY(node.waitForLinked(RefCall, true, LinkMs));

    proxy->kill();
    QVERIFY(node.waitForLinked(RefCall, false, LinkMs));
    QVERIFY(node.waitForOutput(QStringLiteral("links end: the proxy connection is gone"), LinkMs));
    QTRY_VERIFY_WITH_TIMEOUT(
        node.directoryStatus().startsWith(QStringLiteral("waiting for the proxy; proxy ")), LinkMs);
    QVERIFY2(node.directoryStatus().contains(QStringLiteral("trying again in")),
             qPrintable(node.directoryStatus()));
    QVERIFY(node.links().isEmpty());

    proxy = std::make_unique<ProxyProcess>();
    QVERIFY(proxy->start());
    QVERIFY(!proxy->waitFor(QStringLiteral("login %1").arg(NodeCall), StartMs).isEmpty());
    // The bye the far station could not hear while the proxy was away ends its end too.
    QVERIFY(!reference.waitFor(QStringLiteral("state %1 disconnected").arg(NodeCall), LinkMs).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(node.directoryStatus(),
                              QStringLiteral("online; proxy %1:8100: connected").arg(ProxyAddress), StartMs);
    QCOMPARE(node.connectTo(RefCall).type(), QDBusMessage::ReplyMessage);
    QVERIFY(node.waitForLinked(RefCall, true, LinkMs));
    QVERIFY(node.isRunning());
}

// The node's window has a line for the proxy, which follows its state.
void tst_node_proxy::windowShowsTheProxyState()
{
    ProxyProcess proxy;
    QVERIFY(proxy.start());
    NodeConfig config;
    config.callsign = QStringLiteral("NODE-W");
    config.password = QStringLiteral("secret");
    config.directoryServers = {Block + QStringLiteral(".3")};
    config.bindAddress = QHostAddress(Block + QStringLiteral(".6"));
    config.proxyHost = ProxyAddress;
    config.proxyPassword = ProxyPassword;
    config.directoryRetryMs = 200;
    Node node(config);
    QCOMPARE(node.startNetworking(), QString());
    NodeWindow window(node);
    QLabel *line = nullptr;
    for (auto *label : window.findChildren<QLabel *>())
        if (label->accessibleName() == QLatin1String("Proxy status"))
            line = label;
    QVERIFY(line != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(line->text(), QStringLiteral("%1:8100: connected").arg(ProxyAddress), StartMs);
    proxy.kill();
    QTRY_VERIFY_WITH_TIMEOUT(line->text().contains(QStringLiteral("trying again in")), StartMs);
    QVERIFY(line->text().startsWith(QStringLiteral("%1:8100: ").arg(ProxyAddress)));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_proxy test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_proxy.moc"
