// The station's links with other EchoLink stations, over the library's Qso: starting
// them from a name in the station list, taking incoming ones by the configured policy and
// only from stations the directory lists at the calling address, and dropping them.
#pragma once

#include "NodeConfig.h"
#include "StationList.h"

#include <AsyncIpAddress.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace EchoLink {
class Qso;
}
class StationAudio;

class StationLinks : public QObject
{
    Q_OBJECT

public:
    StationLinks(const NodeConfig &config, QObject *parent = nullptr);
    ~StationLinks() override;

    // What came of a link request. Started and AlreadyLinked are success.
    enum class Outcome { Started, AlreadyLinked, Refused };
    struct Answer
    {
        Outcome outcome;
        QString errorName;  // D-Bus error name for Refused
        QString message;
    };
    Answer connectTo(const QString &call);
    // True while a link to the station is up; call as a user names it (callsign,
    // conference name or node number), in any letter case.
    bool isConnected(const QString &call) const;
    void disconnect(const QString &call);
    void disconnectAll();
    // Callsigns of the links that are up, sorted.
    QStringList links() const;
    // Sends a line of chat to every link that is up; how many it went to.
    int sendChat(const QString &text);

    // A fresh station list: links waiting for it start, callers waiting for it are
    // taken or refused.
    void setStationList(const StationList &list);
    // No list could be fetched: those waiting for one hear so.
    void stationListFailed(const QString &reason);
    bool hasStationList() const { return m_haveList; }

    // Where the links' audio goes while they are up; null: nowhere.
    void setAudio(StationAudio *audio) { m_audio = audio; }

    // From the library's dispatcher: a station calls in.
    void incomingConnection(const Async::IpAddress &ip, const std::string &callsign,
                            const std::string &name, const std::string &priv);

Q_SIGNALS:
    void linksChanged(const QStringList &links);
    // A linked station's chat line, cleaned and bounded.
    void chatReceived(const QString &callsign, const QString &text);
    // A linked station started or stopped sending audio.
    void talkingChanged(const QString &callsign, bool talking);
    // True when the maximum of links is in use.
    void busyChanged(bool busy);
    // A fresh station list is needed: for a station calling in...
    void stationListWanted();
    // ...or for a link asked for to a station the list in hand lacks.
    void lookupWanted();
    void logLine(const QString &line);

private:
    struct Link
    {
        std::unique_ptr<EchoLink::Qso> qso;
        QString callsign;
        int id = 0;
        bool up = false;
    };

    Link *findLink(const QString &call);
    const Link *findLink(const QString &call) const;
    void startLink(const StationEntry &station);
    Link &addLink(const QHostAddress &address, const StationEntry &station);
    void linkStateChanged(quint32 address, EchoLink::Qso *qso, int state);
    // A caller's callsign and what its station offers (the library's "priv" text: the
    // codecs beyond GSM), which its link uses from the start.
    struct Caller
    {
        QString callsign;
        std::string offers;
    };
    void takeCaller(const QHostAddress &address, const Caller &caller);
    void refuse(const QHostAddress &address, const QString &callsign, const QString &reason,
                bool remember);
    void linkCountChanged();
    void checkSharedAddresses();
    int linkCount() const { return int(m_links.size()); }

    const NodeConfig &m_config;
    StationAudio *m_audio = nullptr;
    StationList m_list;
    bool m_haveList = false;
    std::map<quint32, Link> m_links;            // by the far station's IPv4 address
    std::vector<Link> m_ended;                  // links that ended, until the library returns
    QSet<QString> m_waitingCalls;               // outgoing, not in the list in hand
    QHash<quint32, Caller> m_waitingCallers;    // incoming, not in the list in hand
    QHash<quint32, QDeadlineTimer> m_refused;   // addresses ignored until then
    QList<EchoLink::Qso *> m_refusing;          // refused callers being told why
    QElapsedTimer m_lastCallerFetch;
    QTimer m_sharedAddressCheck;
    bool m_busy = false;
};
