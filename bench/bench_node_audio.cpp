// echolink-node's sound figures, on loopback (block 127.10.42.0/24) with the directory stand-in:
// nodes A and B linked, each with the audio library's network audio device as its sound
// card, B transmitting. Latency: 50 tone bursts fed to B's input, each timed from the
// moment its first block leaves the test's "sound card" to the first datagram at A's
// output that carries it; median and p90, beside the parts it is made of. CPU: node A's
// share of one core over 20 s while the link carries B's continuous tone.
#include "AudioAnalysis.h"
#include "BenchReport.h"
#include "DirectoryProcess.h"
#include "ProcessStats.h"
#include "SoundNode.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <cmath>
#include <cstdio>

using namespace AudioAnalysis;

namespace {

const QString Block = loopbackBlock(42);
constexpr int Rate = UdpAudioPort::SampleRate;
constexpr int StartMs = 10000;
constexpr float Threshold = 0.05f;  // -26 dBFS: the -12 dBFS burst has arrived

// Milliseconds from the burst's first block leaving B's input to the first datagram at A's
// output with a sample over the threshold; negative when it never came.
double burstLatency(SoundNode &a, SoundNode &b, const std::vector<float> &burst)
{
    a.speaker.clear();
    b.microphone.send(burst, b.address, b.microphonePort);
    const qint64 sent = b.microphone.sendStartedMs();
    size_t seen = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        QTest::qWait(1);
        const auto heard = a.speaker.received();
        for (size_t i = seen; i < heard.size(); ++i)
            if (std::fabs(heard[i]) > Threshold)
                return double(QDeadlineTimer::current().deadline() - sent);
        seen = heard.size();
    }
    return -1;
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
    SoundNode a(QStringLiteral("A"), Block, 1), b(QStringLiteral("B"), Block, 2);
    a.node.writeConfig(a.config(QStringLiteral("NODE-A")));
    b.node.writeConfig(b.config(QStringLiteral("NODE-B")));
    if (!a.node.start() || !b.node.start() || !a.node.waitForStations(2, StartMs)
        || !b.node.waitForStations(2, StartMs))
        return 1;
    if (b.node.connectTo(QStringLiteral("NODE-A")).type() != QDBusMessage::ReplyMessage
        || !a.node.waitForLinked(QStringLiteral("NODE-B"), true, 3000)
        || b.transmit(true).type() != QDBusMessage::ReplyMessage)
        return 1;
    QTest::qWait(1000);  // the codec settles

    const int bursts = quick ? 10 : 50;
    const auto burst = tone(1000.0, -12.0, 0.2, Rate);
    std::vector<double> latencies;
    for (int i = 0; i < bursts; ++i) {
        const double ms = burstLatency(a, b, burst);
        if (ms >= 0)
            latencies.push_back(ms);
        QTest::qWait(600);  // the burst and A's buffers drain: silence before the next
    }
    std::printf("%zu of %d bursts heard\n", latencies.size(), bursts);
    std::printf("parts: codec packet 4 x 20 ms = 80 ms; the test's sound card blocks "
                "%d frames = %d ms each way (output prebuffer 2 blocks = %d ms)\n",
                UdpAudioPort::BlockFrames, 1000 * UdpAudioPort::BlockFrames / Rate,
                2000 * UdpAudioPort::BlockFrames / Rate);
    BenchReport::figure("node.audio_latency_median_ms", BenchReport::median(latencies));
    BenchReport::figure("node.audio_latency_p90_ms", BenchReport::percentile(latencies, 0.9));
    BenchReport::figure("node.audio_packet_ms", 80);

    // CPU of A while B's tone flows over the link without a break.
    const int seconds = quick ? 5 : 20;
    b.microphone.send(tone(1000.0, -12.0, seconds + 2.0, Rate), b.address, b.microphonePort);
    QTest::qWait(1000);
    const ProcessStats before = ProcessStats::of(pid_t(a.node.pid()));
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    const ProcessStats after = ProcessStats::of(pid_t(a.node.pid()));
    const double heardPeak = peakDbfs(a.speaker.received());
    std::printf("A heard the tone at a peak of %.1f dBFS while measured\n", heardPeak);
    BenchReport::figure("node.audio_cpu_percent",
                        100.0 * (after.cpuSeconds - before.cpuSeconds) / (wall.elapsed() / 1000.0));
    BenchReport::figure("node.audio_rss_mib", after.rssMiB);
    b.transmit(false);
    return 0;
}
