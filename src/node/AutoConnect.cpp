#include "node/AutoConnect.h"

#include "node/StationLinks.h"

#include <algorithm>
#include <utility>

AutoConnect::AutoConnect(StationLinks &links, QString call, int firstPauseMs, QObject *parent)
    : QObject(parent), m_links(links), m_call(std::move(call)), m_firstPauseMs(firstPauseMs),
      m_pauseMs(firstPauseMs)
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &AutoConnect::attempt);
    connect(&links, &StationLinks::linkUp, this, &AutoConnect::linkUp);
    connect(&links, &StationLinks::linkEnded, this, &AutoConnect::linkEnded);
}

bool AutoConnect::isTheStation(const QString &callsign, int id) const
{
    bool number = false;
    const int wanted = m_call.toInt(&number);
    return number ? id == wanted : callsign.compare(m_call, Qt::CaseInsensitive) == 0;
}

void AutoConnect::stationListInHand()
{
    if (std::exchange(m_started, true))
        return;
    Q_EMIT logLine(QStringLiteral("AutoConnect: linking with %1").arg(m_call));
    attempt();
}

void AutoConnect::attempt()
{
    if (!m_wanted || m_links.isConnected(m_call))
        return;
    const StationLinks::Answer answer = m_links.connectTo(m_call);
    if (answer.outcome == StationLinks::Outcome::Refused) {
        Q_EMIT logLine(QStringLiteral("AutoConnect: %1").arg(answer.message));
        callLater(m_pauseMs);
        growPause();
    }
    // A call under way reports how it ends through linkUp or linkEnded.
}

void AutoConnect::growPause()
{
    m_pauseMs = std::max(m_firstPauseMs, std::min(m_pauseMs * 2, LongestPauseMs));
}

void AutoConnect::callLater(int pauseMs)
{
    if (m_wanted && !m_retry.isActive())
        m_retry.start(pauseMs);
}

void AutoConnect::linkUp(const QString &callsign, int id)
{
    if (!isTheStation(callsign, id))
        return;
    m_wanted = true;
    m_pauseMs = m_firstPauseMs;
    m_retry.stop();
}

void AutoConnect::linkEnded(const QString &callsign, int id, bool byThisNode, bool wasUp)
{
    if (!m_started || !isTheStation(callsign, id))
        return;
    if (byThisNode) {
        m_wanted = false;
        m_retry.stop();
        Q_EMIT logLine(QStringLiteral("AutoConnect: %1 dropped here; not linking again until it is linked")
                           .arg(callsign));
        return;
    }
    const int pause = m_pauseMs;
    if (!wasUp)
        growPause();
    Q_EMIT logLine(
        QStringLiteral("AutoConnect: linking with %1 again in %2 s").arg(callsign).arg(pause / 1000.0));
    callLater(pause);
}
