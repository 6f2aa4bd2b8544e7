// The end of a link's received sound: keeps what arrived since it was last taken (at most
// one second of it) for the once-a-second report.
#pragma once

#include <AsyncAudioSink.h>

#include <vector>

namespace RefStation {

class ReceiveMeter : public Async::AudioSink
{
public:
    int writeSamples(const float *samples, int count) override;
    void flushSamples() override { sourceAllSamplesFlushed(); }

    std::vector<float> take();

private:
    std::vector<float> m_samples;
};

}  // namespace RefStation
