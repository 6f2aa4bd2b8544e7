#include "node/audio/OutputLimiter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

OutputLimiter::OutputLimiter(int sampleRate)
    : m_release(static_cast<float>(1.0 - std::exp(-1.0 / (ReleaseSeconds * sampleRate)))),
      m_delayed(LookAhead + 1, 0.0f), m_needed(LookAhead + 1, 1.0f), m_smoothing(LookAhead, 1.0f)
{}

void OutputLimiter::flushSamples()
{
    if (m_holdsAudio) {
        m_holdsAudio = false;
        const std::vector<float> silence(LookAhead, 0.0f);
        AudioProcessor::writeSamples(silence.data(), LookAhead);
    }
    AudioProcessor::flushSamples();
}

void OutputLimiter::processSamples(float *dest, const float *src, int count)
{
    for (int i = 0; i < count; ++i)
        dest[i] = limit(src[i]);
    m_holdsAudio = true;
}

float OutputLimiter::limit(float sample)
{
    // The gain applied to the sample leaving now is the average of the last LookAhead
    // gains, each of which is at most the smallest gain needed by any sample in the
    // look-ahead when it was taken; all of those windows contain the leaving sample, so
    // the average never exceeds what that sample needs.
    const int slots = LookAhead + 1;
    m_position = (m_position + 1) % slots;
    m_delayed[m_position] = sample;
    const float magnitude = std::fabs(sample);
    m_needed[m_position] = magnitude > Ceiling ? Ceiling / magnitude : 1.0f;
    const float leaving = m_delayed[(m_position + 1) % slots];  // LookAhead samples old

    const float needed = *std::min_element(m_needed.begin(), m_needed.end());
    m_gain = needed < m_gain ? needed : m_gain + (needed - m_gain) * m_release;
    m_smoothingPosition = (m_smoothingPosition + 1) % LookAhead;
    m_smoothing[m_smoothingPosition] = m_gain;
    const float gain = std::accumulate(m_smoothing.begin(), m_smoothing.end(), 0.0f) / LookAhead;
    return leaving * gain;
}
