// What the reference station measures in the sound a link brings: the dominant frequency
// and the level. Levels are in dBFS referred to a full-scale sine, so a sine reads its own
// peak level (a tone sent at -20 dBFS peak is heard at -20 dBFS).
#pragma once

#include <vector>

namespace RefStation {

constexpr int SampleRate = 8000;

// The frequency of the strongest sine between 50 Hz and 3950 Hz: a sweep in 10 Hz steps,
// then refined in 0.5 Hz steps around the best one.
double dominantFrequency(const std::vector<float> &samples);
// The RMS level, +3.01 dB so that a sine reads its peak; -120 for silence.
double sineLevelDbfs(const std::vector<float> &samples);

}  // namespace RefStation
