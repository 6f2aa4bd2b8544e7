// echolink-node's figures, on loopback (block 127.10.9.0/24) with the directory stand-in, the
// nodes headless (--no-window --no-audio): click to linked on both ends beside one bare UDP
// round trip measured in the same run; resident memory, idle CPU and wake-ups with 1 link
// beside bare_node (the bus name and the two ports, nothing else) watched over the same
// time; the bus's answer times and the node's CPU while 100 strangers (.100 to .199) call
// it 20,000 times in 4 s, beside the answer times with nobody calling; memory with 5 links.
//
//   bench_node [--quick]
#include "BenchReport.h"
#include "CallerFlood.h"
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "ProcessStats.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const QString Block = loopbackBlock(9);
constexpr int StartMs = 10000;
constexpr int Strangers = 100;  // addresses calling in the burst
constexpr int BurstPackets = 20000;
constexpr int BurstMs = 4000;
constexpr double RssOverBareMiB = 2.5;  // the headless node's memory beyond bare_node's, at most

// Counts LinksChanged signals of one node and remembers the last list.
class LinksWatch : public QObject
{
    Q_OBJECT

public:
    QStringList links;
    int changes = 0;

public Q_SLOTS:
    void changed(const QStringList &now)
    {
        links = now;
        ++changes;
    }
};

// A headless node of the block with the network's own intervals (the list every few
// minutes, at most one fetch a minute for unknown callers).
std::unique_ptr<NodeProcess> startNode(const QString &name, int host, const QString &callsign)
{
    auto node = std::make_unique<NodeProcess>(name, Block, host);
    QMap<QString, QString> config = node->standardConfig(callsign);
    config.remove(QStringLiteral("Timing/ListRefreshMs"));
    config.remove(QStringLiteral("Timing/UnknownCallerFetchMs"));
    config.insert(QStringLiteral("Links/MaxLinks"), QStringLiteral("8"));
    node->writeConfig(config);
    if (!node->start({QStringLiteral("--no-audio")})
        || !node->waitForOutput(QStringLiteral("station list:"), StartMs))
        return {};
    return node;
}

// The floor of the headless node: bare_node on a private bus of its own at host .8 of the
// block. start() returns once it owns the bus name.
class BareNode
{
public:
    ~BareNode()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    bool start()
    {
        if (!m_bus.start())
            return false;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(BARE_NODE_PATH), {Block + QStringLiteral(".8")});
        if (!m_process.waitForStarted(StartMs))
            return false;
        const QDeadlineTimer deadline(StartMs);
        while (!m_bus.serviceOwned()) {
            if (deadline.hasExpired() || m_process.state() != QProcess::Running)
                return false;
            QTest::qWait(20);
        }
        return true;
    }

    pid_t pid() const { return pid_t(m_process.processId()); }

private:
    PrivateBus m_bus{QStringLiteral("bare")};
    QProcess m_process;
};

// IsConnected asked of a node every 10 ms for a while, each call timed from sending to
// its answer (a call unanswered in the contract's 500 ms counts as that long).
struct Answers
{
    std::vector<double> ms;
    int notLinked = 0;  // answers other than "linked"
};

Answers watchAnswers(NodeProcess &node, const QString &call, int watchMs)
{
    Answers answers;
    QElapsedTimer watch;
    watch.start();
    while (watch.elapsed() < watchMs) {
        QElapsedTimer clock;
        clock.start();
        const QDBusMessage reply = node.call(Automation::ApplicationPath, Automation::ApplicationInterface,
                                             Automation::IsConnectedMethod, {call});
        answers.ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool())
            ++answers.notLinked;
        QTest::qWait(10);
    }
    return answers;
}

double longest(const std::vector<double> &samples)
{
    return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
}

bool watch(NodeProcess &node, LinksWatch &watcher)
{
    return node.bus().connection().connect(
        QLatin1String(Automation::ServiceName), QLatin1String(Automation::StationPath),
        QLatin1String(Automation::StationInterface), QLatin1String(Automation::LinksChangedSignal), &watcher,
        SLOT(changed(QStringList)));
}

