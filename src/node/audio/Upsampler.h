// Raises a link's 8 kHz audio to the audio library's 16 kHz: every input sample becomes two
// output samples, each computed by one phase of the conversion low-pass, which removes the
// image of the 8 kHz spectrum above 4 kHz.
#pragma once

#include <AsyncAudioProcessor.h>

#include "node/audio/PolyphaseFir.h"

class Upsampler : public Async::AudioProcessor
{
public:
    Upsampler();

protected:
    void processSamples(float *dest, const float *src, int count) override;

private:
    PolyphaseFir m_fir;
};
