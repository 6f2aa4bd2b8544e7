#include "node/audio/JitterTarget.h"

#include <algorithm>

void JitterTarget::spurtStarted()
{
    m_count = 0;
    m_next = 0;
    arrived(0.0);  // the first packet defines the schedule
}

void JitterTarget::arrived(double deviationMs)
{
    m_deviations[m_next] = deviationMs;
    m_next = (m_next + 1) % Window;
    m_count = std::min(m_count + 1, Window);

    const double needed = std::min(windowSpread() + MarginMs, MostMs);
    if (needed > m_holdMs)
        m_holdMs = needed;
    else
        m_holdMs -= (m_holdMs - needed) * ShrinkPerPacket;
}

void JitterTarget::underrun(double lateMs, double heldMs)
{
    m_holdMs = std::max(m_holdMs, std::min(heldMs + std::max(lateMs, 0.0) + MarginMs, MostMs));
}

double JitterTarget::windowSpread() const
{
    const auto [low, high] = std::minmax_element(m_deviations.begin(), m_deviations.begin() + m_count);
    return *high - *low;
}
