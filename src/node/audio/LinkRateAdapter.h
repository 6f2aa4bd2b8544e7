// One link's audio at the audio library's 16 kHz: what the link receives (8 kHz) raised to
// 16 kHz, and what is sent to it lowered to 8 kHz. An EchoLink link (a Qso) is itself an
// audio source and sink at 8 kHz; the conference takes the 16 kHz ends.
#pragma once

#include "Downsampler.h"
#include "Upsampler.h"

namespace Async {
class AudioSink;
class AudioSource;
}

class LinkRateAdapter {
public:
    LinkRateAdapter(Async::AudioSource *fromLink, Async::AudioSink *toLink);
    ~LinkRateAdapter();

    LinkRateAdapter(const LinkRateAdapter &) = delete;
    LinkRateAdapter &operator=(const LinkRateAdapter &) = delete;

    Async::AudioSource *received() { return &m_received; }
    Async::AudioSink *send() { return &m_send; }

private:
    Upsampler m_received;
    Downsampler m_send;
};
