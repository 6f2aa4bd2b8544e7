#include "node/RateLimit.h"

#include <algorithm>

RateLimit::RateLimit(double perSecond, int burst)
    : m_perMs(perSecond / 1000.0), m_burst(burst), m_tokens(burst)
{
    m_clock.start();
}

bool RateLimit::take()
{
    m_tokens = std::min(m_burst, m_tokens + double(m_clock.restart()) * m_perMs);
    if (m_tokens < 1.0)
        return false;
    m_tokens -= 1.0;
    return true;
}
