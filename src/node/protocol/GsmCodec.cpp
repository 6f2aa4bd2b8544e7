#include "node/protocol/GsmCodec.h"

#include "node/protocol/AudioPacket.h"

#include <gsm.h>

#include <algorithm>
#include <array>

GsmCodec::GsmCodec() : m_encoder(gsm_create()), m_decoder(gsm_create())
{
    Q_CHECK_PTR(m_encoder);
    Q_CHECK_PTR(m_decoder);
}

GsmCodec::~GsmCodec()
{
    gsm_destroy(m_encoder);
    gsm_destroy(m_decoder);
}

quint8 GsmCodec::payloadType() const
{
    return PayloadGsm;
}

QByteArray GsmCodec::encode(const qint16 *samples)
{
    QByteArray payload(FramesPerPacket * FrameBytes, '\0');
    std::array<gsm_signal, FrameSamples> frame;
    for (int i = 0; i < FramesPerPacket; ++i) {
        // libgsm takes its input through a non-const pointer; it gets a copy.
        std::copy_n(samples + i * FrameSamples, FrameSamples, frame.begin());
        gsm_encode(m_encoder, frame.data(), reinterpret_cast<gsm_byte *>(payload.data() + i * FrameBytes));
    }
    return payload;
}

int GsmCodec::decode(QByteArrayView payload, qint16 *out)
{
    if (payload.size() != FramesPerPacket * FrameBytes)
        return 0;
    std::array<gsm_byte, FrameBytes> frame;
    for (int i = 0; i < FramesPerPacket; ++i) {
        std::copy_n(payload.data() + i * FrameBytes, FrameBytes, frame.begin());
        if (gsm_decode(m_decoder, frame.data(), out + i * FrameSamples) != 0)
            return i * FrameSamples;
    }
    return PacketSamples;
}
