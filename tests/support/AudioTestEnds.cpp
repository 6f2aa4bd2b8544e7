#include "AudioTestEnds.h"

#include <algorithm>
#include <utility>

void BufferSource::play(const std::vector<float> &samples, bool thenFlush)
{
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(m_next));
    m_next = 0;
    m_pending.insert(m_pending.end(), samples.begin(), samples.end());
    m_flushWhenDone = thenFlush;
    m_flushed = false;
    writeMore();
}

void BufferSource::resumeOutput()
{
    writeMore();
}

void BufferSource::allSamplesFlushed()
{
    m_flushed = true;
}

void BufferSource::writeMore()
{
    if (m_writing) {  // a sink that resumes us from inside our own write
        m_resumed = true;
        return;
    }
    m_writing = true;
    while (m_next < m_pending.size()) {
        const int block = m_blockSizes[m_blockIndex % m_blockSizes.size()];
        const int count = static_cast<int>(std::min<size_t>(block, m_pending.size() - m_next));
        const int written = sinkWriteSamples(m_pending.data() + m_next, count);
        m_next += static_cast<size_t>(written);
        // A sink that takes nothing resumes us when it has room again.
        if (written == 0 && !std::exchange(m_resumed, false))
            break;
        if (written == count)
            ++m_blockIndex;
    }
    m_writing = false;
    if (allWritten() && m_flushWhenDone) {
        m_flushWhenDone = false;
        sinkFlushSamples();
    }
}

int CaptureSink::writeSamples(const float *samples, int count)
{
    m_samples.insert(m_samples.end(), samples, samples + count);
    return count;
}

void CaptureSink::flushSamples()
{
    ++m_flushes;
    sourceAllSamplesFlushed();
}
