// Lines of chat seen lately, so that a line that comes round again (conferences linked in
// a ring pass every line on) is passed on once only. A fixed number of lines is kept, by a
// hash of their text; a new line takes the place of the oldest, so however much chat
// arrives the memory stays the same size.
#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QString>

#include <vector>

class RecentLines
{
public:
    static constexpr int Capacity = 2048;

    explicit RecentLines(int memoryMs);
    // True when the line was not seen within the last memoryMs; either way it counts as
    // seen now.
    bool firstSight(const QString &line);

private:
    int m_memoryMs;
    size_t m_seed;
    QHash<size_t, QDeadlineTimer> m_seen;  // by the line's hash: until when it counts as seen
    std::vector<size_t> m_order;           // the hashes by age, a ring
    size_t m_next = 0;
};
