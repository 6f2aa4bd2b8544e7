// Lowers the audio library's 16 kHz audio to a link's 8 kHz: the conversion low-pass removes
// what lies above 4 kHz (it would fold back into the speech band), computed only for the
// samples that are kept.
#pragma once

#include <AsyncAudioProcessor.h>

#include "node/audio/PolyphaseFir.h"

class Downsampler : public Async::AudioProcessor
{
public:
    Downsampler();

    void flushSamples() override;

protected:
    void processSamples(float *dest, const float *src, int count) override;

private:
    PolyphaseFir m_fir;
    bool m_keepNext = false;  // which input sample of a pair yields the next output
};
