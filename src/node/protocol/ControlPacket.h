// The packets of EchoLink's control port (UDP 5199): RTCP compound packets whose SDES
// introduces a station (and, repeated, keeps the link alive) and whose BYE ends a link.
// Both are sent as a null receiver report followed by the SDES or BYE, version bits 3.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

struct ControlPacket
{
    // The longest callsign taken from a far station's NAME item (EchoLink callsigns and
    // conference names are far shorter); SDES texts are bounded by their 1-byte length.
    static constexpr int MaxCallsign = 32;

    enum class Kind { Sdes, Bye };
    Kind kind = Kind::Sdes;
    QByteArray callsign;  // Sdes: from the NAME item, before the first blank; capped
    QByteArray name;      // Sdes: the rest of NAME after the blanks
    QByteArray priv;      // Sdes: the PRIV item (codecs offered, e.g. "SPEEX"), may be empty

    // nullopt for anything malformed or not a link's SDES or BYE. Never reads past the end.
    static std::optional<ControlPacket> parse(QByteArrayView datagram);
    // Our station's SDES: NAME is the callsign padded to 15 characters (and always a blank
    // before a name), then the name;
    // an empty priv leaves the PRIV item out. Every item is cut to 255 bytes.
    static QByteArray sdes(QByteArrayView callsign, QByteArrayView name, QByteArrayView priv);
    static QByteArray bye();
};
