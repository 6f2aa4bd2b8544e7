// Measures the audio passing through it for the receive and transmit meters: peak and RMS
// in dBFS since the meter was last read. The window reads it on its own schedule; audio
// passes on unchanged, and only what the next stage accepted is counted.
#pragma once

#include <AsyncAudioPassthrough.h>

class LevelMeter : public Async::AudioPassthrough
{
public:
    struct Levels
    {
        double peakDbfs;
        double rmsDbfs;
    };

    int writeSamples(const float *samples, int count) override;

    // The levels since the previous call (the floor when nothing passed), then starts over.
    Levels takeLevels();

private:
    float m_peak = 0.0f;
    double m_sumOfSquares = 0.0;
    long m_count = 0;
};
