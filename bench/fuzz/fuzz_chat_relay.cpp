// Fuzz target for chat passed on between linked stations: any chat text, cleaned as the
// node cleans far text, is split into its writer and its text within their bounds, goes
// out as a chat packet that parses back to the same line within the packet's cap, and is
// passed on once: the same line again is seen.
#include "node/ChatRelay.h"
#include "node/FarText.h"
#include "node/protocol/AudioPacket.h"
#include "Finding.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString line =
        FarText::clean(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size))).trimmed();
    if (line.isEmpty())
        return 0;
    const ChatRelay::Line relayed = ChatRelay::attributed(QStringLiteral("K1ABC"), line);
    if (relayed.from.isEmpty() || relayed.from.size() > ChatRelay::MaxCallsign
        || relayed.from.contains(QLatin1Char(' ')))
        fail("writer out of its bounds");
    if (relayed.text.size() > FarText::MaxLength)
        fail("text beyond the far-text cap");
    const auto packet =
        AudioPacket::parse(AudioPacket::chat(relayed.from.toLatin1(), relayed.text.toLatin1()));
    if (!packet || packet->kind != AudioPacket::Kind::Chat || packet->text.size() > AudioPacket::MaxChat + 3)
        fail("a passed-on line does not parse back as chat within its cap");
    ChatRelay relay;
    if (relay.takeReceived(relayed) != ChatRelay::Verdict::Relay)
        fail("a first line is not passed on");
    if (relay.takeReceived(relayed) != ChatRelay::Verdict::Seen)
        fail("the same line is passed on twice");
    return 0;
}
