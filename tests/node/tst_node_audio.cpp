// Sound through real nodes on loopback (block 41 of the test blocks): node A and node B each have
// the audio library's network audio device as their sound card. A tone fed to B's input
// while B transmits comes out of A's output, with Speex and with GSM forced; nothing comes
// out while B is not transmitting; a device that cannot be opened is named with its key
// and the node links all the same; push-to-talk refuses what it cannot do and a stuck
// transmission ends by itself.
#include "AudioAnalysis.h"
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "SoundNode.h"
#include "TestEnvironment.h"
#include "UdpAudioPort.h"
#include "automation/AutomationContract.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTest>
#include <QUdpSocket>

using namespace AudioAnalysis;

namespace {

const QString Block = loopbackBlock(41);
const QString Password = QStringLiteral("secret, with a comma");
constexpr int LinkMs = 2000;
constexpr int StartMs = 10000;
constexpr int Rate = UdpAudioPort::SampleRate;
// Sanitized nodes run slowly enough to drop audio now and then: there the tests check
// that the sound arrives and its frequency, not its level.
#ifdef __SANITIZE_ADDRESS__
constexpr bool CheckLevels = false;
#else
constexpr bool CheckLevels = true;
#endif

}  // namespace

class tst_node_audio : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void toneFromBReachesA_data();
    void toneFromBReachesA();
    void twoStationsAtOnceAreMixed();
    void forgedAudioFromALinkedAddressIsNotHeard();
    void soundProblemsAreNamedAndLinksGoOn();
    void stuckTransmissionEndsByItself();

private:
    bool start(SoundNode &node, QMap<QString, QString> config, int stations);
    bool link(SoundNode &from, SoundNode &to, const QString &toCall, const QString &fromCall);

    DirectoryProcess m_directory;
};

bool tst_node_audio::start(SoundNode &node, QMap<QString, QString> config, int stations)
{
    node.node.writeConfig(config);
    return node.node.start()
           && node.node.waitForOutput(QStringLiteral("station list: %1 stations").arg(stations), StartMs);
}

bool tst_node_audio::link(SoundNode &from, SoundNode &to, const QString &toCall, const QString &fromCall)
{
    return from.node.connectTo(toCall).type() == QDBusMessage::ReplyMessage
           && from.node.waitForLinked(toCall, true, LinkMs) && to.node.waitForLinked(fromCall, true, LinkMs);
}

void tst_node_audio::initTestCase()
{
    QVERIFY(m_directory.start(Block + QStringLiteral(".3"), {QStringLiteral("--password"), Password}));
}

void tst_node_audio::toneFromBReachesA_data()
{
    QTest::addColumn<bool>("gsmOnly");
    QTest::newRow("Speex") << false;
    QTest::newRow("GSM forced") << true;
}

void tst_node_audio::toneFromBReachesA()
{
    QFETCH(bool, gsmOnly);
    SoundNode a(QStringLiteral("A"), Block, 1), b(QStringLiteral("B"), Block, 2);
    QMap<QString, QString> configB = b.config(QStringLiteral("NODE-B"));
    configB.insert(QStringLiteral("Audio/GsmOnly"),
                   gsmOnly ? QStringLiteral("true") : QStringLiteral("false"));
    QVERIFY(start(a, a.config(QStringLiteral("NODE-A")), 1));
    QVERIFY(start(b, configB, 2));
    QVERIFY(a.node.waitForOutput(QStringLiteral("station list: 2 stations"), StartMs));
    QVERIFY(link(a, b, QStringLiteral("NODE-B"), QStringLiteral("NODE-A")));

    // B not transmitting: its microphone goes nowhere.
    const auto tone1k = tone(1000.0, -12.0, 2.0, Rate);
    b.microphone.send(tone(1000.0, -12.0, 0.5, Rate), b.address, b.microphonePort);
    QVERIFY(QTest::qWaitFor([&] { return b.microphone.sendDone(); }, 3000));
    QTest::qWait(400);
    QVERIFY(peakDbfs(a.speaker.received()) < -60.0);

    QCOMPARE(b.transmit(true).type(), QDBusMessage::ReplyMessage);
    QVERIFY(b.isTransmitting());
    b.microphone.send(tone1k, b.address, b.microphonePort);
    QVERIFY(QTest::qWaitFor([&] { return b.microphone.sendDone(); }, 5000));
    QTest::qWait(500);  // the last packets and A's buffers
    QCOMPARE(b.transmit(false).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!b.isTransmitting());

    const auto heard = a.speaker.received();
    QVERIFY2(heard.size() > size_t(Rate), qPrintable(QString::number(heard.size())));
    const auto middle = slice(heard, Rate, 0.3, double(heard.size()) / Rate - 0.3);
    const double frequency = dominantFrequency(middle, Rate);
    const double level = toneLevelDbfs(middle, 1000.0, Rate);
    qInfo("%s: %zu samples heard, %.1f Hz at %.2f dBFS (sent -12.00 dBFS), first sound after %lld ms",
          QTest::currentDataTag(), heard.size(), frequency, level,
          a.speaker.firstArrivalMs() - b.microphone.sendStartedMs());
    QVERIFY(std::abs(frequency - 1000.0) <= 20.0);
    QVERIFY(peakDbfs(heard) <= -6.0);  // the output limiter's ceiling
    if (CheckLevels)
        QVERIFY(std::abs(level + 12.0) <= 6.0);
    // The codec B sent with: Speex, as both offer it, unless B is held to GSM.
    QCOMPARE(b.node.output().contains(QStringLiteral("linked with NODE-A (sound in Speex)")), !gsmOnly);
}

