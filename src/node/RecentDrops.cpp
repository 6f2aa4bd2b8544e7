#include "node/RecentDrops.h"

#include <algorithm>

void RecentDrops::forgetOld()
{
    m_drops.removeIf([](const auto &entry) { return entry.value().hasExpired(HoldMs); });
    // Still full (that many drops within HoldMs): the oldest gives way.
    while (m_drops.size() >= Capacity) {
        const auto oldest = std::max_element(
            m_drops.begin(), m_drops.end(),
            [](const QElapsedTimer &a, const QElapsedTimer &b) { return a.elapsed() < b.elapsed(); });
        m_drops.erase(oldest);
    }
}

void RecentDrops::dropped(quint32 address)
{
    forgetOld();
    m_drops[address].start();
}

int RecentDrops::retryDelayMs(quint32 address, qint64 callAgeMs) const
{
    const auto found = m_drops.constFind(address);
    if (found == m_drops.constEnd() || callAgeMs > QuickRefusalMs)
        return -1;
    const qint64 sinceDrop = found->elapsed();
    if (sinceDrop - callAgeMs >= HoldMs)  // the call came after the hold was over
        return -1;
    return int(std::max<qint64>(0, HoldMs - sinceDrop));
}
