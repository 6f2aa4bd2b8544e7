// echolink-node's wire format and codecs on their own: the control port's SDES and BYE,
// the audio port's voice, info and chat packets, GSM and Speex. Byte layouts are written
// out by hand from the format EchoLink stations use; hostile and truncated datagrams are
// parsed from buffers of their exact size, so AddressSanitizer sees any read past the end.
#include "node/protocol/AudioPacket.h"
#include "node/protocol/ControlPacket.h"
#include "node/protocol/VoiceCodec.h"

#include <QTemporaryFile>
#include <QTest>

#include <speex/speex.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (const int v : values)
        result.append(char(v));
    return result;
}

// An SDES item as it appears on the wire.
QByteArray item(int type, const QByteArray &text)
{
    return bytes({type, int(text.size())}) + text;
}

// An RTCP sub-packet around body (SSRC and what follows), padded, with its length field.
QByteArray subPacket(int firstByte, int type, QByteArray body)
{
    while (body.size() % 4 != 0)
        body.append('\0');
    const int words = int(body.size() / 4);
    return bytes({firstByte, type, words >> 8, words & 0xFF}) + body;
}

// The datagram in a heap block of exactly its size: no terminator, no slack.
template <typename Parse> auto parseExact(const QByteArray &datagram, qsizetype size, Parse parse)
{
    std::unique_ptr<char[]> exact(new char[size_t(qMax<qsizetype>(size, 1))]);
    std::copy_n(datagram.constData(), size, exact.get());
    return parse(QByteArrayView(exact.get(), size));
}

std::vector<qint16> tone(double hz, double amplitude, int samples)
{
    std::vector<qint16> result(size_t(samples), 0);
    for (int i = 0; i < samples; ++i)
        result[size_t(i)] = qint16(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / 8000.0)));
    return result;
}

double rms(const qint16 *samples, int count)
{
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / count);
}

// Frequency from the rising zero crossings, interpolated between samples.
double frequency(const qint16 *samples, int count)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (int i = 1; i < count; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            const double at = i - 1 + double(-samples[i - 1]) / (samples[i] - samples[i - 1]);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? 8000.0 * (crossings - 1) / (last - first) : 0.0;
}

// One packet of a tone as Debian's libspeex writes it at the given narrowband mode, four
// frames and the terminator, whatever SpeexCodec's own encoder is set to.
QByteArray speexAtMode(int mode)
{
    void *encoder = speex_encoder_init(&speex_nb_mode);
    speex_encoder_ctl(encoder, SPEEX_SET_MODE, &mode);
    SpeexBits bits;
    speex_bits_init(&bits);
    auto samples = tone(1000.0, 8000.0, VoiceCodec::PacketSamples);
    for (int i = 0; i < VoiceCodec::FramesPerPacket; ++i)
        speex_encode_int(encoder, samples.data() + i * VoiceCodec::FrameSamples, &bits);
    speex_bits_insert_terminator(&bits);
    QByteArray payload(speex_bits_nbytes(&bits), '\0');
    payload.truncate(speex_bits_write(&bits, payload.data(), int(payload.size())));
    speex_bits_destroy(&bits);
    speex_encoder_destroy(encoder);
    return payload;
}

// Sends this process's stderr into a temporary file until take() or the end of its life.
class StderrCapture
{
public:
    StderrCapture()
    {
        if (!m_file.open())
            qFatal("no temporary file for stderr");
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    // Gives stderr back and returns what was written to it meanwhile.
    QByteArray take()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

}  // namespace

class ProtocolTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controlPacketsHaveTheStationsLayout()
    {
        const QByteArray nullReport = bytes({0xC0, 201, 0, 1, 0, 0, 0, 0});
        const QByteArray items = item(1, "CALLSIGN") + item(2, "W1AW-L         Test Station")
                                 + item(3, "CALLSIGN") + item(4, "08:30") + item(8, "SPEEX") + bytes({0, 0});
        QCOMPARE(items.size(), 65);  // 8 + 65 = 73 bytes, padded to 76: 19 words
        const QByteArray sdes = nullReport + bytes({0xC1, 202, 0, 18, 0, 0, 0, 0}) + items + bytes({0, 0, 0});
        QCOMPARE(ControlPacket::sdes("W1AW-L", "Test Station", "SPEEX"), sdes);

