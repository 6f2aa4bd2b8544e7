#include "node/DropCount.h"

#include <QStringList>

DropCount::DropCount(int summaryMs, QObject *parent) : QObject(parent)
{
    m_summary.setSingleShot(true);
    m_summary.setInterval(summaryMs);
    // A summary that told something starts another minute; a quiet minute ends the watch.
    connect(&m_summary, &QTimer::timeout, this, [this] {
        if (summarise())
            m_summary.start();
    });
}

void DropCount::drop(Why why)
{
    ++m_counts[why];
    ++m_total;
    // The first drop after a quiet spell is told at once; the rest wait for the summary.
    if (!m_summary.isActive()) {
        summarise();
        m_summary.start();
    }
}

bool DropCount::summarise()
{
    static constexpr const char *Names[Count] = {"malformed", "from stations not linked",
                                                 "from a port the link does not use"};
    QStringList parts;
    quint64 all = 0;
    for (int i = 0; i < Count; ++i) {
        if (m_counts[i] > 0)
            parts << QStringLiteral("%1 %2").arg(m_counts[i]).arg(QLatin1String(Names[i]));
        all += m_counts[i];
    }
    m_counts.fill(0);
    if (all == 0)
        return false;
    Q_EMIT logLine(QStringLiteral("dropped %1 datagram%2: %3")
                       .arg(all)
                       .arg(QLatin1String(all == 1 ? "" : "s"), parts.join(QStringLiteral(", "))));
    return true;
}
