// The addresses the node refused lately, so that a caller it refused is not weighed
// again at every packet and is answered at most once a minute. A fixed number of
// addresses is kept; a new one takes the place of the oldest, so the table never stops
// taking new ones however many addresses call.
#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QtGlobal>

#include <vector>

class RefusalMemory
{
public:
    static constexpr int Capacity = 16384;
    static constexpr int AnswerIntervalMs = 60000;

    // Refused until refusedMs from now (a later refusal replaces an earlier one); the
    // tag says why, for the caller to weigh later.
    void remember(quint32 address, int refusedMs, quint8 tag = 0);
    // Whether the address is still refused.
    bool isRefused(quint32 address) const;
    // Why it was refused, while it is.
    quint8 tag(quint32 address) const;
    // Whether the address may be told why now: not told within the last minute. Taking
    // the answer counts it.
    bool takeAnswer(quint32 address);
    int size() const { return int(m_entries.size()); }

private:
    struct Entry
    {
        int slot = 0;
        QDeadlineTimer refusedUntil;
        quint8 tag = 0;
        QDeadlineTimer answerAgainAt{QDeadlineTimer::Forever};
        bool answered = false;
    };
    Entry &entry(quint32 address);

    QHash<quint32, Entry> m_entries;
    std::vector<quint32> m_slots;  // addresses by age, a ring
    int m_next = 0;
};
