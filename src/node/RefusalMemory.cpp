#include "node/RefusalMemory.h"

RefusalMemory::Entry &RefusalMemory::entry(quint32 address)
{
    const auto found = m_entries.find(address);
    if (found != m_entries.end())
        return *found;
    // The ring's next slot holds the oldest address once the ring is full.
    if (int(m_slots.size()) < Capacity) {
        m_slots.push_back(address);
    } else {
        m_entries.remove(m_slots[m_next]);
        m_slots[m_next] = address;
    }
    Entry &fresh = m_entries[address];
    fresh.slot = m_next;
    m_next = (m_next + 1) % Capacity;
    return fresh;
}

void RefusalMemory::remember(quint32 address, int refusedMs, quint8 tag)
{
    Entry &e = entry(address);
    e.refusedUntil = QDeadlineTimer(refusedMs);
    e.tag = tag;
}

bool RefusalMemory::isRefused(quint32 address) const
{
    const auto found = m_entries.constFind(address);
    return found != m_entries.constEnd() && !found->refusedUntil.hasExpired();
}

quint8 RefusalMemory::tag(quint32 address) const
{
    return isRefused(address) ? m_entries.value(address).tag : 0;
}

bool RefusalMemory::takeAnswer(quint32 address)
{
    Entry &e = entry(address);
    if (e.answered && !e.answerAgainAt.hasExpired())
        return false;
    e.answered = true;
    e.answerAgainAt = QDeadlineTimer(AnswerIntervalMs);
    return true;
}
