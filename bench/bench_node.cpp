// echolink-node's figures, on loopback (block 127.10.9.0/24) with the directory stand-in:
// click to linked on both ends beside one bare UDP round trip measured in the same run,
// resident memory with 1 and with 5 links, and idle CPU and wake-ups with 1 link.
//
//   bench_node [--quick]
#include "BenchReport.h"
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "ProcessStats.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <functional>
#include <memory>

namespace {

const QString Block = loopbackBlock(9);
constexpr int StartMs = 10000;

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

// A node of the block with the network's own intervals (the list every few minutes).
std::unique_ptr<NodeProcess> startNode(const QString &name, int host, const QString &callsign)
{
    auto node = std::make_unique<NodeProcess>(name, Block, host);
    QMap<QString, QString> config = node->standardConfig(callsign);
    config.remove(QStringLiteral("Timing/ListRefreshMs"));
    config.insert(QStringLiteral("Links/MaxLinks"), QStringLiteral("8"));
    node->writeConfig(config);
    if (!node->start() || !node->waitForOutput(QStringLiteral("station list:"), StartMs))
        return {};
    return node;
}

bool watch(NodeProcess &node, LinksWatch &watcher)
{
    return node.bus().connection().connect(
        QLatin1String(Automation::ServiceName), QLatin1String(Automation::StationPath),
        QLatin1String(Automation::StationInterface), QLatin1String(Automation::LinksChangedSignal),
        &watcher, SLOT(changed(QStringList)));
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
    std::vector<double> linkMs;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        a->connectTo(QStringLiteral("NODE-B"));
        if (!waitFor([&] { return onA.links.contains(QStringLiteral("NODE-B"))
                                          && onB.links.contains(QStringLiteral("NODE-A")); }, 5000))
            return 1;
        linkMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        a->disconnect(QStringLiteral("NODE-B"));
        if (!waitFor([&] { return onA.links.isEmpty() && onB.links.isEmpty(); }, 5000))
            return 1;
    }
    BenchReport::figure("node.link_median_ms", BenchReport::median(linkMs));
    BenchReport::figure("node.udp_roundtrip_ms", bareRoundTripMs());

    // Memory and idle cost with one link.
    a->connectTo(QStringLiteral("NODE-B"));
    if (!waitFor([&] { return onA.links.size() == 1; }, 5000))
        return 1;
    QTest::qWait(1000);
    const pid_t pid = pid_t(a->pid());
    const ProcessStats before = ProcessStats::of(pid);
    const int seconds = quick ? 10 : 60;
    QTest::qWait(seconds * 1000);
    const ProcessStats after = ProcessStats::of(pid);
    BenchReport::figure("node.rss_1_link_mib", after.rssMiB);
    BenchReport::figure("node.idle_seconds", seconds);
    BenchReport::figure("node.idle_wakeups_per_s",
                        double(ProcessStats::wakeups(before, after)) / seconds);
    BenchReport::figure("node.idle_cpu_percent",
                        100.0 * (after.cpuSeconds - before.cpuSeconds) / seconds);

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
