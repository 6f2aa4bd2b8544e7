#include "node/protocol/ProxyMessage.h"

#include <QCryptographicHash>

namespace {

quint32 littleEndian32(const char *bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

// One message from the front of bytes. Each type has its own payload length: `fixed`
// bytes exactly, or (when fixed stays negative) anything up to MaxPayload.
ProxyMessage::Read read(QByteArrayView bytes, ProxyMessage &message, qsizetype &used, bool fromProxy)
{
    using Type = ProxyMessage::Type;
    used = 0;
    if (bytes.size() < ProxyMessage::HeaderSize)
        return ProxyMessage::Read::NeedMore;
    const quint8 type = quint8(bytes[0]);
    qsizetype fixed = -1;
    switch (Type(type)) {
    case Type::TcpOpen:
        if (fromProxy)
            return ProxyMessage::Read::Broken;
        fixed = 0;
        break;
    case Type::TcpClose:
        fixed = 0;
        break;
    case Type::TcpStatus:
    case Type::System:
        if (!fromProxy)
            return ProxyMessage::Read::Broken;
        fixed = Type(type) == Type::TcpStatus ? 4 : 1;
        break;
    case Type::TcpData:
    case Type::UdpData:
    case Type::UdpControl:
        break;
    default:
        return ProxyMessage::Read::Broken;
    }
    const quint32 length = littleEndian32(bytes.data() + 5);
    if (length > quint32(ProxyMessage::MaxPayload) || (fixed >= 0 && length != quint32(fixed)))
        return ProxyMessage::Read::Broken;
    if (bytes.size() - ProxyMessage::HeaderSize < qsizetype(length))
        return ProxyMessage::Read::NeedMore;
    const auto *a = reinterpret_cast<const unsigned char *>(bytes.data() + 1);
    message.type = Type(type);
    message.address = quint32(a[0]) << 24 | quint32(a[1]) << 16 | quint32(a[2]) << 8 | quint32(a[3]);
    message.payload = QByteArray(bytes.data() + ProxyMessage::HeaderSize, qsizetype(length));
    used = ProxyMessage::HeaderSize + qsizetype(length);
    return ProxyMessage::Read::Complete;
}

}  // namespace

QByteArray ProxyMessage::encode(Type type, quint32 address, const QByteArray &payload)
{
    QByteArray out;
    out.reserve(HeaderSize + payload.size());
    out += char(type);
    for (int shift : {24, 16, 8, 0})
        out += char((address >> shift) & 0xff);
    const auto length = quint32(payload.size());
    for (int shift : {0, 8, 16, 24})
        out += char((length >> shift) & 0xff);
    out += payload;
    return out;
}

QByteArray ProxyMessage::logIn(const QString &callsign, const QString &password, const QByteArray &nonce)
{
    const QByteArray secret = password.isEmpty() ? QByteArray(PublicPassword) : password.toUpper().toUtf8();
    return callsign.toUpper().toLatin1() + '\n'
           + QCryptographicHash::hash(secret + nonce.left(NonceSize), QCryptographicHash::Md5);
}

ProxyMessage::Read ProxyMessage::readFromProxy(QByteArrayView bytes, ProxyMessage &message, qsizetype &used)
{
    return read(bytes, message, used, true);
}

ProxyMessage::Read ProxyMessage::readFromStation(QByteArrayView bytes, ProxyMessage &message, qsizetype &used)
{
    return read(bytes, message, used, false);
}
