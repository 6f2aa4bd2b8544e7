#include "node/RecentLines.h"

#include <QRandomGenerator>

RecentLines::RecentLines(int memoryMs)
    : m_memoryMs(memoryMs), m_seed(size_t(QRandomGenerator::global()->generate64()))
{
    m_order.reserve(Capacity);
}

bool RecentLines::firstSight(const QString &line)
{
    const size_t key = qHash(line, m_seed);
    const auto found = m_seen.find(key);
    if (found != m_seen.end()) {
        const bool expired = found->hasExpired();
        *found = QDeadlineTimer(m_memoryMs);
        return expired;
    }
    // The ring's next slot holds the oldest line once the ring is full.
    if (m_order.size() < size_t(Capacity)) {
        m_order.push_back(key);
    } else {
        m_seen.remove(m_order[m_next]);
        m_order[m_next] = key;
    }
    m_next = (m_next + 1) % Capacity;
    m_seen.insert(key, QDeadlineTimer(m_memoryMs));
    return true;
}
