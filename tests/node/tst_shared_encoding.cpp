// Encoding shared between links, over the node's UDP transport on loopback (block
// 127.10.57.0/24) to far ends that capture what arrives on their audio port: links that
// send the same sound get one encoding per packet, identical to what one link's own
// encoder would have sent, each in its own datagrams; a link that hears other sound goes
// on alone, and joins again at the start of a transmission.
#include "AudioTestMain.h"
#include "LoopbackBlock.h"
#include "node/SharedEncoding.h"
#include "node/protocol/AudioPacket.h"
#include "node/protocol/ControlPacket.h"
#include "node/protocol/StationLink.h"
#include "node/protocol/UdpTransport.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <cmath>
#include <memory>
#include <vector>

namespace {

const QString Block = loopbackBlock(57);
using Packet = std::vector<qint16>;

Packet tonePacket(int index, double frequency)
{
    Packet packet(VoiceCodec::PacketSamples);
    for (int i = 0; i < VoiceCodec::PacketSamples; ++i)
        packet[i] = qint16(std::lround(
            8000.0 * std::sin(2.0 * M_PI * frequency * (index * VoiceCodec::PacketSamples + i) / 8000.0)));
    return packet;
}

// A far station's end: an up link to it, and what arrives on its audio port.
struct Far
{
    Far(UdpTransport &transport, int host) : address(Block + QLatin1Char('.') + QString::number(host))
    {
        audio.bind(address, Transport::AudioPort);
        link = std::make_unique<StationLink>(transport, address, StationLink::Local{"NODE", "Node", "", true},
                                             StationLink::Timing{});
        link->accept(*ControlPacket::parse(ControlPacket::sdes("FAR", "Far", "")), Transport::ControlPort);
    }

    // The voice packets that arrived, waiting until there are `count`.
    std::vector<AudioPacket> voice(size_t count)
    {
        (void)QTest::qWaitFor(
            [&] {  // the count is checked by the caller
                while (audio.hasPendingDatagrams())
                    if (const auto packet = AudioPacket::parse(audio.receiveDatagram().data());
                        packet && packet->kind == AudioPacket::Kind::Voice)
                        received.push_back(*packet);
                return received.size() >= count;
            },
            2000);
        return received;
    }

    QHostAddress address;
    QUdpSocket audio;
    std::unique_ptr<StationLink> link;
    std::vector<AudioPacket> received;
};

}  // namespace

class SharedEncodingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linksThatSendTheSameSoundShareOneEncoder()
    {
        UdpTransport transport;
        QVERIFY(transport.bind(QHostAddress(Block + QStringLiteral(".1"))));
        Far a(transport, 10), b(transport, 11), c(transport, 12);
        QVERIFY(a.link->isUp() && b.link->isUp() && c.link->isUp());
        SharedEncoding encoding;
        auto reference = makeCodec(a.link->sendingPayloadType());
        std::vector<QByteArray> expected;

        for (int i = 0; i < 5; ++i) {
            const Packet packet = tonePacket(i, 1000.0);
            expected.push_back(reference->encode(packet.data()));
            for (Far *far : {&a, &b, &c})
                encoding.send(*far->link, packet.data());
        }
        QCOMPARE(encoding.encodings(), 5);
        QCOMPARE(encoding.streamCount(), 1);
        for (Far *far : {&a, &b, &c}) {
            const auto got = far->voice(5);
            QCOMPARE(got.size(), size_t(5));
            for (int i = 0; i < 5; ++i) {
                QCOMPARE(got[i].sequence, quint16(i));  // each link's own
                QCOMPARE(got[i].payload, expected[i]);  // one encoder fed once per packet
            }
        }

        // C hears something else: it goes on with an encoder of its own, A and B keep theirs.
        const Packet next = tonePacket(5, 1000.0), other = tonePacket(5, 700.0);
        encoding.send(*a.link, next.data());
        encoding.send(*b.link, next.data());
        encoding.send(*c.link, other.data());
        QCOMPARE(encoding.encodings(), 7);
        QCOMPARE(encoding.streamCount(), 2);
        QCOMPARE(b.voice(6).back().payload, reference->encode(next.data()));
        QCOMPARE(c.voice(6).back().payload, makeCodec(c.link->sendingPayloadType())->encode(other.data()));

        // Its transmission ends; at the start of the next it joins the others.
        encoding.leave(*c.link);
        QCOMPARE(encoding.streamCount(), 1);
        const Packet last = tonePacket(6, 1000.0);
        for (Far *far : {&a, &b, &c})
            encoding.send(*far->link, last.data());
        QCOMPARE(encoding.encodings(), 8);
        QCOMPARE(encoding.streamCount(), 1);
        QCOMPARE(c.voice(7).back().payload, a.voice(7).back().payload);
        QCOMPARE(c.voice(7).back().sequence, quint16(6));
    }
};

AUDIO_TEST_MAIN(SharedEncodingTest)
#include "tst_shared_encoding.moc"
