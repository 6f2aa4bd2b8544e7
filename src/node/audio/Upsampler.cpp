#include "node/audio/Upsampler.h"

#include "node/audio/LowPassDesign.h"

Upsampler::Upsampler() : m_fir(LowPassDesign::linkRateLowPass(), 2)
{
    setInputOutputSampleRate(8000, 16000);
    // Each output sample sees only every other tap; giving each phase a sum of exactly one
    // keeps the level and leaves no 8 kHz ripple on a steady signal.
    for (int phase = 0; phase < 2; ++phase)
        m_fir.scalePhase(phase, 1.0 / m_fir.phaseSum(phase));
}

void Upsampler::processSamples(float *dest, const float *src, int count)
{
    for (int i = 0; i < count; ++i) {
        m_fir.push(src[i]);
        *dest++ = m_fir.output(0);
        *dest++ = m_fir.output(1);
    }
}
