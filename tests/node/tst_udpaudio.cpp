// The audio library's network audio device as the tests' sound card: a tone sent to an
// input device comes back from an output device unchanged, and a device that cannot be
// opened says so, as the node needs to report it.
#include "AudioAnalysis.h"
#include "AudioTestMain.h"
#include "UdpAudioPort.h"
#include "node/audio/LevelMeter.h"

#include <AsyncAudioIO.h>

#include <QTest>

using namespace AudioAnalysis;

class tst_udpaudio : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // The library's defaults, stated: the helper's format depends on them.
        Async::AudioIO::setSampleRate(UdpAudioPort::SampleRate);
        Async::AudioIO::setChannels(UdpAudioPort::Channels);
        Async::AudioIO::setBlocksize(UdpAudioPort::BlockFrames);
    }

    void toneGoesInAndComesBackOut()
    {
        UdpAudioPort speaker;  // where the output device sends
        const uint16_t microphonePort = UdpAudioPort::freePort();
        Async::AudioIO input(UdpAudioPort::deviceName(QHostAddress::LocalHost, microphonePort), 0);
        Async::AudioIO output(speaker.deviceName(), 0);
        QVERIFY(input.open(Async::AudioIO::MODE_RD));
        QVERIFY(output.open(Async::AudioIO::MODE_WR));
        LevelMeter meter;
        input.registerSink(&meter);
        meter.registerSink(&output);

        UdpAudioPort microphone;
        microphone.send(tone(1000.0, -12.0, 1.0, UdpAudioPort::SampleRate), QHostAddress::LocalHost,
                        microphonePort);
        QVERIFY(QTest::qWaitFor([&] { return microphone.sendDone(); }, 3000));
        QTest::qWait(200);  // the output's prebuffer and pacing

        const auto back = speaker.received(0);
        QVERIFY2(back.size() >= 15000, qPrintable(QString::number(back.size())));
        const auto middle = slice(back, UdpAudioPort::SampleRate, 0.1, 0.9);
        QCOMPARE(dominantFrequency(middle, UdpAudioPort::SampleRate), 1000.0);
        QVERIFY(std::abs(toneLevelDbfs(middle, 1000.0, UdpAudioPort::SampleRate) + 12.0) < 0.05);
        QVERIFY(peakDbfs(speaker.received(1)) < -90.0);  // the other channel stayed silent
        QVERIFY(std::abs(meter.takeLevels().peakDbfs + 12.0) < 0.05);
    }

    void deviceThatCannotOpenSaysSo()
    {
        // No port, an unknown device type, and a port someone else holds.
        Async::AudioIO noPort("udp:127.0.0.1", 0);
        QVERIFY(!noPort.open(Async::AudioIO::MODE_RD));
        Async::AudioIO unknown("nosuch:device", 0);
        QVERIFY(!unknown.open(Async::AudioIO::MODE_WR));
        UdpAudioPort taken;
        Async::AudioIO busy(taken.deviceName(), 0);
        QVERIFY(!busy.open(Async::AudioIO::MODE_RD));
    }
};

AUDIO_TEST_MAIN(tst_udpaudio)
#include "tst_udpaudio.moc"
