#include "AudioAnalysis.h"

#include "node/audio/AudioLevel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace AudioAnalysis {

std::vector<float> tone(double frequencyHz, double peakDbfs, double seconds, int sampleRate)
{
    const double amplitude = AudioLevel::fromDbfs(peakDbfs);
    std::vector<float> samples(static_cast<size_t>(seconds * sampleRate));
    for (size_t n = 0; n < samples.size(); ++n)
        samples[n] =
            static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequencyHz * n / sampleRate));
    return samples;
}

static double goertzelAmplitude(const std::vector<float> &samples, double frequencyHz, int sampleRate)
{
    if (samples.empty())
        return 0.0;
    const double w = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (float x : samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(0.0, power)) / samples.size();
}

double toneLevelDbfs(const std::vector<float> &samples, double frequencyHz, int sampleRate)
{
    return AudioLevel::toDbfs(goertzelAmplitude(samples, frequencyHz, sampleRate));
}

double dominantFrequency(const std::vector<float> &samples, int sampleRate, double lowHz, double highHz)
{
    auto strongest = [&](double from, double to, double step) {
        double best = from, bestAmplitude = -1.0;
        for (double f = from; f <= to; f += step) {
            const double a = goertzelAmplitude(samples, f, sampleRate);
            if (a > bestAmplitude) {
                bestAmplitude = a;
                best = f;
            }
        }
        return best;
    };
    const double coarse = strongest(lowHz, highHz, 10.0);
    return strongest(std::max(lowHz, coarse - 10.0), std::min(highHz, coarse + 10.0), 0.5);
}

double peakDbfs(const std::vector<float> &samples)
{
    float peak = 0.0f;
    for (float x : samples)
        peak = std::max(peak, std::fabs(x));
    return AudioLevel::toDbfs(peak);
}

double rmsDbfs(const std::vector<float> &samples)
{
    double sum = 0.0;
    for (float x : samples)
        sum += static_cast<double>(x) * x;
    return AudioLevel::toDbfs(samples.empty() ? 0.0 : std::sqrt(sum / samples.size()));
}

std::vector<float> slice(const std::vector<float> &samples, int sampleRate, double from, double to)
{
    const size_t begin = std::min(samples.size(), static_cast<size_t>(from * sampleRate));
    const size_t end = std::clamp(static_cast<size_t>(to * sampleRate), begin, samples.size());
    return {samples.begin() + begin, samples.begin() + end};
}

}  // namespace AudioAnalysis
