#include "ToneSource.h"

#include "ToneAnalysis.h"

#include <cmath>
#include <numbers>

namespace RefStation {

ToneSource::ToneSource() : m_timer(BlockSamples * 1000 / SampleRate, Async::Timer::TYPE_PERIODIC, false)
{
    m_timer.expired.connect([this](Async::Timer *) { writeDueBlocks(); });
}

void ToneSource::start(double frequencyHz, double peakDbfs)
{
    m_frequencyHz = frequencyHz;
    m_amplitude = std::pow(10.0, peakDbfs / 20.0);
    if (isRunning())
        return;
    m_started = std::chrono::steady_clock::now();
    m_written = 0;
    m_timer.setEnable(true);
    writeDueBlocks();
}

void ToneSource::stop()
{
    if (!isRunning())
        return;
    m_timer.setEnable(false);
    sinkFlushSamples();
}

void ToneSource::writeDueBlocks()
{
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_started);
    const int64_t due = elapsed.count() * SampleRate / 1000000 + BlockSamples;
    const double step = 2.0 * std::numbers::pi * m_frequencyHz / SampleRate;
    while (m_written + BlockSamples <= due) {
        float block[BlockSamples];
        for (int i = 0; i < BlockSamples; ++i)
            block[i] = static_cast<float>(m_amplitude * std::sin(step * double(m_written + i)));
        // A full sink loses the block: the tone keeps to the clock, as a microphone would.
        sinkWriteSamples(block, BlockSamples);
        m_written += BlockSamples;
    }
}

}  // namespace RefStation
