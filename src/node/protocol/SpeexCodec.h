// Speex narrowband through Debian's libspeex: the four frames of a packet share one bit
// stream, ended by a terminator. The encoder is set up as EchoLink stations on Linux set
// theirs (bit-rate 25000, then quality 8, complexity 4), so they decode what we send.
#pragma once

#include "node/protocol/VoiceCodec.h"

#include <speex/speex_bits.h>

class SpeexCodec : public VoiceCodec
{
public:
    SpeexCodec();
    ~SpeexCodec() override;
    SpeexCodec(const SpeexCodec &) = delete;
    SpeexCodec &operator=(const SpeexCodec &) = delete;

    quint8 payloadType() const override;
    QByteArray encode(const qint16 *samples) override;
    // Decodes at most four narrowband frames; the stream's end, a frame cut short or any
    // frame of another kind ends the packet before the decoder sees it.
    int decode(QByteArrayView payload, qint16 *out) override;

private:
    void *m_encoder;
    void *m_decoder;
    SpeexBits m_encoderBits;
    SpeexBits m_decoderBits;
};
