// The station's links with other EchoLink stations: starting them from a name in the
// station list, taking incoming ones by the configured policy and only from stations the
// directory lists at the calling address, and dropping them. Every datagram from the
// transport is parsed here, bounded, and handed to the link of its address; what fits no
// link is dropped and counted.
#pragma once

#include "node/ChatRelay.h"
#include "node/DropCount.h"
#include "node/InfoList.h"
#include "node/NodeConfig.h"
#include "node/RateLimit.h"
#include "node/RecentDrops.h"
#include "node/RefusalMemory.h"
#include "node/SharedEncoding.h"
#include "node/StationList.h"
#include "node/protocol/StationLink.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>

class LinkAudio;
class LinksLog;
class StationAudio;
class Transport;

class StationLinks : public QObject
{
    Q_OBJECT

public:
    StationLinks(const NodeConfig &config, Transport &transport, QObject *parent = nullptr);
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
    // The far addresses of every link, up or being made.
    QList<QHostAddress> linkAddresses() const;
    // The last information text the linked station with this callsign sent, line by line.
    QString infoText(const QString &callsign) const;
    // Sends a line of chat to every link that is up; how many it went to.
    int sendChat(const QString &text);
    // Whether the operator's line of chat may go out now: it shares the outgoing chat rate
    // with the lines passed on between linked stations.
    bool takeChatTurn(const QString &text) { return m_chat.takeOwn(m_config.callsign, text); }

    // A fresh station list: links waiting for it start, callers waiting for it are
    // taken or refused.
    void setStationList(const StationList &list);
    // No list could be fetched: those waiting for one hear so.
    void stationListFailed(const QString &reason);
    bool hasStationList() const { return m_haveList; }
    const StationList &stationList() const { return m_list; }

    // The operator's busy state: callers are told the node is busy and refused, and the
    // directory lists the node as busy (as it does while every link is in use).
    void setOperatorBusy(bool busy);
    bool isOperatorBusy() const { return m_operatorBusy; }
    // A far station's goodbye this soon after the link came up refuses the link rather
    // than dropping it.
    static constexpr int RefusedWithinMs = 2000;

    // Where the links' audio goes while they are up; null: nowhere.
    void setAudio(StationAudio *audio) { m_audio = audio; }
    // Where each link that was up is recorded as it ends; null: nowhere.
    void setLinksLog(const LinksLog *log) { m_linksLog = log; }
    // Datagrams dropped so far.
    const DropCount &drops() const { return m_drops; }

Q_SIGNALS:
    void linksChanged(const QStringList &links);
    // A linked station's chat line, cleaned and bounded.
    void chatReceived(const QString &callsign, const QString &text);
    // A linked station started or stopped sending audio.
    void talkingChanged(const QString &callsign, bool talking);
    // True when the maximum of links is in use.
    void busyChanged(bool busy);
    // What happens to each link, named by the text Connect was given for it (a caller's
    // link by its callsign): linking, linked, unlinked (Automation's state names)...
    void callStateChanged(const QString &call, const QString &state);
    // ...and why one failed: not-found, no-answer, refused or dropped, with the last
    // information or chat text the station sent.
    void linkFailed(const QString &call, const QString &reason, const QString &text);
    // A linked station sent its information text.
    void infoReceived(const QString &callsign, const QString &text);
    // A fresh station list is needed: for a station calling in...
    void stationListWanted();
    // ...or for a link asked for to a station the list in hand lacks.
    void lookupWanted();
    void logLine(const QString &line);
    // A link came up, whichever end started it.
    void linkUp(const QString &callsign, int id);
    // A link ended or a call failed; byThisNode: this node dropped it (the operator, the
    // idle time-out, quitting), not the far station nor the network.
    void linkEnded(const QString &callsign, int id, bool byThisNode, bool wasUp);

private:
    struct Link
    {
        std::unique_ptr<StationLink> link;
        std::unique_ptr<LinkAudio> audio;
        QString callsign;
        QString call;      // as Connect was given it; the callsign for a caller
        QString lastText;  // the last information or chat text the station sent
        QString info;      // the last information text, line by line
        QElapsedTimer upFor;  // how long the link has been up
        int id = 0;
        bool up = false;
        bool incoming = false;  // the far station called
        QDateTime upSince;
        QElapsedTimer toldOthers;  // when a second station at the address was last told
        QElapsedTimer calledAt;    // when this node called; invalid for a link that called in
        bool secondTry = false;    // the one more call after a refusal right after a drop
    };
    // A caller, while the node waits for a fresh list to decide.
    struct Caller
    {
        QString callsign;
        quint16 port = 0;
        ControlPacket opening;
    };
    // Why a caller was refused: how long the address is remembered depends on it.
    enum class Refusal : quint8 { Policy = 1, NotListed, OtherAddress, Busy, Unconfirmed };

    void controlReceived(const QHostAddress &from, quint16 port, const QByteArray &datagram);
    void audioReceived(const QHostAddress &from, quint16 port, const QByteArray &datagram);
    void callerHeard(const QHostAddress &address, quint16 port, const ControlPacket &sdes);
    void takeCaller(const QHostAddress &address, const Caller &caller);
    void refuse(const QHostAddress &address, const QString &callsign, Refusal why);

    Link *findLink(const QString &call);
    const Link *findLink(const QString &call) const;
    Link &startLink(const StationEntry &station, const QString &call);
    // Says how a link ended: unlinked, and why when this station did not end it.
    void reportEnd(const QString &call, const QString &lastText, StationLink::End end, bool soon);
    Link &addLink(const QHostAddress &address, const StationEntry &station);
    void linkStateChanged(quint32 address, StationLink *link, StationLink::State state);
    void farText(quint32 address, const char *kind, const QByteArray &text);
    void otherStationHeard(quint32 address, const QByteArray &callsign);
    void linkCountChanged();
    void relayChat(quint32 from, const QString &line);
    void sendInfoToAll(const QByteArray &text);
    void dropIdleLinks();
    // A call refused right after a drop: the station is called once more after the hold.
    bool relinkLater(quint32 address, const Link &link);
    void recordEnded(const Link &link);
    int linkCount() const { return int(m_links.size()); }

    const NodeConfig &m_config;
    Transport &m_transport;
    StationAudio *m_audio = nullptr;
    const LinksLog *m_linksLog = nullptr;
    SharedEncoding m_encoding;  // outlives the links' audio
    StationList m_list;
    bool m_haveList = false;
    std::map<quint32, Link> m_links;          // by the far station's IPv4 address
    QHash<QString, QString> m_waitingCalls;   // outgoing, not in the list in hand: as asked, by upper case
    QHash<quint32, Caller> m_waitingCallers;  // incoming, not in the list in hand
    RefusalMemory m_refused;
    QElapsedTimer m_lastCallerFetch;
    DropCount m_drops;
    RateLimit m_chatLog{1.0, 10};  // received chat logged: 10 lines per 10 s
    RateLimit m_relayLog{0.1, 1};  // chat not passed on for the rate: logged once in 10 s
    bool m_busy = false;
    ChatRelay m_chat;
    InfoList m_info;
    RecentDrops m_recentDrops;
    QSet<QString> m_relinks;  // callsigns (upper case) waiting for their one more call
    QTimer m_idleCheck;
    bool m_operatorBusy = false;
};
