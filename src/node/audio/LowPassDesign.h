// The low-pass filter of the 8 <-> 16 kHz conversion, designed as a Kaiser-windowed sinc.
#pragma once

#include <vector>

namespace LowPassDesign {

// A linear-phase low-pass of `taps` coefficients (odd) at `rateHz`, its -6 dB point at
// `cutoffHz`; `beta` sets the Kaiser window (stop-band attenuation about
// 8.7 + beta / 0.1102 dB). The coefficients sum to 1 (unity gain at DC).
std::vector<double> kaiserLowPass(int taps, double cutoffHz, double rateHz, double beta);

// The filter used between the links' 8 kHz and the audio library's 16 kHz, at 16 kHz:
// 97 taps (3 ms delay), flat within 0.01 dB to 3.3 kHz (-0.13 dB at 3.4 kHz), -6 dB at
// 3.65 kHz, at least 58 dB down from 3.95 kHz on.
std::vector<double> linkRateLowPass();

}  // namespace LowPassDesign
