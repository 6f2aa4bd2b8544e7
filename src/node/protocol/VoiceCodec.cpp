#include "node/protocol/VoiceCodec.h"

#include "node/protocol/AudioPacket.h"
#include "node/protocol/GsmCodec.h"
#include "node/protocol/SpeexCodec.h"

VoiceCodec::~VoiceCodec() = default;

std::unique_ptr<VoiceCodec> makeCodec(quint8 payloadType)
{
    switch (payloadType) {
    case PayloadGsm:
        return std::make_unique<GsmCodec>();
    case PayloadSpeex:
        return std::make_unique<SpeexCodec>();
    default:
        return nullptr;
    }
}
