// echolink-node as a conference of up to 20 links, on loopback (block 127.10.43.0/24) with
// the test directory: one headless node, and far stations in this process, each a
// StationLink on a UdpTransport bound to an address of its own. One far station talks
// (a 1 kHz tone, one packet every 80 ms) and the node relays it to all the others. Figures:
// the node's share of one core with 1, 5, 10 and 20 links, over 20 s each, and the cost of
// each further link.
#include "BenchReport.h"
#include "DirectoryProcess.h"
#include "LoopbackBlock.h"
#include "NodeProcess.h"
#include "ProcessStats.h"
#include "TestEnvironment.h"
#include "node/protocol/AudioPacket.h"
#include "node/protocol/ControlPacket.h"
#include "node/protocol/StationLink.h"
#include "node/protocol/UdpTransport.h"
#include "node/protocol/VoiceCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const QString Block = loopbackBlock(43);
constexpr int MostLinks = 20;
constexpr int FirstFarHost = 10;

QString farCall(int i)
{
    return QStringLiteral("FAR%1").arg(i, 2, 10, QLatin1Char('0'));
}

// A far station: its own transport on its own address, and its link with the node.
struct FarStation
{
    FarStation(int i, const QHostAddress &node)
    {
        address = QHostAddress(Block + QLatin1Char('.') + QString::number(FirstFarHost + i));
        if (!transport.bind(address))
            return;
        link = std::make_unique<StationLink>(
            transport, node,
            StationLink::Local{farCall(i).toLatin1(), "far", "far station " + QByteArray::number(i)},
            StationLink::Timing{});
        QObject::connect(&transport, &Transport::controlReceived,
                         [this](const QHostAddress &, quint16 port, const QByteArray &datagram) {
                             if (const auto packet = ControlPacket::parse(datagram))
                                 link->controlDatagram(port, *packet);
                         });
        QObject::connect(&transport, &Transport::audioReceived,
                         [this](const QHostAddress &, quint16 port, const QByteArray &datagram) {
                             if (const auto packet = AudioPacket::parse(datagram))
                                 link->audioDatagram(port, *packet);
                         });
        QObject::connect(link.get(), &StationLink::voiceReceived,
                         [this](const qint16 *, int count) { heardSamples += count; });
    }

    QHostAddress address;
    UdpTransport transport;
    std::unique_ptr<StationLink> link;
    qint64 heardSamples = 0;
};

// The talking station's tone, one packet at a time.
class Talker
{
public:
    explicit Talker(StationLink &link) : m_link(link)
    {
        m_pace.setTimerType(Qt::PreciseTimer);
        m_pace.setInterval(VoiceCodec::PacketSamples / 8);
        QObject::connect(&m_pace, &QTimer::timeout, [this] { sendPacket(); });
        m_pace.start();
    }

private:
    void sendPacket()
    {
        qint16 packet[VoiceCodec::PacketSamples];
        for (qint16 &sample : packet)
            sample =
                qint16(std::lround(8000.0 * std::sin(2.0 * M_PI * 1000.0 * double(m_sample++) / 8000.0)));
        m_link.sendVoice(packet);
    }

    StationLink &m_link;
    QTimer m_pace;
    qint64 m_sample = 0;
};

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int seconds = quick ? 5 : 20;

    QStringList listed;
    for (int i = 0; i < MostLinks; ++i)
        listed
            << QStringLiteral("--listed")
            << QStringLiteral("%1,%2,%3.%4").arg(farCall(i)).arg(9100 + i).arg(Block).arg(FirstFarHost + i);
    DirectoryProcess directory;
    if (!directory.start(Block + QStringLiteral(".3"), listed))
        return 1;
    NodeProcess node(QStringLiteral("N"), Block, 1);
    QMap<QString, QString> config = node.standardConfig(QStringLiteral("NODE-N"));
    config.insert(QStringLiteral("Links/MaxLinks"), QString::number(MostLinks));
    config.insert(QStringLiteral("Timing/ListRefreshMs"), QStringLiteral("3600000"));
    node.writeConfig(config);
    if (!node.start() || !node.waitForStations(MostLinks + 1, 10000))
        return 1;

    const QHostAddress nodeAddress(Block + QStringLiteral(".1"));
    std::vector<std::unique_ptr<FarStation>> far;
    std::unique_ptr<Talker> talker;
    for (int links : {1, 5, 10, 20}) {
        while (int(far.size()) < links) {
            far.push_back(std::make_unique<FarStation>(int(far.size()), nodeAddress));
            if (!far.back()->link)
                return 1;
            far.back()->link->call();
            if (!QTest::qWaitFor([&] { return far.back()->link->isUp(); }, 5000)
                || !node.waitForLinked(farCall(int(far.size()) - 1), true, 5000)) {
                std::printf("# no link with %s\n", qPrintable(farCall(int(far.size()) - 1)));
                return 1;
            }
        }
        if (!talker)
            talker = std::make_unique<Talker>(*far.front()->link);
        QTest::qWait(1000);
        for (auto &station : far)
            station->heardSamples = 0;
        const ProcessStats before = ProcessStats::of(pid_t(node.pid()));
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(seconds * 1000);
        const ProcessStats after = ProcessStats::of(pid_t(node.pid()));
        const double cpu = 100.0 * (after.cpuSeconds - before.cpuSeconds) / (double(wall.elapsed()) / 1000.0);
        qint64 least = -1;
        for (size_t i = 1; i < far.size(); ++i)
            least = least < 0 ? far[i]->heardSamples : std::min(least, far[i]->heardSamples);
        std::printf("%d links: each listener heard at least %.1f s of the %d s\n", links,
                    least < 0 ? 0.0 : double(least) / 8000.0, seconds);
        BenchReport::figure(qPrintable(QStringLiteral("node.conference_cpu_%1_links").arg(links)), cpu);
        BenchReport::figure(qPrintable(QStringLiteral("node.conference_rss_%1_links_mib").arg(links)),
                            after.rssMiB);
    }
    return 0;
}
