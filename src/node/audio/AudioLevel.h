// Levels in dBFS: 0 dBFS is a full-scale sample (1.0 in the audio library's float samples).
#pragma once

#include <algorithm>
#include <cmath>

namespace AudioLevel {

// The level reported for silence, so that meters and logs never see minus infinity.
inline constexpr double FloorDbfs = -100.0;

inline double toDbfs(double amplitude)
{
    return std::max(FloorDbfs, 20.0 * std::log10(std::max(amplitude, 1e-12)));
}

inline double fromDbfs(double dbfs)
{
    return std::pow(10.0, dbfs / 20.0);
}

}  // namespace AudioLevel
