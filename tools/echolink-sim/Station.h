// The simulated EchoLink station: its callsign and its links to other nodes, and what
// happens to each link ("linking", "linked", "unlinked"; a failure and its reason).
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class QTimer;

class Station : public QObject
{
    Q_OBJECT

public:
    Station(const QString &callsign, int connectDelayMs, QObject *parent = nullptr);

    QString callsign() const { return m_callsign; }
    void setCallsign(const QString &callsign);

    // Starts linking to the call; the link comes up after the connect delay (at once for 0).
    // The empty call never links.
    void startLink(const QString &call);
    // Drops the link at once, and forgets a link still coming up.
    void drop(const QString &call);
    // The far end links or drops, with no delay.
    void setLinked(const QString &call, bool linked);
    // The link to the call fails for `reason` (a LinkFailed reason): a link coming up or up
    // is let go, and the failure is told.
    void failLink(const QString &call, const QString &reason, const QString &text);

    bool isLinked(const QString &call) const { return m_linked.contains(call); }
    QStringList linkedCalls() const;  // sorted

signals:
    void changed();
    // The call is the text the link was asked for with.
    void linkStateChanged(const QString &call, const QString &state);
    void linkFailed(const QString &call, const QString &reason, const QString &text);

private:
    // Forgets a link coming up; true when there was one.
    bool cancelPending(const QString &call);

    QString m_callsign;
    int m_connectDelayMs;
    QSet<QString> m_linked;
    QHash<QString, QTimer *> m_pending;  // links coming up, by call
};
