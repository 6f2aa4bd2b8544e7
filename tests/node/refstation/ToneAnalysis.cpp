#include "ToneAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace RefStation {

static double goertzelPower(const std::vector<float> &samples, double frequencyHz)
{
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequencyHz / SampleRate);
    double s1 = 0.0, s2 = 0.0;
    for (const float x : samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

double dominantFrequency(const std::vector<float> &samples)
{
    constexpr double Low = 50.0, High = 3950.0;
    auto strongest = [&](double from, double to, double step) {
        double best = from, bestPower = -1.0;
        for (double f = from; f <= to; f += step) {
            const double power = goertzelPower(samples, f);
            if (power > bestPower) {
                bestPower = power;
                best = f;
            }
        }
        return best;
    };
    const double coarse = strongest(Low, High, 10.0);
    return strongest(std::max(Low, coarse - 10.0), std::min(High, coarse + 10.0), 0.5);
}

double sineLevelDbfs(const std::vector<float> &samples)
{
    double sum = 0.0;
    for (const float x : samples)
        sum += static_cast<double>(x) * x;
    const double rms = samples.empty() ? 0.0 : std::sqrt(sum / samples.size());
    return std::max(-120.0, 20.0 * std::log10(std::max(rms * std::numbers::sqrt2, 1e-6)));
}

}  // namespace RefStation
