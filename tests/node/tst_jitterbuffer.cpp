// A link's receive buffer, driven packet by packet on a clock of the test's own, so that
// every arrival is exactly as early or late as the test says: it holds back a talk spurt
// only as long as the link's jitter needs, grows after an underrun or when arrivals
// spread, shrinks slowly again, and loses no sound doing so.
#include "AudioTestEnds.h"
#include "AudioTestMain.h"
#include "node/audio/JitterBuffer.h"

#include <QTest>

#include <vector>

namespace {

constexpr int PacketSamples = 640;  // four 20 ms frames at 8 kHz
constexpr double PacketMs = 80.0;

// A receive buffer whose clock the test sets, feeding a sink that takes everything.
struct Receiver
{
    double now = 0;
    JitterBuffer buffer{[this] { return now; }};
    CaptureSink played;
    std::vector<float> packet = std::vector<float>(PacketSamples, 0.25f);

    Receiver() { buffer.registerSink(&played); }
    ~Receiver() { buffer.unregisterSink(); }

    // A packet arrives at `ms`, written frame by frame as a link does.
    void arrive(double ms)
    {
        now = ms;
        for (int frame = 0; frame < 4; ++frame)
            buffer.writeSamples(packet.data() + frame * 160, 160);
    }
    // Waits out a hold (the buffer's own timer), the test's clock standing at `ms` after it.
    bool played_out(double ms)
    {
        now = ms;
        return QTest::qWaitFor([this] { return !buffer.isHolding() && buffer.samplesHeld() == 0; }, 2000);
    }
};

}  // namespace

class JitterBufferTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void holdFollowsTheSpreadOfArrivals()
    {
        JitterTarget target;
        target.spurtStarted();
        for (int i = 0; i < 20; ++i)
            target.arrived(0.3 * (i % 2));
        QVERIFY(target.holdMs() < JitterTarget::MarginMs + 1.0);  // a clean link: nearly empty

        for (int i = 0; i < 20; ++i)
            target.arrived(i % 2 ? 30.0 : 0.0);
        const double grown = target.holdMs();
        QVERIFY(grown >= 30.0);

        // Steady again: the spread stays in the window a while, then the hold comes down,
        // a little with each packet.
        for (int i = 0; i < JitterTarget::Window; ++i)
            target.arrived(0.0);
        QVERIFY(target.holdMs() >= 30.0);
        for (int i = 0; i < 10; ++i)
            target.arrived(0.0);
        QVERIFY(target.holdMs() < grown);
        QVERIFY(target.holdMs() > 20.0);
        for (int i = 0; i < 400; ++i)
            target.arrived(0.0);
        QVERIFY(target.holdMs() < JitterTarget::MarginMs + 1.0);
    }

    void anUnderrunHoldsTheRestBackLongerAndLosesNothing()
    {
        Receiver r;
        r.arrive(0);
        const double firstHold = r.buffer.holdMs();
        QVERIFY(r.played_out(firstHold));
        r.arrive(PacketMs);  // on the far station's schedule
        r.arrive(2 * PacketMs);
        QCOMPARE(r.buffer.underruns(), 0);
        QCOMPARE(r.buffer.holdMs(), firstHold);

        // 40 ms after it was due: the sound had run dry.
        r.arrive(firstHold + 3 * PacketMs + 40.0);
        QCOMPARE(r.buffer.underruns(), 1);
        QVERIFY(r.buffer.isHolding());
        QVERIFY(r.buffer.holdMs() >= firstHold + 40.0);
        QVERIFY(r.played_out(firstHold + 3 * PacketMs + 40.0 + r.buffer.holdMs()));

        // The next packet has the room the longer hold gives it.
        r.arrive(firstHold + 4 * PacketMs + 40.0 + 30.0);
        QCOMPARE(r.buffer.underruns(), 1);
        QCOMPARE(r.played.samples().size(), size_t(5 * PacketSamples));

        // The far station stops: what is left plays out, then the flush goes on.
        r.buffer.flushSamples();
        QTRY_COMPARE(r.played.flushes(), 1);
    }

    void aSpurtStartsWithTheHoldLearnt()
    {
        Receiver r;
        r.arrive(0);
        QVERIFY(r.played_out(r.buffer.holdMs()));
        const double start = r.now;
        for (int i = 1; i < 12; ++i)
            r.arrive(start + i * PacketMs + (i % 2 ? 25.0 : -5.0));  // up to 25 ms late
        r.buffer.flushSamples();
        QTRY_COMPARE(r.played.flushes(), 1);

        // The next spurt is held back for the spread it saw, before any underrun.
        const int underrunsBefore = r.buffer.underruns();
        r.arrive(10000);
        QVERIFY(r.buffer.isHolding());
        QVERIFY(r.buffer.holdMs() >= 30.0);
        QVERIFY(r.played_out(10000 + r.buffer.holdMs()));
        for (int i = 1; i < 12; ++i)
            r.arrive(10000 + i * PacketMs + (i % 2 ? 25.0 : -5.0));
        QCOMPARE(r.buffer.underruns(), underrunsBefore);
        QCOMPARE(r.played.samples().size(), size_t(24 * PacketSamples));
    }
};

AUDIO_TEST_MAIN(JitterBufferTest)
#include "tst_jitterbuffer.moc"
