// One link's audio at the audio library's 16 kHz: what the link receives (8 kHz) raised to
// 16 kHz, and what is sent to it lowered to 8 kHz. An EchoLink link (a Qso) is itself an
// audio source and sink at 8 kHz; the conference takes the 16 kHz ends.
//
// Received audio comes in packets of four 20 ms frames, written at once whether or not the
// next stage has room, so it first goes into a FIFO. The FIFO holds back the start of each
// talk spurt until a packet and a frame (100 ms) are in, so a packet that arrives up to
// 20 ms late does not leave a gap in the sound.
#pragma once

#include "node/audio/Downsampler.h"
#include "node/audio/Upsampler.h"

#include <AsyncAudioFifo.h>

namespace Async {
class AudioSink;
class AudioSource;
}

class LinkRateAdapter {
public:
    static constexpr int FifoSamples = 8000;    // 1 s at 8 kHz
    static constexpr int PrebufferSamples = 800; // 100 ms at 8 kHz

    LinkRateAdapter(Async::AudioSource *fromLink, Async::AudioSink *toLink);
    ~LinkRateAdapter();

    LinkRateAdapter(const LinkRateAdapter &) = delete;
    LinkRateAdapter &operator=(const LinkRateAdapter &) = delete;

    Async::AudioSource *received() { return &m_received; }
    Async::AudioSink *send() { return &m_send; }

private:
    Async::AudioFifo m_fifo;
    Upsampler m_received;
    Downsampler m_send;
};
