// [Links] AutoConnect: the station the node keeps a link with. It is called once the
// station list is in hand, again after pauses that double (up to LongestPauseMs) while
// calls fail, and again after the far end ends the link. The node's own drop (the
// operator's, or an idle link's) stops the calls until a link with the station is up again.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class StationLinks;

class AutoConnect : public QObject
{
    Q_OBJECT

public:
    static constexpr int LongestPauseMs = 5 * 60 * 1000;

    // call: as the configuration names the station (callsign, conference or node number).
    AutoConnect(StationLinks &links, QString call, int firstPauseMs, QObject *parent = nullptr);

    // A station list arrived: the first one starts the calls.
    void stationListInHand();

Q_SIGNALS:
    void logLine(const QString &line);

private:
    bool isTheStation(const QString &callsign, int id) const;
    void attempt();
    void callLater(int pauseMs);
    void growPause();
    void linkUp(const QString &callsign, int id);
    void linkEnded(const QString &callsign, int id, bool byThisNode, bool wasUp);

    StationLinks &m_links;
    const QString m_call;
    const int m_firstPauseMs;
    int m_pauseMs;
    bool m_started = false;
    bool m_wanted = true;  // false after the node's own drop
    QTimer m_retry;
};