void tst_node_audio::twoStationsAtOnceAreMixed()
{
    SoundNode a(QStringLiteral("A"), Block, 1), b(QStringLiteral("B"), Block, 2),
        c(QStringLiteral("C"), Block, 4);
    QVERIFY(start(a, a.config(QStringLiteral("NODE-A")), 1));
    QVERIFY(start(b, b.config(QStringLiteral("NODE-B")), 2));
    QVERIFY(start(c, c.config(QStringLiteral("NODE-C")), 3));
    QVERIFY(a.node.waitForOutput(QStringLiteral("station list: 3 stations"), StartMs));
    QVERIFY(link(a, b, QStringLiteral("NODE-B"), QStringLiteral("NODE-A")));
    QVERIFY(link(a, c, QStringLiteral("NODE-C"), QStringLiteral("NODE-A")));

    QCOMPARE(b.transmit(true).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(c.transmit(true).type(), QDBusMessage::ReplyMessage);
    b.microphone.send(tone(700.0, -12.0, 2.0, Rate), b.address, b.microphonePort);
    c.microphone.send(tone(1300.0, -12.0, 2.0, Rate), c.address, c.microphonePort);
    QVERIFY(QTest::qWaitFor([&] { return b.microphone.sendDone() && c.microphone.sendDone(); }, 5000));
    QTest::qWait(500);
    b.transmit(false);
    c.transmit(false);

    const auto heard = a.speaker.received();
    QVERIFY2(heard.size() > size_t(Rate), qPrintable(QString::number(heard.size())));
    const auto middle = slice(heard, Rate, 0.3, double(heard.size()) / Rate - 0.3);
    const double level700 = toneLevelDbfs(middle, 700.0, Rate),
                 level1300 = toneLevelDbfs(middle, 1300.0, Rate);
    qInfo("both at once: 700 Hz at %.2f dBFS, 1300 Hz at %.2f dBFS, peak %.2f dBFS", level700, level1300,
          peakDbfs(heard));
    QVERIFY(peakDbfs(heard) <= -6.0);
    QVERIFY(level700 > -40.0 && level1300 > -40.0);  // both heard
    if (CheckLevels) {
        QVERIFY(std::abs(level700 + 12.0) <= 6.0);
        QVERIFY(std::abs(level1300 + 12.0) <= 6.0);
    }
    // A passes each station on to the other, never back to itself.
    const auto atC = c.speaker.received();
    QVERIFY(toneLevelDbfs(atC, 700.0, Rate) > -24.0);
    QVERIFY(toneLevelDbfs(atC, 1300.0, Rate) < -50.0);
}

void tst_node_audio::forgedAudioFromALinkedAddressIsNotHeard()
{
    SoundNode a(QStringLiteral("A"), Block, 1), b(QStringLiteral("B"), Block, 2);
    QVERIFY(start(a, a.config(QStringLiteral("NODE-A")), 1));
    QVERIFY(start(b, b.node.standardConfig(QStringLiteral("NODE-B")), 2));
    QVERIFY(a.node.waitForOutput(QStringLiteral("station list: 2 stations"), StartMs));
    QVERIFY(link(a, b, QStringLiteral("NODE-B"), QStringLiteral("NODE-A")));

    // Datagrams from B's address but not from the port B's sound comes from: audio packets
    // of the right length (RTP header, then four GSM frames that would decode, or Speex)
    // full of random bytes, and packets of wrong lengths. A's link takes none of them.
    QUdpSocket forger;
    QVERIFY(forger.bind(b.address, 0));
    QRandomGenerator random(41);
    auto packet = [&](int size, char type) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        if (size > 1) {
            bytes[0] = char(0xc0);  // an audio packet
            bytes[1] = type;
        }
        // GSM frames that carry the codec's mark, so they reach the decoder.
        for (int frame = 12; type == 0x03 && frame < size; frame += 33)
            bytes[frame] = char(0xd0 | (bytes[frame] & 0x0f));
        return bytes;
    };
    const QHostAddress to(a.address);
    for (int i = 0; i < 60; ++i) {
        forger.writeDatagram(packet(12 + 4 * 33, 0x03), to, 5198);  // GSM
        if (i % 3 == 0)
            forger.writeDatagram(packet(12 + random.bounded(1, 200), char(0x96)), to, 5198);  // Speex
        if (i % 10 == 0)
            for (int size : {1, 12, 13, 100, 1400})
                forger.writeDatagram(packet(size, 0x03), to, 5198);
        QTest::qWait(20);
    }
    QTest::qWait(500);

    const auto heard = a.speaker.received();
    qInfo("garbage: %zu samples heard, peak %.2f dBFS", heard.size(), peakDbfs(heard));
    QVERIFY(heard.empty());
    QVERIFY(a.node.isRunning());
    QVERIFY(a.node.isConnected(QStringLiteral("NODE-B")));
}

