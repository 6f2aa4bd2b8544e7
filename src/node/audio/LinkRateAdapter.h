// One link's audio at the audio library's 16 kHz: what the link receives (8 kHz) raised to
// 16 kHz, and what is sent to it lowered to 8 kHz. An EchoLink link (a Qso) is itself an
// audio source and sink at 8 kHz; the conference takes the 16 kHz ends.
//
// Received audio comes in packets of four 20 ms frames, written at once whether or not the
// next stage has room, so it first goes into the link's receive buffer, which holds back
// the start of each talk spurt only as long as the link's jitter needs (JitterBuffer).
#pragma once

#include "node/audio/Downsampler.h"
#include "node/audio/JitterBuffer.h"
#include "node/audio/Upsampler.h"

namespace Async {
class AudioSink;
class AudioSource;
}  // namespace Async

class LinkRateAdapter
{
public:
    LinkRateAdapter(Async::AudioSource *fromLink, Async::AudioSink *toLink);
    ~LinkRateAdapter();

    LinkRateAdapter(const LinkRateAdapter &) = delete;
    LinkRateAdapter &operator=(const LinkRateAdapter &) = delete;

    Async::AudioSource *received() { return &m_received; }
    Async::AudioSink *send() { return &m_send; }
    const JitterBuffer &receiveBuffer() const { return m_buffer; }

private:
    JitterBuffer m_buffer;
    Upsampler m_received;
    Downsampler m_send;
};