        // Without codecs offered the PRIV item is left out: 8 + 48 bytes need no padding.
        const QByteArray plain = nullReport + bytes({0xC1, 202, 0, 13, 0, 0, 0, 0}) + item(1, "CALLSIGN")
                                 + item(2, "K1ABC          Al") + item(3, "CALLSIGN") + item(4, "08:30")
                                 + bytes({0, 0});
        QCOMPARE(ControlPacket::sdes("K1ABC", "Al", ""), plain);

        // BYE carries its reason as a length-prefixed text.
        const QByteArray bye = nullReport + bytes({0xC1, 203, 0, 3, 0, 0, 0, 0, 7}) + "jan2002";
        QCOMPARE(ControlPacket::bye(), bye);
    }

    void controlPacketsRoundTrip()
    {
        const auto sdes = ControlPacket::parse(ControlPacket::sdes("W1AW-L", "Test Station Two", "SPEEX"));
        QVERIFY(sdes);
        QCOMPARE(sdes->kind, ControlPacket::Kind::Sdes);
        QCOMPARE(sdes->callsign, "W1AW-L");
        QCOMPARE(sdes->name, "Test Station Two");
        QCOMPARE(sdes->priv, "SPEEX");

        // No name; a callsign beyond the cap is cut, items beyond 255 bytes too.
        const auto nameless = ControlPacket::parse(ControlPacket::sdes("*ECHOTEST*", "", ""));
        QVERIFY(nameless);
        QCOMPARE(nameless->callsign, "*ECHOTEST*");
        QCOMPARE(nameless->name, "");
        QCOMPARE(nameless->priv, "");
        const auto wide = ControlPacket::parse(ControlPacket::sdes("ABCDEFGHIJKLMNO", "Name", ""));
        QVERIFY(wide);
        QCOMPARE(wide->callsign, "ABCDEFGHIJKLMNO");
        QCOMPARE(wide->name, "Name");
        const auto huge =
            ControlPacket::parse(ControlPacket::sdes(QByteArray(300, 'C'), "x", QByteArray(300, 'P')));
        QVERIFY(huge);
        QCOMPARE(huge->callsign, QByteArray(ControlPacket::MaxCallsign, 'C'));
        QCOMPARE(huge->priv, QByteArray(255, 'P'));

        const auto bye = ControlPacket::parse(ControlPacket::bye());
        QVERIFY(bye);
        QCOMPARE(bye->kind, ControlPacket::Kind::Bye);
    }

    void controlPacketsOfOtherPeersAreRead()
    {
        const QByteArray items = item(2, QByteArray("  N0CALL   Jo Smith \0\0", 22))
                                 + item(8, QByteArray("SPEEX\0", 6)) + bytes({0, 0});
        auto sdesOf = [&](int firstByte) { return subPacket(firstByte, 202, bytes({0, 0, 0, 1}) + items); };
        // A sender report first (version bits 1), then the SDES: leading blanks, trailing
        // blanks and NULs go.
        const QByteArray senderReport = subPacket(0x40, 200, QByteArray(24, '\x11'));
        const auto fromSr = ControlPacket::parse(senderReport + sdesOf(0x41));
        QVERIFY(fromSr);
        QCOMPARE(fromSr->callsign, "N0CALL");
        QCOMPARE(fromSr->name, "Jo Smith");
        QCOMPARE(fromSr->priv, "SPEEX");
        // The SDES alone, and with trailing bytes that are no sub-packet.
        QVERIFY(ControlPacket::parse(sdesOf(0xC1)));
        QVERIFY(ControlPacket::parse(sdesOf(0xC1) + bytes({0x80, 1, 2})));
        // A BYE anywhere wins over an SDES.
        const auto byeLast = ControlPacket::parse(sdesOf(0xC1) + ControlPacket::bye().sliced(8));
        QVERIFY(byeLast);
        QCOMPARE(byeLast->kind, ControlPacket::Kind::Bye);
    }