void tst_node_audio::soundProblemsAreNamedAndLinksGoOn()
{
    // A's devices cannot be opened: a name without a port, a device type that does not exist.
    SoundNode a(QStringLiteral("A"), Block, 1), b(QStringLiteral("B"), Block, 2);
    QMap<QString, QString> configA = a.node.standardConfig(QStringLiteral("NODE-A"));
    configA.insert(QStringLiteral("Audio/InputDevice"), QStringLiteral("nosuch:card"));
    configA.insert(QStringLiteral("Audio/OutputDevice"), QStringLiteral("udp:%1.1").arg(Block));
    a.node.writeConfig(configA);
    QVERIFY(a.node.start());
    for (const QString &device : {QStringLiteral("'nosuch:card' ([Audio] InputDevice in "),
                                  QStringLiteral("'udp:%1.1' ([Audio] OutputDevice in ").arg(Block)})
        QVERIFY2(a.node.waitForOutput(
                     QStringLiteral("cannot open the sound device ") + device + a.node.configPath(), StartMs),
                 qPrintable(a.node.output()));
    // B runs without a sound card, as asked, though its configuration names one.
    b.node.writeConfig(b.config(QStringLiteral("NODE-B")));
    QVERIFY(b.node.start({QStringLiteral("--no-audio")}));
    QVERIFY(a.node.waitForOutput(QStringLiteral("station list: 2 stations"), StartMs));

    QDBusMessage reply = a.transmit(true);
    QCOMPARE(reply.errorName(), QStringLiteral("org.dialboard.EchoLink.Error.NotLinked"));
    QVERIFY(!a.isTransmitting());
    // Links, the directory and the contract work without sound.
    QVERIFY(link(a, b, QStringLiteral("NODE-B"), QStringLiteral("NODE-A")));
    QCOMPARE(a.node.directoryStatus(), QStringLiteral("online"));
    reply = a.transmit(true);
    QCOMPARE(reply.errorName(), QStringLiteral("org.dialboard.EchoLink.Error.NoInputDevice"));
    QVERIFY(reply.errorMessage().contains(QStringLiteral("[Audio] InputDevice")));
    reply = b.transmit(true);
    QCOMPARE(reply.errorName(), QStringLiteral("org.dialboard.EchoLink.Error.NoInputDevice"));
    QVERIFY(reply.errorMessage().contains(QStringLiteral("--no-audio")));
    // Stopping what is not going does nothing.
    QCOMPARE(a.transmit(false).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!a.isTransmitting());
    QVERIFY(a.node.isConnected(QStringLiteral("NODE-B")));
}

void tst_node_audio::stuckTransmissionEndsByItself()
{
    SoundNode a(QStringLiteral("A"), Block, 1), b(QStringLiteral("B"), Block, 2);
    QMap<QString, QString> configB = b.config(QStringLiteral("NODE-B"));
    configB.insert(QStringLiteral("Audio/TransmitLimitMs"), QStringLiteral("1500"));
    QVERIFY(start(a, a.config(QStringLiteral("NODE-A")), 1));
    QVERIFY(start(b, configB, 2));
    QVERIFY(b.node.waitForOutput(QStringLiteral("station list: 2 stations"), StartMs));
    QVERIFY(link(b, a, QStringLiteral("NODE-A"), QStringLiteral("NODE-B")));

    QCOMPARE(b.transmit(true).type(), QDBusMessage::ReplyMessage);
    QVERIFY(b.isTransmitting());
    QTest::qWait(1000);
    QVERIFY(b.isTransmitting());
    QVERIFY(QTest::qWaitFor([&] { return !b.isTransmitting(); }, 2000));
    QVERIFY(b.node.waitForOutput(QStringLiteral("TransmitLimitMs"), 1000));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_audio test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_audio.moc"
