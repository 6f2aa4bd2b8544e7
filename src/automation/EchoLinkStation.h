// The extras an EchoLink may offer on /Station beside the contract: the station list in
// hand and what happens to each link. An older EchoLink has no such object; nothing here
// waits for it or needs it: the list is asked without waiting, and the signals simply
// never come.
//
// The signals are subscribed with EchoLink's bus name, so only its current owner can
// raise them; the same signal from any other sender is dropped by the bus library. Their
// texts are cut to a bounded length before they are handed on.
#pragma once

#include "automation/StationListEntry.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>

class EchoLinkStation : public QObject
{
    Q_OBJECT
public:
    // Longest texts handed on from a signal: a call (as long as a stored one may usefully
    // be), a reason, and the far station's words.
    static constexpr int MaxCallLength = 4096;
    static constexpr int MaxReasonLength = 64;
    static constexpr int MaxTextLength = 1024;

    explicit EchoLinkStation(const QDBusConnection &bus, QObject *parent = nullptr);
    // Ends the subscriptions: no signal arrives after this.
    ~EchoLinkStation() override;

    // Asks for the station list, sent without waiting; a call not answered within
    // `timeoutMs` finishes with an error answer.
    QDBusPendingCall Stations(int timeoutMs) const;
    // The list in a finished Stations answer (bounded, see readStationList); throws
    // AutomationError for an error answer or one that carries no such list.
    static StationListEntries stationsIn(const QDBusPendingCall &stations);

Q_SIGNALS:
    // The call is exactly the text the link was asked for with.
    void LinkFailed(const QString &call, const QString &reason, const QString &text);
    void LinkStateChanged(const QString &call, const QString &state);

private Q_SLOTS:
    void onLinkFailed(const QString &call, const QString &reason, const QString &text);
    void onLinkStateChanged(const QString &call, const QString &state);

private:
    void subscribe(bool on);

    QDBusConnection m_bus;
};