    void malformedControlPacketsAreRefused()
    {
        const QByteArray rr = bytes({0xC0, 201, 0, 1, 0, 0, 0, 0});
        // An SDES without sources claiming 256 KiB, in a 16-byte datagram.
        const QByteArray crash = rr + bytes({0xC0, 202, 0xFF, 0xFF, 0, 0, 0, 0});
        QCOMPARE(crash.size(), 16);
        // A NAME item claiming 200 bytes where 2 are left.
        const QByteArray disclosure = rr + bytes({0xC1, 202, 0, 2, 0, 0, 0, 0, 2, 200, 'A', 'B'});
        QCOMPARE(disclosure.size(), 20);
        const QByteArray ssrc(4, '\0');
        const QByteArray sourceless = rr + subPacket(0xC0, 202, ssrc + item(2, "W1AW x"));
        const QByteArray noName = rr + subPacket(0xC1, 202, ssrc + item(8, "SPEEX"));
        const QByteArray blankName = rr + subPacket(0xC1, 202, ssrc + item(2, QByteArray("  \0 ", 4)));
        QByteArray otherVersion = ControlPacket::sdes("W1AW", "x", "");
        otherVersion[0] = char(0x80);
        const QList<QByteArray> refused{crash,  disclosure,   sourceless,
                                        noName, blankName,    otherVersion,
                                        rr,     QByteArray(), bytes({0xC0, 201, 0})};
        for (const QByteArray &datagram : refused)
            QVERIFY2(!parseExact(datagram, datagram.size(), ControlPacket::parse),
                     datagram.toHex().constData());
    }

    void audioPacketsHaveTheStationsLayout()
    {
        const QByteArray payload(132, '\x5A');
        QCOMPARE(AudioPacket::voice(PayloadGsm, 0xBEEF, payload),
                 bytes({0xC0, 3, 0xBE, 0xEF, 0, 0, 0, 0, 0, 0, 0, 0}) + payload);
        QCOMPARE(AudioPacket::info("Station W1AW\nin Newington"),
                 QByteArray("oNDATA\rStation W1AW\rin Newington\0", 33));
        QCOMPARE(AudioPacket::chat("W1AW", "hello"), QByteArray("oNDATAW1AW>hello\r\n\0", 19));

        const auto voice = AudioPacket::parse(AudioPacket::voice(PayloadSpeex, 65535, "abc"));
        QVERIFY(voice);
        QCOMPARE(voice->kind, AudioPacket::Kind::Voice);
        QCOMPARE(voice->payloadType, PayloadSpeex);
        QCOMPARE(voice->sequence, 65535);
        QCOMPARE(voice->payload, "abc");
        const auto info = AudioPacket::parse(AudioPacket::info("line one\nline two\n"));
        QVERIFY(info);
        QCOMPARE(info->kind, AudioPacket::Kind::Info);
        QCOMPARE(info->text, "line one\nline two\n");
        const auto chat = AudioPacket::parse(AudioPacket::chat("W1AW", "hi there"));
        QVERIFY(chat);
        QCOMPARE(chat->kind, AudioPacket::Kind::Chat);
        QCOMPARE(chat->text, "W1AW>hi there");
    }

    void malformedAudioPacketsAreRefused()
    {
        const QList<QByteArray> refused{
            QByteArray(),
            bytes({0xC0, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0}),      // shorter than the header
            AudioPacket::voice(8, 1, QByteArray(132, '\0')),  // unknown payload type
            AudioPacket::voice(PayloadGsm, 1, QByteArray(AudioPacket::MaxPayload + 1, '\0')),
            QByteArray("oNDATA\rno end"),
            QByteArray("oNDATAW1AW>no end\r\n"),
            QByteArray("oNDAT"),
            QByteArray("hello, world\0", 13)};
        for (const QByteArray &datagram : refused)
            QVERIFY2(!parseExact(datagram, datagram.size(), AudioPacket::parse),
                     datagram.left(20).toHex().constData());
    }

    void longTextsAreCut()
    {
        const QByteArray big(64 * 1024, 'x');
        const QByteArray sentInfo = QByteArray("oNDATA\r") + big + '\0';
        const QByteArray sentChat = QByteArray("oNDATAW1AW>") + big + "\r\n" + '\0';
        QCOMPARE(AudioPacket::parse(sentInfo)->text, QByteArray(AudioPacket::MaxInfo, 'x'));
        QCOMPARE(AudioPacket::parse(sentChat)->text, "W1AW>" + QByteArray(AudioPacket::MaxChat - 5, 'x'));
        // Ours are cut the same way before they are sent.
        QCOMPARE(AudioPacket::info(big).size(), 7 + AudioPacket::MaxInfo + 1);
        QCOMPARE(AudioPacket::chat("W1AW", big).size(), 6 + AudioPacket::MaxChat + 3);
    }

