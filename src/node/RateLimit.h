// A token bucket: at most `burst` events at once, refilled at `perSecond` a second.
#pragma once

#include <QElapsedTimer>

class RateLimit
{
public:
    RateLimit(double perSecond, int burst);
    // Whether one more event may happen now; taking it counts it.
    bool take();

private:
    double m_perMs;
    double m_burst;
    double m_tokens;
    QElapsedTimer m_clock;
};
