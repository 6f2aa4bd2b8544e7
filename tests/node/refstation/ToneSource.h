// A sine at 8 kHz for every link of the reference station, in the audio library's
// plumbing: a source whose blocks of 160 samples (20 ms) follow the clock, so the links
// get sound at the real rate. Stopping flushes, which sends the last partial packet.
#pragma once

#include <AsyncAudioSource.h>
#include <AsyncTimer.h>

#include <chrono>
#include <cstdint>

namespace RefStation {

class ToneSource : public Async::AudioSource
{
public:
    ToneSource();

    // A sine of `frequencyHz` whose peak is at `peakDbfs`.
    void start(double frequencyHz, double peakDbfs);
    void stop();
    bool isRunning() const { return m_timer.isEnabled(); }

    // Paced by the clock: a sink that was full catches up at the next tick.
    void resumeOutput() override {}

protected:
    void allSamplesFlushed() override {}

private:
    static constexpr int BlockSamples = 160;

    void writeDueBlocks();

    Async::Timer m_timer;
    std::chrono::steady_clock::time_point m_started;
    int64_t m_written = 0;
    double m_frequencyHz = 0.0;
    double m_amplitude = 0.0;
};

}  // namespace RefStation
