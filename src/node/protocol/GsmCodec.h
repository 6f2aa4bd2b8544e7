// GSM 06.10 full rate through Debian's libgsm: each 160-sample frame is 33 bytes, so a
// packet's payload is exactly 132 bytes.
#pragma once

#include "node/protocol/VoiceCodec.h"

struct gsm_state;

class GsmCodec : public VoiceCodec
{
public:
    static constexpr int FrameBytes = 33;

    GsmCodec();
    ~GsmCodec() override;
    GsmCodec(const GsmCodec &) = delete;
    GsmCodec &operator=(const GsmCodec &) = delete;

    quint8 payloadType() const override;
    QByteArray encode(const qint16 *samples) override;
    // A payload of another size than four frames decodes to nothing; a frame without
    // GSM's signature ends the packet there.
    int decode(QByteArrayView payload, qint16 *out) override;

private:
    gsm_state *m_encoder;
    gsm_state *m_decoder;
};