// Sleeps in the event loop until done() holds, woken by each event (QTest::qWaitFor
// sleeps in 10 ms steps, too coarse for these figures). False after timeoutMs.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// One datagram there and back between two sockets of the block.
double bareRoundTripMs()
{
    QUdpSocket a;
    QUdpSocket b;
    if (!a.bind(QHostAddress(Block + QStringLiteral(".1")), 0)
        || !b.bind(QHostAddress(Block + QStringLiteral(".2")), 0))
        return -1;
    QObject::connect(&b, &QUdpSocket::readyRead, &b, [&b] {
        while (b.hasPendingDatagrams()) {
            QHostAddress from;
            quint16 port = 0;
            QByteArray data(int(b.pendingDatagramSize()), '\0');
            b.readDatagram(data.data(), data.size(), &from, &port);
            b.writeDatagram(data, from, port);
        }
    });
    std::vector<double> samples;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer clock;
        clock.start();
        a.writeDatagram(QByteArray(100, 'x'), b.localAddress(), b.localPort());
        if (!waitFor([&a] { return a.hasPendingDatagrams(); }, 1000))
            return -1;
        a.receiveDatagram();
        if (i > 0)  // the first warms up
            samples.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return BenchReport::median(samples);
}

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));

    DirectoryProcess directory;
    if (!directory.start(Block + QStringLiteral(".3")))
        return 1;
    auto a = startNode(QStringLiteral("A"), 1, QStringLiteral("NODE-A"));
    auto b = startNode(QStringLiteral("B"), 2, QStringLiteral("NODE-B"));
    std::vector<std::unique_ptr<NodeProcess>> others;
    for (int i = 0; i < 4; ++i)
        others.push_back(startNode(QStringLiteral("O%1").arg(i), 4 + i, QStringLiteral("NODE-O%1").arg(i)));
    if (!a || !b || std::any_of(others.begin(), others.end(), [](const auto &n) { return !n; }))
        return 1;
    // A fresh list on A with every station: one call that is not listed fetches it.
    a->connectTo(QStringLiteral("NOBODY"));
    if (!a->waitForStations(6, StartMs))
        return 1;

    LinksWatch onA;
    LinksWatch onB;
    if (!watch(*a, onA) || !watch(*b, onB))
        return 1;

    // Click to linked on both ends: Connect sent until both nodes announce the link.
    // The parts: until Connect is answered, and until each node's announcement is seen.
    std::vector<double> linkMs, answerMs, seenOnAMs, seenOnBMs;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        a->connectTo(QStringLiteral("NODE-B"));
        answerMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        double onAAt = -1;
        double onBAt = -1;
        const auto seen = [&clock](const LinksWatch &on, const char *call, double &at) {
            if (!on.links.contains(QLatin1String(call)))
                return false;
            if (at < 0)
                at = double(clock.nsecsElapsed()) / 1e6;
            return true;
        };
        if (!waitFor([&] { return seen(onA, "NODE-B", onAAt) & seen(onB, "NODE-A", onBAt); }, 5000))
            return 1;
        seenOnAMs.push_back(onAAt);
        seenOnBMs.push_back(onBAt);
        linkMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        a->disconnect(QStringLiteral("NODE-B"));
        if (!waitFor([&] { return onA.links.isEmpty() && onB.links.isEmpty(); }, 5000))
            return 1;
    }
    BenchReport::figure("node.link_median_ms", BenchReport::median(linkMs));
    BenchReport::note(QStringLiteral("link, medians: Connect answered %1 ms, B's LinksChanged seen %2 ms, "
                                     "A's %3 ms")
                          .arg(BenchReport::median(answerMs), 0, 'f', 3)
                          .arg(BenchReport::median(seenOnBMs), 0, 'f', 3)
                          .arg(BenchReport::median(seenOnAMs), 0, 'f', 3));
    BenchReport::figure("node.udp_roundtrip_ms", bareRoundTripMs());

    // Memory and idle cost with one link, beside the bare program over the same time.
    BareNode bare;
    if (!bare.start())
        return 1;
    a->connectTo(QStringLiteral("NODE-B"));
    if (!waitFor([&] { return onA.links.size() == 1; }, 5000))
        return 1;
    QTest::qWait(1000);
    const pid_t pid = pid_t(a->pid());
    const pid_t barePid = bare.pid();
    const ProcessStats before = ProcessStats::of(pid);
    const ProcessStats bareBefore = ProcessStats::of(barePid);
    const int seconds = quick ? 10 : 60;
    QTest::qWait(seconds * 1000);
    const ProcessStats after = ProcessStats::of(pid);
    const ProcessStats bareAfter = ProcessStats::of(barePid);
    BenchReport::figure("node.rss_1_link_mib", after.rssMiB);
    BenchReport::figure("node.bare_rss_mib", bareAfter.rssMiB);
    // The headless node beside its floor: within 2.5 MiB of it, Qt Widgets and Gui unloaded.
    const double overBare = after.rssMiB - bareAfter.rssMiB;
    BenchReport::figure("node.rss_over_bare_mib", overBare);
    BenchReport::note(QStringLiteral("headless node %1 MiB beside the bare program's %2 MiB: %3 MiB more, %4")
                          .arg(after.rssMiB, 0, 'f', 1)
                          .arg(bareAfter.rssMiB, 0, 'f', 1)
                          .arg(overBare, 0, 'f', 2)
                          .arg(overBare <= RssOverBareMiB
                                   ? QStringLiteral("within the %1 MiB allowed").arg(RssOverBareMiB)
                                   : QStringLiteral("MORE than the %1 MiB allowed").arg(RssOverBareMiB)));
    BenchReport::figure("node.idle_seconds", seconds);
    BenchReport::figure("node.idle_wakeups_per_s", double(ProcessStats::wakeups(before, after)) / seconds);
    BenchReport::figure("node.bare_idle_wakeups_per_s",
                        double(ProcessStats::wakeups(bareBefore, bareAfter)) / seconds);
    const QMap<QString, long> byThread = ProcessStats::wakeupsByThreadName(before, after);
    for (auto it = byThread.cbegin(); it != byThread.cend(); ++it)
        BenchReport::note(QStringLiteral("idle wake-ups of thread %1: %2 in %3 s")
                              .arg(it.key())
                              .arg(it.value())
                              .arg(seconds));
    BenchReport::figure("node.idle_cpu_percent", 100.0 * (after.cpuSeconds - before.cpuSeconds) / seconds);
    BenchReport::figure("node.bare_idle_cpu_percent",
                        100.0 * (bareAfter.cpuSeconds - bareBefore.cpuSeconds) / seconds);

    // The bus while strangers call: IsConnected timed with nobody calling, then during the
    // burst, with the node's CPU over the burst.
    QStringList strangers;
    for (int i = 0; i < Strangers; ++i)
        strangers << QStringLiteral("%1.%2").arg(Block).arg(100 + i);
    CallerFlood flood(strangers, QStringLiteral("STRANGER"));
    if (!flood.bound())
        return 1;
    const Answers quiet = watchAnswers(*a, QStringLiteral("NODE-B"), BurstMs);
    const ProcessStats burstBefore = ProcessStats::of(pid);
    QElapsedTimer burstClock;
    burstClock.start();
    flood.start(a->address(), BurstPackets, BurstMs);
    const Answers loud = watchAnswers(*a, QStringLiteral("NODE-B"), BurstMs);
    flood.wait();
    const double burstSeconds = double(burstClock.nsecsElapsed()) / 1e9;
    const ProcessStats burstAfter = ProcessStats::of(pid);
    BenchReport::note(QStringLiteral("burst: %1 packets in %2 ms; %3 and %4 calls answered; "
                                     "answers other than linked: %5 quiet, %6 in the burst")
                          .arg(flood.sent())
                          .arg(flood.tookMs(), 0, 'f', 0)
                          .arg(quiet.ms.size())
                          .arg(loud.ms.size())
                          .arg(quiet.notLinked)
                          .arg(loud.notLinked));
    BenchReport::figure("node.burst_packets", flood.sent());
    BenchReport::figure("node.burst_cpu_percent",
                        100.0 * (burstAfter.cpuSeconds - burstBefore.cpuSeconds) / burstSeconds);
    BenchReport::figure("node.burst_answer_max_ms", longest(loud.ms));
    BenchReport::figure("node.burst_answer_median_ms", BenchReport::median(loud.ms));
    BenchReport::figure("node.quiet_answer_max_ms", longest(quiet.ms));
    BenchReport::figure("node.quiet_answer_median_ms", BenchReport::median(quiet.ms));
    BenchReport::figure("node.burst_not_linked", loud.notLinked);
    if (!onA.links.contains(QStringLiteral("NODE-B")))
        return 1;

    // Five links.
    for (int i = 0; i < 4; ++i)
        a->connectTo(QStringLiteral("NODE-O%1").arg(i));
    if (!waitFor([&] { return onA.links.size() == 5; }, 5000))
        return 1;
    QTest::qWait(1000);
    BenchReport::figure("node.rss_5_links_mib", ProcessStats::of(pid).rssMiB);
    BenchReport::figure("node.rss_hwm_mib", ProcessStats::of(pid).highWaterMiB);
    return 0;
}

#include "bench_node.moc"
