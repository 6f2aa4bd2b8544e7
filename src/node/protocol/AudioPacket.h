// The packets of EchoLink's audio port (UDP 5198): RTP voice packets (a 12-byte header,
// then one payload of four codec frames), and data packets beginning "oNDATA" that carry a
// station's info text or a line of chat, each ended by a NUL.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

constexpr quint8 PayloadGsm = 3, PayloadSpeex = 0x96;

struct AudioPacket
{
    static constexpr int HeaderSize = 12;
    static constexpr int MaxPayload = 1024;  // far more than four frames of either codec
    static constexpr int MaxInfo = 4096, MaxChat = 1024;

    enum class Kind { Voice, Info, Chat };
    Kind kind = Kind::Voice;
    quint8 payloadType = 0;
    quint16 sequence = 0;
    QByteArray payload;  // Voice
    QByteArray text;     // Info: \r turned to \n; Chat: the text up to the NUL, trailing \r\n gone

    // nullopt: malformed (too short, an unknown payload type, a data packet without its
    // NUL). Texts longer than MaxInfo or MaxChat are cut.
    static std::optional<AudioPacket> parse(QByteArrayView datagram);
    static QByteArray voice(quint8 payloadType, quint16 sequence, QByteArrayView payload);
    static QByteArray info(QByteArrayView text);  // \n sent as \r
    // "CALL>text" as EchoLink stations send chat; the far station shows it as it comes.
    static QByteArray chat(QByteArrayView callsign, QByteArrayView text);
};
