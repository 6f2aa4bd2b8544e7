// Speex narrowband through Debian's libspeex: the four frames of a packet share one bit
// stream, ended by a terminator. The encoder is set up as EchoLink stations on Linux set
// theirs (bit-rate 25000, then quality 8, complexity 4), so they decode what we send.
#pragma once

#include "VoiceCodec.h"

#include <speex/speex_bits.h>

class SpeexCodec : public VoiceCodec {
public:
    SpeexCodec();
    ~SpeexCodec() override;
    SpeexCodec(const SpeexCodec &) = delete;
    SpeexCodec &operator=(const SpeexCodec &) = delete;

    quint8 payloadType() const override;
    QByteArray encode(const qint16 *samples) override;
    // Decodes at most four frames; the stream's end or a corrupt frame ends the packet.
    int decode(QByteArrayView payload, qint16 *out) override;

private:
    void *m_encoder;
    void *m_decoder;
    SpeexBits m_encoderBits;
    SpeexBits m_decoderBits;
};