    void truncatedPacketsAreRefusedWithoutOverreading()
    {
        const QList<QByteArray> control{ControlPacket::sdes("W1AW-L", "Test Station", "SPEEX"),
                                        ControlPacket::bye()};
        for (const QByteArray &whole : control) {
            QVERIFY(parseExact(whole, whole.size(), ControlPacket::parse));
            for (qsizetype size = 0; size < whole.size(); ++size)
                QVERIFY2(!parseExact(whole, size, ControlPacket::parse), qPrintable(QString::number(size)));
        }
        const QList<QByteArray> data{AudioPacket::info("info\ntext"), AudioPacket::chat("W1AW", "chat")};
        for (const QByteArray &whole : data) {
            QVERIFY(parseExact(whole, whole.size(), AudioPacket::parse));
            for (qsizetype size = 0; size < whole.size(); ++size)
                QVERIFY(!parseExact(whole, size, AudioPacket::parse));
        }
        const QByteArray voice = AudioPacket::voice(PayloadGsm, 7, QByteArray(132, '\1'));
        for (qsizetype size = 0; size <= voice.size(); ++size) {
            const auto packet = parseExact(voice, size, AudioPacket::parse);
            QCOMPARE(bool(packet), size >= AudioPacket::HeaderSize);
            if (packet)
                QCOMPARE(packet->payload.size(), size - AudioPacket::HeaderSize);
        }
    }

    void codecsAreMadeByPayloadType()
    {
        QCOMPARE(makeCodec(PayloadGsm)->payloadType(), PayloadGsm);
        QCOMPARE(makeCodec(PayloadSpeex)->payloadType(), PayloadSpeex);
        QVERIFY(!makeCodec(0));
        QVERIFY(!makeCodec(8));
    }

    void toneKeepsFrequencyAndLevel_data()
    {
        QTest::addColumn<int>("payloadType");
        QTest::newRow("GSM") << int(PayloadGsm);
        QTest::newRow("Speex") << int(PayloadSpeex);
    }

    void toneKeepsFrequencyAndLevel()
    {
        QFETCH(int, payloadType);
        auto encoder = makeCodec(quint8(payloadType));
        auto decoder = makeCodec(quint8(payloadType));
        constexpr int Packets = 25;  // 2 s
        const auto input = tone(1000.0, 8000.0, Packets * VoiceCodec::PacketSamples);
        std::vector<qint16> output;
        for (int p = 0; p < Packets; ++p) {
            const QByteArray payload = encoder->encode(input.data() + p * VoiceCodec::PacketSamples);
            if (payloadType == PayloadGsm)
                QCOMPARE(payload.size(), 132);
            qint16 decoded[VoiceCodec::PacketSamples];
            QCOMPARE(decoder->decode(payload, decoded), VoiceCodec::PacketSamples);
            output.insert(output.end(), decoded, decoded + VoiceCodec::PacketSamples);
        }
        // The first packets let the codec settle.
        const int from = 5 * VoiceCodec::PacketSamples, count = int(output.size()) - from;
        QVERIFY2(std::fabs(frequency(output.data() + from, count) - 1000.0) < 10.0,
                 qPrintable(QString::number(frequency(output.data() + from, count))));
        const double levelDb =
            20 * std::log10(rms(output.data() + from, count) / rms(input.data() + from, count));
        QVERIFY2(std::fabs(levelDb) < 3.0, qPrintable(QString::number(levelDb)));
    }

    void gsmRefusesAWrongFrameCount()
    {
        auto gsm = makeCodec(PayloadGsm);
        qint16 out[VoiceCodec::PacketSamples];
        for (const int size : {0, 33, 131, 133, 264})
            QCOMPARE(gsm->decode(QByteArray(size, '\xD0'), out), 0);
        // Four frames whose third lacks GSM's signature: the first two are sound.
        QByteArray payload =
            makeCodec(PayloadGsm)->encode(tone(1000.0, 8000.0, VoiceCodec::PacketSamples).data());
        payload[66] = '\0';
        QCOMPARE(gsm->decode(payload, out), 2 * VoiceCodec::FrameSamples);
    }

