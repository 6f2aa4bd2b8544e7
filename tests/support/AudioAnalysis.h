// Sound for tests and what tests measure in it: tones, the strength of a frequency, the
// dominant frequency, levels in dBFS (0 dBFS: a full-scale sine peaks at 1.0).
#pragma once

#include <vector>

namespace AudioAnalysis {

// A sine of `frequencyHz` whose peak is at `peakDbfs`.
std::vector<float> tone(double frequencyHz, double peakDbfs, double seconds, int sampleRate);

// The peak level (dBFS) of the sine at `frequencyHz` in the samples (Goertzel over all of
// them); a pure tone of the same frequency reads its own peak level.
double toneLevelDbfs(const std::vector<float> &samples, double frequencyHz, int sampleRate);

// The frequency with the strongest sine between `lowHz` and `highHz`: a sweep in 10 Hz
// steps, then refined to 0.5 Hz around the best step.
double dominantFrequency(const std::vector<float> &samples, int sampleRate, double lowHz = 50.0,
                         double highHz = 7900.0);

double peakDbfs(const std::vector<float> &samples);
double rmsDbfs(const std::vector<float> &samples);

// The samples from `from` to `to` seconds in, for measuring away from start and end.
std::vector<float> slice(const std::vector<float> &samples, int sampleRate, double from, double to);

}  // namespace AudioAnalysis
