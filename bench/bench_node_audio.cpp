// echolink-node's sound figures, on loopback (block 127.10.42.0/24) with the directory stand-in:
// nodes A and B linked, each with the audio library's network audio device as its sound
// card, B transmitting. Latency: 50 tone bursts of three whole packets (240 ms) fed to B's
// input, each timed from the moment its first block leaves the test's "sound card" to the
// first datagram at A's output that carries it; median and p90, beside the parts it is
// made of. CPU: node A's share of one core over 20 s while the link carries B's
// continuous tone.
//
// Then node C, linked with A through a relay in this process that delays each audio
// datagram by a random 0-30 ms, talks to A: a minute of continuous tone after a warm-up, counting where A's
// output paused mid-tone (its receive buffer ran dry), and the latency of 50 bursts.
#include "AudioAnalysis.h"
#include "BenchReport.h"
#include "DelayRelay.h"
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
// Three whole codec packets, so that no part of a burst waits in B for the next one.
constexpr double BurstSeconds = 0.24;

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

// Latencies of `count` bursts, each followed by silence while A's buffers drain.
std::vector<double> burstLatencies(SoundNode &a, SoundNode &b, int count)
{
    const auto burst = tone(1000.0, -12.0, BurstSeconds, Rate);
    std::vector<double> latencies;
    for (int i = 0; i < count; ++i) {
        const double ms = burstLatency(a, b, burst);
        if (ms >= 0)
            latencies.push_back(ms);
        QTest::qWait(600);
    }
    std::printf("%zu of %d bursts heard\n", latencies.size(), count);
    return latencies;
}

// Pauses in A's output while B's tone runs `seconds` without a break.
int pausesInTone(SoundNode &a, SoundNode &b, int seconds)
{
    b.microphone.send(tone(1000.0, -12.0, seconds, Rate), b.address, b.microphonePort);
    QTest::qWait(1000);  // the tone has reached A
    a.speaker.clear();
    if (!QTest::qWaitFor([&] { return b.microphone.sendDone(); }, (seconds + 5) * 1000))
        std::printf("the test's sound card did not finish the tone\n");
    const int pauses = a.speaker.pauses();  // the stream's end is not a pause: nothing follows
    QTest::qWait(600);
    return pauses;
}

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    DirectoryProcess directory;
    // The jittery path's ends see each other at the relay's addresses, and the directory
    // lists them there (ahead of where they log on from).
    const QHostAddress forA(Block + QStringLiteral(".4")), forC(Block + QStringLiteral(".5"));
    const QStringList listed{QStringLiteral("--listed"), QStringLiteral("RELAY-A,9001,") + forA.toString(),
                             QStringLiteral("--listed"), QStringLiteral("NODE-C,9002,") + forC.toString()};
    if (!directory.start(Block + QStringLiteral(".3"), listed))
        return 1;
    SoundNode a(QStringLiteral("A"), Block, 1), b(QStringLiteral("B"), Block, 2),
        c(QStringLiteral("C"), Block, 6);
    a.node.writeConfig(a.config(QStringLiteral("NODE-A")));
    b.node.writeConfig(b.config(QStringLiteral("NODE-B")));
    c.node.writeConfig(c.config(QStringLiteral("NODE-C")));
    if (!a.node.start() || !b.node.start() || !c.node.start())
        return 1;
    for (SoundNode *node : {&a, &b, &c})
        if (!node->node.waitForStations(5, StartMs))
            return 1;
    if (b.node.connectTo(QStringLiteral("NODE-A")).type() != QDBusMessage::ReplyMessage
        || !a.node.waitForLinked(QStringLiteral("NODE-B"), true, 3000)
        || b.transmit(true).type() != QDBusMessage::ReplyMessage)
        return 1;
    QTest::qWait(1000);  // the codec settles

    const int bursts = quick ? 10 : 50;
    const std::vector<double> latencies = burstLatencies(a, b, bursts);
    std::printf("parts: codec packet 4 x 20 ms = 80 ms, of which the first 16 ms block is "
                "in B when timing starts; the test's sound card blocks %d frames = %d ms "
                "each way\n",
                UdpAudioPort::BlockFrames, 1000 * UdpAudioPort::BlockFrames / Rate);
    BenchReport::figure("node.audio_latency_median_ms", BenchReport::median(latencies));
    BenchReport::figure("node.audio_latency_p90_ms", BenchReport::percentile(latencies, 0.9));
    BenchReport::figure("node.audio_packet_ms", 80);

    // CPU of A while B's tone flows over the link without a break.
    const int seconds = quick ? 5 : 20;
    b.microphone.send(tone(1000.0, -12.0, seconds + 2.0, Rate), b.address, b.microphonePort);
    QTest::qWait(1000);
    a.speaker.clear();
    const ProcessStats before = ProcessStats::of(pid_t(a.node.pid()));
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    const ProcessStats after = ProcessStats::of(pid_t(a.node.pid()));
    const double heardPeak = peakDbfs(a.speaker.received());
    BenchReport::figure("node.audio_clean_underruns", a.speaker.pauses());
    std::printf("A heard the tone at a peak of %.1f dBFS while measured\n", heardPeak);
    BenchReport::figure("node.audio_cpu_percent",
                        100.0 * (after.cpuSeconds - before.cpuSeconds) / (wall.elapsed() / 1000.0));
    BenchReport::figure("node.audio_rss_mib", after.rssMiB);

    b.transmit(false);

    // The jittery path: C links A through the relay, at RELAY-A, and talks.
    DelayRelay relay;
    if (!relay.start(a.address, forA, c.address, forC))
        return 1;
    if (c.node.connectTo(QStringLiteral("RELAY-A")).type() != QDBusMessage::ReplyMessage
        || !a.node.waitForLinked(QStringLiteral("NODE-C"), true, 5000)
        || c.transmit(true).type() != QDBusMessage::ReplyMessage)
        return 1;
    const int warmUp = quick ? 5 : 10, minute = quick ? 10 : 60;
    std::printf("through the relay: %d s of warm-up tone, pauses in A's output: %d\n", warmUp,
                pausesInTone(a, c, warmUp));
    const int pauses = pausesInTone(a, c, minute);
    std::printf("through the relay: %d s of tone, %d datagrams delayed so far\n", minute, relay.delayed());
    BenchReport::figure("node.audio_jitter_seconds", minute);
    BenchReport::figure("node.audio_jitter_underruns", pauses);
    const std::vector<double> jittered = burstLatencies(a, c, bursts);
    BenchReport::figure("node.audio_jitter_latency_median_ms", BenchReport::median(jittered));
    BenchReport::figure("node.audio_jitter_latency_p90_ms", BenchReport::percentile(jittered, 0.9));
    BenchReport::figure("node.audio_jitter_most_delay_ms", DelayRelay::MostDelayMs);
    c.transmit(false);
    return 0;
}
