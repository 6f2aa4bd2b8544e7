// Fuzz target for the EchoLink proxy's messages. The input is a stream of bytes as a
// proxy (or, for the proxy's side, a station) would send them, read message by message
// as the client reads it. Every message read is within the bytes given, its payload never
// beyond MaxPayload nor other than its type allows, and encoding it again gives exactly
// the bytes it was read from; reading stops at the first broken message.
#include "node/protocol/ProxyMessage.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void finding(const char *what, const QByteArray &input)
{
    std::fprintf(stderr, "finding: %s: %s\n", what, input.left(300).toPercentEncoding().constData());
    std::abort();
}

void readAll(const QByteArray &input, bool fromProxy)
{
    using Type = ProxyMessage::Type;
    qsizetype at = 0;
    for (;;) {
        ProxyMessage message;
        qsizetype used = -1;
        const QByteArrayView rest(input.constData() + at, input.size() - at);
        const ProxyMessage::Read read = fromProxy ? ProxyMessage::readFromProxy(rest, message, used)
                                                  : ProxyMessage::readFromStation(rest, message, used);
        if (read != ProxyMessage::Read::Complete) {
            if (used != 0)
                finding("bytes used without a message", input);
            if (read == ProxyMessage::Read::NeedMore
                && rest.size() >= ProxyMessage::HeaderSize + ProxyMessage::MaxPayload)
                finding("more wanted than the largest message", input);
            return;
        }
        if (used < ProxyMessage::HeaderSize || used > rest.size())
            finding("a message beyond the bytes given", input);
        if (message.payload.size() > ProxyMessage::MaxPayload)
            finding("a payload beyond its cap", input);
        if ((message.type == Type::TcpClose && !message.payload.isEmpty())
            || (message.type == Type::TcpStatus && message.payload.size() != 4)
            || (message.type == Type::System && message.payload.size() != 1))
            finding("a payload of the wrong size for its type", input);
        const bool proxyOnly = message.type == Type::TcpStatus || message.type == Type::System;
        if (fromProxy ? message.type == Type::TcpOpen : proxyOnly)
            finding("a message the other side never sends", input);
        if (ProxyMessage::encode(message.type, message.address, message.payload)
            != rest.first(used).toByteArray())
            finding("encoding the message again gives other bytes", input);
        at += used;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    readAll(input, true);
    readAll(input, false);
    return 0;
}
