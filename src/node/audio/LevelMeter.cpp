#include "node/audio/LevelMeter.h"

#include "node/audio/AudioLevel.h"

#include <cmath>

int LevelMeter::writeSamples(const float *samples, int count)
{
    const int passed = sinkWriteSamples(samples, count);
    for (int i = 0; i < passed; ++i) {
        m_peak = std::max(m_peak, std::fabs(samples[i]));
        m_sumOfSquares += static_cast<double>(samples[i]) * samples[i];
    }
    m_count += passed;
    return passed;
}

LevelMeter::Levels LevelMeter::takeLevels()
{
    const double rms = m_count > 0 ? std::sqrt(m_sumOfSquares / m_count) : 0.0;
    const Levels levels{AudioLevel::toDbfs(m_peak), AudioLevel::toDbfs(rms)};
    m_peak = 0.0f;
    m_sumOfSquares = 0.0;
    m_count = 0;
    return levels;
}
