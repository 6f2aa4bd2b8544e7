#include "SpeexCodec.h"

#include "AudioPacket.h"

#include <speex/speex.h>

#include <algorithm>
#include <array>

SpeexCodec::SpeexCodec()
    : m_encoder(speex_encoder_init(&speex_nb_mode)), m_decoder(speex_decoder_init(&speex_nb_mode))
{
    Q_CHECK_PTR(m_encoder);
    Q_CHECK_PTR(m_decoder);
    speex_bits_init(&m_encoderBits);
    speex_bits_init(&m_decoderBits);
    // The same requests in the same order as the stations we talk to: the quality set last
    // decides the mode.
    int value = 25000;
    speex_encoder_ctl(m_encoder, SPEEX_SET_BITRATE, &value);
    value = 8;
    speex_encoder_ctl(m_encoder, SPEEX_SET_QUALITY, &value);
    value = 4;
    speex_encoder_ctl(m_encoder, SPEEX_SET_COMPLEXITY, &value);
}

SpeexCodec::~SpeexCodec()
{
    speex_bits_destroy(&m_encoderBits);
    speex_bits_destroy(&m_decoderBits);
    speex_encoder_destroy(m_encoder);
    speex_decoder_destroy(m_decoder);
}

quint8 SpeexCodec::payloadType() const
{
    return PayloadSpeex;
}

QByteArray SpeexCodec::encode(const qint16 *samples)
{
    speex_bits_reset(&m_encoderBits);
    std::array<spx_int16_t, FrameSamples> frame;
    for (int i = 0; i < FramesPerPacket; ++i) {
        // The encoder takes its input through a non-const pointer; it gets a copy.
        std::copy_n(samples + i * FrameSamples, FrameSamples, frame.begin());
        speex_encode_int(m_encoder, frame.data(), &m_encoderBits);
    }
    speex_bits_insert_terminator(&m_encoderBits);
    QByteArray payload(speex_bits_nbytes(&m_encoderBits), '\0');
    const int written = speex_bits_write(&m_encoderBits, payload.data(), int(payload.size()));
    payload.truncate(written);
    return payload;
}

int SpeexCodec::decode(QByteArrayView payload, qint16 *out)
{
    if (payload.isEmpty() || payload.size() > AudioPacket::MaxPayload)
        return 0;
    // The bit reader copies the bytes into its own buffer, so it never reads the payload
    // past its size.
    speex_bits_read_from(&m_decoderBits, payload.data(), int(payload.size()));
    for (int i = 0; i < FramesPerPacket; ++i) {
        if (speex_decode_int(m_decoder, &m_decoderBits, out + i * FrameSamples) != 0)
            return i * FrameSamples;
    }
    return PacketSamples;
}