    void speexTakesWhatStationsSendUpToTheFirstBadFrame()
    {
        auto speex = makeCodec(PayloadSpeex);
        qint16 out[VoiceCodec::PacketSamples];
        for (int mode = 0; mode <= 8; ++mode)
            QVERIFY2(speex->decode(speexAtMode(mode), out) == VoiceCodec::PacketSamples,
                     qPrintable(QString::number(mode)));
        const QByteArray ours =
            makeCodec(PayloadSpeex)->encode(tone(1000.0, 8000.0, VoiceCodec::PacketSamples).data());
        QCOMPARE(speex->decode(ours, out), VoiceCodec::PacketSamples);
        QCOMPARE(speex->decode(ours.chopped(1), out), 3 * VoiceCodec::FrameSamples);

        // Mode 3 frames are 20 bytes, so the third frame's 5 header bits start byte 40.
        const QByteArray mode3 = speexAtMode(3);
        const auto withThirdHeader = [&](int headerBits) {
            QByteArray payload = mode3;
            payload[40] = char((payload[40] & 0x07) | headerBits << 3);
            return payload;
        };
        QCOMPARE(speex->decode(withThirdHeader(0x03), out), VoiceCodec::PacketSamples);
        for (const int header : {0x0F, 0x09, 0x0D, 0x0E, 0x10 | 0x03})  // end, invalid, in-band, wideband
            QCOMPARE(speex->decode(withThirdHeader(header), out), 2 * VoiceCodec::FrameSamples);
        QCOMPARE(speex->decode(mode3.left(1), out), 0);
        QCOMPARE(speex->decode(QByteArray(1, '\x80') + mode3, out), 0);
    }

    void speexGarbageLeavesStderrEmpty()
    {
        std::mt19937 random(5198);
        std::uniform_int_distribution<int> byte(0, 255), length(1, 300);
        const QByteArray realFrame = speexAtMode(3).left(20);
        auto speex = makeCodec(PayloadSpeex);
        qint16 out[VoiceCodec::PacketSamples];
        int decodedFrames = 0;
        StderrCapture capture;
        for (int n = 0; n < 5000; ++n) {
            // Every other payload starts with a sound frame, so garbage also follows one.
            QByteArray payload = n % 2 ? realFrame : QByteArray();
            for (int i = length(random); i > 0; --i)
                payload.append(char(byte(random)));
            decodedFrames += speex->decode(payload, out) / VoiceCodec::FrameSamples;
        }
        const QByteArray printed = capture.take();
        QVERIFY2(printed.isEmpty(), printed.left(200).constData());
        QVERIFY(decodedFrames >= 2500);
    }

    void garbageNeverOverrunsTheDecoders()
    {
        std::mt19937 random(20021);
        std::uniform_int_distribution<int> byte(0, 255), length(0, 300);
        constexpr qint16 Guard = 0x5A5A;
        for (const quint8 type : {PayloadGsm, PayloadSpeex}) {
            auto codec = makeCodec(type);
            for (int n = 0; n < 5000; ++n) {
                // Every other packet a GSM-sized one, so GSM decodes garbage too.
                const int size = n % 2 ? 132 : length(random);
                std::unique_ptr<char[]> payload(new char[size_t(qMax(size, 1))]);
                for (int i = 0; i < size; ++i)
                    payload[i] = char(byte(random));
                std::vector<qint16> out(VoiceCodec::PacketSamples + 64, Guard);
                const int decoded = codec->decode(QByteArrayView(payload.get(), size), out.data());
                QVERIFY(decoded >= 0 && decoded <= VoiceCodec::PacketSamples);
                QCOMPARE(decoded % VoiceCodec::FrameSamples, 0);
                QVERIFY(std::all_of(out.begin() + VoiceCodec::PacketSamples, out.end(),
                                    [](qint16 s) { return s == Guard; }));
            }
        }
    }
};

QTEST_APPLESS_MAIN(ProtocolTest)
#include "tst_protocol.moc"
