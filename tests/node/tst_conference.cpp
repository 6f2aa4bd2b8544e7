// The node's conference wiring with in-memory ends at 16 kHz: every link is heard on the
// local output, a link's audio goes to the other links and never back to itself, and the
// local input reaches the links only while transmitting.
#include "AudioAnalysis.h"
#include "AudioTestEnds.h"
#include "AudioTestMain.h"
#include "node/audio/ConferenceAudio.h"
#include "node/audio/LinkRateAdapter.h"

#include <QTest>

using namespace AudioAnalysis;

namespace {

constexpr int Rate = 16000;

// One link's two ends: what it receives (played by the test) and what is sent to it.
struct TestLink
{
    BufferSource received;
    CaptureSink sent;
};

double level(const CaptureSink &sink, double frequency)
{
    return toneLevelDbfs(sink.samples(), frequency, Rate);
}

}  // namespace

class tst_conference : public QObject
{
    Q_OBJECT
private:
    // Plays a half-second tone at -12 dBFS from `source` and waits until it has been
    // flushed through the conference to every end it reaches.
    void talk(BufferSource &source, double frequency)
    {
        source.play(tone(frequency, -12.0, 0.5, Rate));
        QVERIFY(QTest::qWaitFor([&] { return source.flushed(); }, 5000));
    }

private Q_SLOTS:
    void everyLinkIsHeardLocallyAndByTheOthers()
    {
        BufferSource microphone;
        CaptureSink speaker;
        TestLink a, b;
        ConferenceAudio conference(&microphone, &speaker);
        conference.addLink(&a.received, &a.sent);
        conference.addLink(&b.received, &b.sent);

        // Both stations at once: mixed on the speaker, neither louder nor quieter.
        a.received.play(tone(700.0, -12.0, 0.5, Rate));
        b.received.play(tone(1300.0, -12.0, 0.5, Rate));
        QVERIFY(QTest::qWaitFor([&] { return a.received.flushed() && b.received.flushed(); }, 5000));
        QCOMPARE(speaker.samples().size(), size_t(Rate / 2));
        QVERIFY(std::abs(level(speaker, 700.0) + 12.0) < 0.1);
        QVERIFY(std::abs(level(speaker, 1300.0) + 12.0) < 0.1);

        // Each hears the other, not itself.
        QVERIFY(std::abs(level(b.sent, 700.0) + 12.0) < 0.1);
        QVERIFY(std::abs(level(a.sent, 1300.0) + 12.0) < 0.1);
        QVERIFY(level(a.sent, 700.0) < -90.0);
        QVERIFY(level(b.sent, 1300.0) < -90.0);
    }

    void oneStationReachesAllOthersButNotItself()
    {
        TestLink a, b, c;
        CaptureSink speaker;
        ConferenceAudio conference(nullptr, &speaker);
        for (TestLink *l : {&a, &b, &c})
            conference.addLink(&l->received, &l->sent);
        QCOMPARE(conference.linkCount(), 3);

        talk(a.received, 700.0);
        QVERIFY(a.sent.samples().empty());
        for (const CaptureSink *s : {&b.sent, &c.sent, &speaker}) {
            QCOMPARE(dominantFrequency(s->samples(), Rate), 700.0);
            QVERIFY(std::abs(level(*s, 700.0) + 12.0) < 0.1);
        }

        // A link that is gone hears nothing more; the rest go on.
        conference.removeLink(&b.received);
        QCOMPARE(conference.linkCount(), 2);
        for (CaptureSink *s : {&b.sent, &c.sent, &speaker})
            s->clear();
        talk(a.received, 900.0);
        QVERIFY(b.sent.samples().empty());
        QVERIFY(std::abs(level(c.sent, 900.0) + 12.0) < 0.1);
        QVERIFY(std::abs(level(speaker, 900.0) + 12.0) < 0.1);
        talk(c.received, 1100.0);
        QVERIFY(std::abs(level(a.sent, 1100.0) + 12.0) < 0.1);
        QVERIFY(b.sent.samples().empty());
    }

    void localInputReachesLinksOnlyWhileTransmitting()
    {
        BufferSource microphone;
        CaptureSink speaker;
        TestLink a, b;
        ConferenceAudio conference(&microphone, &speaker);
        conference.addLink(&a.received, &a.sent);
        conference.addLink(&b.received, &b.sent);
        QVERIFY(!conference.isTransmitting());

        talk(microphone, 1000.0);
        QVERIFY(a.sent.samples().empty());
        QVERIFY(b.sent.samples().empty());

        conference.setTransmitting(true);
        QVERIFY(conference.isTransmitting());
        talk(microphone, 1000.0);
        for (const CaptureSink *s : {&a.sent, &b.sent}) {
            QCOMPARE(s->samples().size(), size_t(Rate / 2));
            QVERIFY(std::abs(level(*s, 1000.0) + 12.0) < 0.1);
        }
        // Our own voice is not played back to us.
        QVERIFY(speaker.samples().empty());

        // While transmitting, a station talking at the same time is mixed in for the other.
        a.sent.clear();
        b.sent.clear();
        microphone.play(tone(1000.0, -12.0, 0.5, Rate));
        a.received.play(tone(600.0, -12.0, 0.5, Rate));
        QVERIFY(QTest::qWaitFor([&] { return microphone.flushed() && a.received.flushed(); }, 5000));
        QVERIFY(std::abs(level(b.sent, 1000.0) + 12.0) < 0.1);
        QVERIFY(std::abs(level(b.sent, 600.0) + 12.0) < 0.1);
        QVERIFY(level(a.sent, 600.0) < -90.0);

        conference.setTransmitting(false);
        a.sent.clear();
        talk(microphone, 1000.0);
        QVERIFY(a.sent.samples().empty());
    }

    void linksAtTheirOwnRateMeetAtTheLibrarysRate()
    {
        // Links carry 8 kHz; the conference and the sound card run at 16 kHz.
        TestLink a, b;
        CaptureSink speaker;
        LinkRateAdapter rateA(&a.received, &a.sent), rateB(&b.received, &b.sent);
        ConferenceAudio conference(nullptr, &speaker);
        conference.addLink(rateA.received(), rateA.send());
        conference.addLink(rateB.received(), rateB.send());

        a.received.play(tone(1000.0, -12.0, 0.5, 8000));
        QVERIFY(QTest::qWaitFor([&] { return a.received.flushed(); }, 5000));
        QCOMPARE(speaker.samples().size(), size_t(Rate / 2));
        QCOMPARE(b.sent.samples().size(), size_t(8000 / 2));
        const auto local = slice(speaker.samples(), Rate, 0.05, 0.45);
        const auto far = slice(b.sent.samples(), 8000, 0.05, 0.45);
        QCOMPARE(dominantFrequency(local, Rate), 1000.0);
        QCOMPARE(dominantFrequency(far, 8000, 50.0, 3950.0), 1000.0);
        QVERIFY(std::abs(toneLevelDbfs(local, 1000.0, Rate) + 12.0) < 0.5);
        QVERIFY(std::abs(toneLevelDbfs(far, 1000.0, 8000) + 12.0) < 0.5);
        QVERIFY(a.sent.samples().empty());
    }
};

AUDIO_TEST_MAIN(tst_conference)
#include "tst_conference.moc"
