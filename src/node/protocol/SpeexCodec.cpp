#include "node/protocol/SpeexCodec.h"

#include "node/protocol/AudioPacket.h"

#include <speex/speex.h>

#include <algorithm>
#include <array>

namespace {

// Bits in one narrowband frame of each mode, its 1 + 4 header bits included, as Debian's
// libspeex writes them. Modes 9 to 14 (invalid or in-band requests) and wideband layers are
// nothing the stations we talk to send.
constexpr std::array<int, 9> NarrowbandFrameBits = {5, 43, 119, 160, 220, 300, 364, 492, 79};
constexpr int HeaderBits = 5;

// Reads a payload's bits most significant first, the order libspeex packs them in.
class BitReader
{
public:
    explicit BitReader(QByteArrayView bytes) : m_bytes(bytes) {}

    qsizetype remaining() const { return m_bytes.size() * 8 - m_position; }

    // The caller makes sure count bits remain.
    unsigned read(int count)
    {
        unsigned value = 0;
        for (int i = 0; i < count; ++i, ++m_position)
            value = value << 1 | ((quint8(m_bytes[m_position / 8]) >> (7 - m_position % 8)) & 1u);
        return value;
    }

    void skip(qsizetype count) { m_position += count; }

private:
    QByteArrayView m_bytes;
    qsizetype m_position = 0;
};

// The number of whole narrowband frames leading the payload, at most limit. The terminator
// (mode 15), the payload's end and the first frame libspeex's decoder would call corrupt
// all end the count, so the decoder is never handed a frame that makes it print a warning.
int leadingFrames(QByteArrayView payload, int limit)
{
    BitReader bits(payload);
    int frames = 0;
    while (frames < limit && bits.remaining() >= HeaderBits) {
        const bool wideband = bits.read(1);
        const unsigned mode = bits.read(4);
        if (wideband || mode >= NarrowbandFrameBits.size())
            break;
        const int body = NarrowbandFrameBits[mode] - HeaderBits;
        if (bits.remaining() < body)
            break;
        bits.skip(body);
        ++frames;
    }
    return frames;
}

}  // namespace

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
    if (payload.size() > AudioPacket::MaxPayload)
        return 0;
    const int frames = leadingFrames(payload, FramesPerPacket);
    if (frames == 0)
        return 0;
    // The bit reader copies the bytes into its own buffer, so it never reads the payload
    // past its size.
    speex_bits_read_from(&m_decoderBits, payload.data(), int(payload.size()));
    for (int i = 0; i < frames; ++i) {
        if (speex_decode_int(m_decoder, &m_decoderBits, out + i * FrameSamples) != 0)
            return i * FrameSamples;
    }
    return frames * FrameSamples;
}
