#include "node/audio/PolyphaseFir.h"

#include <algorithm>

#include <cstddef>

PolyphaseFir::PolyphaseFir(const std::vector<double> &taps, int phases)
    : m_length(static_cast<int>((taps.size() + phases - 1) / phases)),
      m_phases(phases, std::vector<float>(m_length, 0.0f)), m_history(2 * m_length, 0.0f)
{
    // Tap k of a phase weighs the input k samples old; store the phase reversed so that
    // output() walks the history from oldest to newest.
    for (int p = 0; p < phases; ++p) {
        for (int k = 0; k < m_length; ++k) {
            const std::size_t index = static_cast<size_t>(p + k * phases);
            if (index < taps.size())
                m_phases[p][m_length - 1 - k] = static_cast<float>(taps[index]);
        }
    }
}

void PolyphaseFir::push(float sample)
{
    // Each sample is written at two places, so the newest m_length inputs are always one
    // contiguous run: m_history[m_newest + 1 .. m_newest + m_length].
    m_newest = (m_newest + 1) % m_length;
    m_history[m_newest] = sample;
    m_history[m_newest + m_length] = sample;
}

float PolyphaseFir::output(int phase) const
{
    const float *taps = m_phases[phase].data();
    const float *inputs = m_history.data() + m_newest + 1;
    // Eight running sums rather than one: the additions no longer wait for each other,
    // and the compiler can put the eight in one vector register.
    constexpr int Lanes = 8;
    float sums[Lanes] = {};
    int i = 0;
    for (; i + Lanes <= m_length; i += Lanes)
        for (int lane = 0; lane < Lanes; ++lane)
            sums[lane] += taps[i + lane] * inputs[i + lane];
    float sum = 0.0f;
    for (; i < m_length; ++i)
        sum += taps[i] * inputs[i];
    for (float lane : sums)
        sum += lane;
    return sum;
}

void PolyphaseFir::scalePhase(int phase, double factor)
{
    for (float &tap : m_phases[phase])
        tap = static_cast<float>(tap * factor);
}

double PolyphaseFir::phaseSum(int phase) const
{
    double sum = 0.0;
    for (float tap : m_phases[phase])
        sum += tap;
    return sum;
}

void PolyphaseFir::clear()
{
    std::fill(m_history.begin(), m_history.end(), 0.0f);
    m_newest = 0;
}
