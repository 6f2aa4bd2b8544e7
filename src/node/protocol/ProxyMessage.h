// The EchoLink proxy's messages. A station behind a router keeps one TCP connection to a
// proxy (port 8100), which holds the station's UDP ports and its directory connection
// for it. The proxy opens with an 8-byte nonce; the station answers with its callsign, a
// newline and the MD5 of its upper-cased proxy password followed by the nonce. From then
// on both sides send messages of a 9-byte header (the type, an IPv4 address in network
// order, the payload's length as 32 bits least significant byte first) and the payload.
// The proxy never confirms a log-in: it refuses with a SYSTEM message, or by closing.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct ProxyMessage
{
    enum class Type : quint8 {
        TcpOpen = 1,  // station: connect to port 5200 of the address
        TcpData,      // either way: bytes of the directory connection
        TcpClose,     // either way: the directory connection ends (no payload)
        TcpStatus,    // proxy: the outcome of TcpOpen, 32 bits, zero when connected
        UdpData,      // either way: a datagram of the audio port, to or from the address
        UdpControl,   // either way: a datagram of the control port
        System,       // proxy: one byte, why the station is refused
    };
    // The SYSTEM message's codes.
    enum SystemCode : quint8 { BadPassword = 1, AccessDenied = 2 };

    static constexpr int NonceSize = 8;
    static constexpr int HeaderSize = 9;
    static constexpr int DigestSize = 16;
    // The largest payload taken: a UDP datagram at most, and the proxy relays the
    // directory's bytes in chunks far smaller.
    static constexpr qsizetype MaxPayload = 65535;
    // The password of a proxy open to everyone, sent when none is configured.
    static constexpr const char *PublicPassword = "PUBLIC";

    Type type = Type::System;
    quint32 address = 0;  // IPv4, host order; 0 when the message concerns no station
    QByteArray payload;

    // The whole message on the wire.
    static QByteArray encode(Type type, quint32 address, const QByteArray &payload = {});
    // The station's answer to the nonce: callsign, newline, MD5(PASSWORD + nonce).
    static QByteArray logIn(const QString &callsign, const QString &password, const QByteArray &nonce);

    enum class Read {
        Complete,  // a message, `used` bytes long, is in `message`
        NeedMore,  // the bytes hold no whole message yet
        Broken,    // not a message the proxy may send: the connection cannot go on
    };
    // Reads one message the proxy sent from the front of bytes. Every length is checked
    // against its type and against MaxPayload before anything is copied.
    static Read readFromProxy(QByteArrayView bytes, ProxyMessage &message, qsizetype &used);
    // The same for messages a station sends (the proxy's side, for tests and tools).
    static Read readFromStation(QByteArrayView bytes, ProxyMessage &message, qsizetype &used);
};
