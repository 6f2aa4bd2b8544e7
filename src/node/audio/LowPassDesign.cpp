#include "node/audio/LowPassDesign.h"

#include <cassert>
#include <cmath>
#include <numbers>
#include <numeric>

namespace LowPassDesign {

std::vector<double> kaiserLowPass(int taps, double cutoffHz, double rateHz, double beta)
{
    assert(taps % 2 == 1);
    const double fc = cutoffHz / rateHz;  // cycles per sample
    const double middle = (taps - 1) / 2.0;
    const double windowNorm = std::cyl_bessel_i(0.0, beta);
    std::vector<double> h(taps);
    for (int n = 0; n < taps; ++n) {
        const double t = n - middle;
        const double sinc =
            t == 0.0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * t) / (std::numbers::pi * t);
        const double r = t / middle;
        const double window = std::cyl_bessel_i(0.0, beta * std::sqrt(1.0 - r * r)) / windowNorm;
        h[n] = sinc * window;
    }
    const double sum = std::accumulate(h.begin(), h.end(), 0.0);
    for (double &c : h)
        c /= sum;
    return h;
}

std::vector<double> linkRateLowPass()
{
    // Beta 5.65 aims at 60 dB; 97 taps then give a transition band of about 600 Hz centred
    // on the cut-off, so the stop band begins just below the 8 kHz side's Nyquist frequency.
    return kaiserLowPass(97, 3650.0, 16000.0, 5.65);
}

}  // namespace LowPassDesign
