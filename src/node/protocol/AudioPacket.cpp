#include "node/protocol/AudioPacket.h"

#include <QtEndian>

namespace {

// The first byte of a voice packet: RTP version bits 3, no padding, extension or sources.
constexpr quint8 VoiceFirstByte = 0xC0;
constexpr QByteArrayView DataTag = "NDATA";  // after one byte, "o" as stations send it
constexpr qsizetype DataPrefixSize = 6;      // "oNDATA"

QByteArrayView upToNul(QByteArrayView text)
{
    const qsizetype nul = text.indexOf('\0');
    return nul < 0 ? text : text.first(nul);
}

QByteArrayView capped(QByteArrayView text, qsizetype limit)
{
    return text.first(qMin(text.size(), limit));
}

std::optional<AudioPacket> parseVoice(QByteArrayView datagram)
{
    if (datagram.size() < AudioPacket::HeaderSize
        || datagram.size() - AudioPacket::HeaderSize > AudioPacket::MaxPayload)
        return std::nullopt;
    const quint8 payloadType = quint8(datagram[1]);
    if (payloadType != PayloadGsm && payloadType != PayloadSpeex)
        return std::nullopt;
    AudioPacket packet;
    packet.kind = AudioPacket::Kind::Voice;
    packet.payloadType = payloadType;
    packet.sequence = qFromBigEndian<quint16>(datagram.data() + 2);
    packet.payload = datagram.sliced(AudioPacket::HeaderSize).toByteArray();
    return packet;
}

std::optional<AudioPacket> parseData(QByteArrayView datagram)
{
    QByteArrayView body = datagram.sliced(DataPrefixSize);
    const qsizetype nul = body.indexOf('\0');
    if (nul < 0)
        return std::nullopt;
    body = body.first(nul);

    AudioPacket packet;
    if (body.startsWith('\r')) {
        packet.kind = AudioPacket::Kind::Info;
        packet.text = capped(body.sliced(1), AudioPacket::MaxInfo).toByteArray();
    } else {
        packet.kind = AudioPacket::Kind::Chat;
        while (body.endsWith('\n') || body.endsWith('\r'))
            body.chop(1);
        packet.text = capped(body, AudioPacket::MaxChat).toByteArray();
    }
    // Stations send line breaks as \r.
    packet.text.replace('\r', '\n');
    return packet;
}

}  // namespace

std::optional<AudioPacket> AudioPacket::parse(QByteArrayView datagram)
{
    if (datagram.isEmpty())
        return std::nullopt;
    if (quint8(datagram[0]) == VoiceFirstByte)
        return parseVoice(datagram);
    if (datagram.size() >= DataPrefixSize && datagram.sliced(1, DataTag.size()) == DataTag)
        return parseData(datagram);
    return std::nullopt;
}

QByteArray AudioPacket::voice(quint8 payloadType, quint16 sequence, QByteArrayView payload)
{
    QByteArray packet(HeaderSize, '\0');  // timestamp and SSRC stay 0, as stations send them
    packet[0] = char(VoiceFirstByte);
    packet[1] = char(payloadType);
    qToBigEndian(sequence, packet.data() + 2);
    packet.append(payload);
    return packet;
}

QByteArray AudioPacket::info(QByteArrayView text)
{
    QByteArray body = capped(upToNul(text), MaxInfo).toByteArray();
    body.replace('\n', '\r');
    QByteArray packet = "oNDATA\r";
    packet += body;
    packet.append('\0');
    return packet;
}

QByteArray AudioPacket::chat(QByteArrayView callsign, QByteArrayView text)
{
    QByteArray line = upToNul(callsign).toByteArray();
    line += '>';
    line += upToNul(text);
    QByteArray packet = "oNDATA";
    packet += capped(line, MaxChat);
    packet += "\r\n";
    packet.append('\0');
    return packet;
}
