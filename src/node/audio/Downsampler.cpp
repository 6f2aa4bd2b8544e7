#include "node/audio/Downsampler.h"

#include "node/audio/LowPassDesign.h"

Downsampler::Downsampler() : m_fir(LowPassDesign::linkRateLowPass(), 1)
{
    setInputOutputSampleRate(16000, 8000);
}

void Downsampler::flushSamples()
{
    AudioProcessor::flushSamples();
    // The base class keeps the output of a pair completed from its one-sample carry until
    // something more is written; at the end of a stream nothing is, and the flush would
    // wait for ever. Resuming output sends that sample and lets the flush go on.
    AudioProcessor::resumeOutput();
    // The next transmission starts from silence, whatever this one ended with: links that
    // then hear the same sound send the same samples (and can share their encoding).
    m_fir.clear();
    m_keepNext = false;
}

void Downsampler::processSamples(float *dest, const float *src, int count)
{
    // The base class hands over whole pairs of samples; the flag carries the pairing
    // across calls all the same, so the output never depends on how input was split.
    for (int i = 0; i < count; ++i) {
        m_fir.push(src[i]);
        if (m_keepNext)
            *dest++ = m_fir.output(0);
        m_keepNext = !m_keepNext;
    }
}
