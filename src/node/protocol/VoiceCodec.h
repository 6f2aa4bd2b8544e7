// A voice codec of EchoLink's audio port: one packet carries four frames of 160 samples
// (8 kHz, 16-bit), 80 ms of sound. A codec object holds the state of one stream, so a link
// uses one for what it sends and another for what it receives.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

class VoiceCodec
{
public:
    static constexpr int FrameSamples = 160, FramesPerPacket = 4, PacketSamples = 640;

    virtual ~VoiceCodec();
    virtual quint8 payloadType() const = 0;
    // Encodes PacketSamples samples into one packet's payload.
    virtual QByteArray encode(const qint16 *samples) = 0;
    // Decodes one packet's payload into out (room for PacketSamples); returns the number of
    // samples decoded (a multiple of 160, 0 when the payload is unusable). Never reads past
    // the payload, never writes past PacketSamples, whatever the bytes.
    virtual int decode(QByteArrayView payload, qint16 *out) = 0;
};

// The codec for an RTP payload type (PayloadGsm, PayloadSpeex); null for unknown types.
std::unique_ptr<VoiceCodec> makeCodec(quint8 payloadType);
