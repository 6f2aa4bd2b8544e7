#include "node/protocol/ControlPacket.h"

#include <QtEndian>

namespace {

// RTCP packet types and SDES item types as EchoLink uses them.
constexpr quint8 TypeReceiverReport = 201, TypeSdes = 202, TypeBye = 203;
constexpr quint8 ItemEnd = 0, ItemCname = 1, ItemName = 2, ItemEmail = 3, ItemPhone = 4, ItemPriv = 8;
// EchoLink stations write version bits 3; some peers write 1. Both are read.
constexpr quint8 VersionBits = 3 << 6;
constexpr int HeaderSize = 4, SsrcSize = 4;
constexpr int MaxItemText = 255;  // an item's length is one byte
constexpr int NameCallsignWidth = 15;

bool versionAccepted(quint8 first)
{
    const int version = first >> 6;
    return version == 3 || version == 1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Text as a C string would read it: up to its first NUL.
QByteArrayView upToNul(QByteArrayView text)
{
    const qsizetype nul = text.indexOf('\0');
    return nul < 0 ? text : text.first(nul);
}

// An item's text as kept: up to its first NUL, without trailing blanks.
QByteArrayView itemText(QByteArrayView text)
{
    text = upToNul(text);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

struct SdesItems
{
    std::optional<QByteArray> name;
    QByteArray priv;
};

// Reads the items of the first source in an SDES sub-packet. A source count of 0 has no
// items. False when an item's text runs past the sub-packet's end.
bool readSdesItems(QByteArrayView subPacket, SdesItems &items)
{
    if ((quint8(subPacket[0]) & 0x1F) == 0)
        return true;
    qsizetype pos = HeaderSize + SsrcSize;
    while (pos + 2 <= subPacket.size()) {
        const quint8 type = quint8(subPacket[pos]);
        if (type == ItemEnd)
            break;
        const int length = quint8(subPacket[pos + 1]);
        if (length > subPacket.size() - pos - 2)
            return false;
        const QByteArrayView text = subPacket.sliced(pos + 2, length);
        if (type == ItemName && !items.name)
            items.name = itemText(text).toByteArray();
        else if (type == ItemPriv && items.priv.isEmpty())
            items.priv = itemText(text).toByteArray();
        pos += 2 + length;
    }
    return true;
}

void appendItem(QByteArray &packet, quint8 type, QByteArrayView text)
{
    const QByteArrayView whole = upToNul(text);
    text = whole.first(qMin<qsizetype>(whole.size(), MaxItemText));
    packet.append(char(type));
    packet.append(char(text.size()));
    packet.append(text);
}

// The null receiver report every control packet begins with: no report blocks, SSRC 0.
QByteArray nullReceiverReport()
{
    QByteArray packet;
    packet.append(char(VersionBits));
    packet.append(char(TypeReceiverReport));
    packet.append('\0');
    packet.append('\1');  // length: one word after the header
    packet.append(SsrcSize, '\0');
    return packet;
}

// Finishes a one-source sub-packet that starts at `start`: pads it to 32-bit words and
// writes its length (in words, less one) into its header.
void closeSubPacket(QByteArray &packet, qsizetype start)
{
    while ((packet.size() - start) % 4 != 0)
        packet.append('\0');
    const quint16 words = quint16((packet.size() - start) / 4 - 1);
    qToBigEndian(words, packet.data() + start + 2);
}

void openSubPacket(QByteArray &packet, quint8 type)
{
    packet.append(char(VersionBits | 1));  // one source
    packet.append(char(type));
    packet.append(HeaderSize - 2 + SsrcSize, '\0');  // length (written at the end), SSRC 0
}

}  // namespace

std::optional<ControlPacket> ControlPacket::parse(QByteArrayView datagram)
{
    bool sawBye = false;
    std::optional<SdesItems> sdes;
    qsizetype pos = 0;
    // Walks the compound packet; what follows a sub-packet of another version is not ours.
    while (datagram.size() - pos >= HeaderSize && versionAccepted(quint8(datagram[pos]))) {
        const qsizetype length = (qsizetype(qFromBigEndian<quint16>(datagram.data() + pos + 2)) + 1) * 4;
        if (length > datagram.size() - pos)
            return std::nullopt;
        const QByteArrayView subPacket = datagram.sliced(pos, length);
        const quint8 type = quint8(subPacket[1]);
        if (type == TypeBye) {
            sawBye = true;
        } else if (type == TypeSdes) {
            SdesItems items;
            if (!readSdesItems(subPacket, items))
                return std::nullopt;
            if (!sdes)
                sdes = std::move(items);
        }
        pos += length;
    }

    if (sawBye) {
        ControlPacket packet;
        packet.kind = Kind::Bye;
        return packet;
    }
    if (!sdes || !sdes->name)
        return std::nullopt;

    QByteArrayView name(*sdes->name);
    while (!name.isEmpty() && isBlank(name.front()))
        name = name.sliced(1);
    qsizetype blank = 0;
    while (blank < name.size() && !isBlank(name[blank]))
        ++blank;
    if (blank == 0)
        return std::nullopt;
    ControlPacket packet;
    packet.callsign = name.first(qMin<qsizetype>(blank, MaxCallsign)).toByteArray();
    QByteArrayView rest = name.sliced(blank);
    while (!rest.isEmpty() && isBlank(rest.front()))
        rest = rest.sliced(1);
    packet.name = rest.toByteArray();
    packet.priv = sdes->priv;
    return packet;
}

QByteArray ControlPacket::sdes(QByteArrayView callsign, QByteArrayView name, QByteArrayView priv)
{
    QByteArray packet = nullReceiverReport();
    const qsizetype start = packet.size();
    openSubPacket(packet, TypeSdes);
    appendItem(packet, ItemCname, "CALLSIGN");
    QByteArray nameText = upToNul(callsign).toByteArray().leftJustified(NameCallsignWidth, ' ');
    // A callsign that fills the column still needs a blank to end it before the name.
    if (!nameText.endsWith(' ') && !upToNul(name).isEmpty())
        nameText += ' ';
    nameText += upToNul(name);
    appendItem(packet, ItemName, nameText);
    appendItem(packet, ItemEmail, "CALLSIGN");
    appendItem(packet, ItemPhone, "08:30");
    if (!upToNul(priv).isEmpty())
        appendItem(packet, ItemPriv, priv);
    packet.append(char(ItemEnd));
    packet.append('\0');
    closeSubPacket(packet, start);
    return packet;
}

QByteArray ControlPacket::bye()
{
    QByteArray packet = nullReceiverReport();
    const qsizetype start = packet.size();
    openSubPacket(packet, TypeBye);
    const QByteArrayView reason = "jan2002";
    packet.append(char(reason.size()));
    packet.append(reason);
    closeSubPacket(packet, start);
    return packet;
}
