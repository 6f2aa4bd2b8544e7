// Fuzz target for the audio port: any datagram is refused or parsed within its bounds, and
// every voice payload goes twice through a fresh decoder of each codec (the second time on
// the state the first left), which must never decode more than one packet's samples nor
// write past them.
#include "node/protocol/AudioPacket.h"
#include "node/protocol/VoiceCodec.h"
#include "Finding.h"

#include <array>
#include <cstdint>
#include <memory>

namespace {


void decodeChecked(VoiceCodec &codec, QByteArrayView payload)
{
    constexpr qint16 Guard = 0x5A5A;
    std::array<qint16, VoiceCodec::PacketSamples + 32> out;
    out.fill(Guard);
    const int decoded = codec.decode(payload, out.data());
    if (decoded < 0 || decoded > VoiceCodec::PacketSamples || decoded % VoiceCodec::FrameSamples != 0)
        fail("decoded sample count out of range");
    for (size_t i = VoiceCodec::PacketSamples; i < out.size(); ++i) {
        if (out[i] != Guard)
            fail("decoder wrote past one packet");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto packet = AudioPacket::parse(QByteArrayView(data, qsizetype(size)));
    if (!packet)
        return 0;
    switch (packet->kind) {
    case AudioPacket::Kind::Voice: {
        if (packet->payload.size() > AudioPacket::MaxPayload)
            fail("voice payload beyond its cap");
        for (const quint8 type : {PayloadGsm, PayloadSpeex}) {
            const std::unique_ptr<VoiceCodec> codec = makeCodec(type);
            decodeChecked(*codec, packet->payload);
            decodeChecked(*codec, packet->payload);
        }
        break;
    }
    case AudioPacket::Kind::Info:
        if (packet->text.size() > AudioPacket::MaxInfo)
            fail("info beyond its cap");
        break;
    case AudioPacket::Kind::Chat:
        if (packet->text.size() > AudioPacket::MaxChat)
            fail("chat beyond its cap");
        break;
    }
    return 0;
}
