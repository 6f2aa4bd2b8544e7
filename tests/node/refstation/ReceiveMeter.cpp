#include "ReceiveMeter.h"

#include "ToneAnalysis.h"

#include <cstddef>

namespace RefStation {

int ReceiveMeter::writeSamples(const float *samples, int count)
{
    m_samples.insert(m_samples.end(), samples, samples + count);
    if (m_samples.size() > std::size_t(SampleRate))
        m_samples.erase(m_samples.begin(), m_samples.end() - SampleRate);
    return count;
}

std::vector<float> ReceiveMeter::take()
{
    std::vector<float> taken;
    taken.swap(m_samples);
    return taken;
}

}  // namespace RefStation
