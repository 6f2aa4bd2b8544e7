// The three EchoLink objects the panel uses: the main object with its link operations and
// Closing event, the station set-up with the callsign, and the sysop set-up, which is
// held but never called.
#pragma once

#include "automation/AutomationObject.h"

#include <QObject>

// The bus library times a call out with a coarse timer, up to 5 % early. Where a call
// time-out must hold, the caller keeps it with a precise timer of its own and gives the
// bus this longer one, which only lets go of calls no longer of use.
constexpr int busTimeoutFor(int timeoutMs)
{
    return timeoutMs * 6 / 5;
}

class EchoLinkApplication : public QObject, public AutomationObject
{
    Q_OBJECT
public:
    // Attaches to EchoLink's main object and subscribes to its Closing event. Only the
    // current owner of EchoLink's bus name can raise it; the same signal from any other
    // sender is dropped by the bus library. Throws AutomationError when the object does
    // not answer. The loss of the bus itself (EchoLink's machine or the forwarded
    // connection to it gone) is told as BusLost.
    explicit EchoLinkApplication(const QDBusConnection &bus, QObject *parent = nullptr);
    // Ends the subscription: no Closing arrives after this.
    ~EchoLinkApplication() override;

    // The link operations, sent without waiting. A call not answered within `timeoutMs`
    // finishes with an error answer.
    QDBusPendingCall Connect(const QString &node, qint32 mode, int timeoutMs) const;
    QDBusPendingCall Disconnect(const QString &node, int timeoutMs) const;
    QDBusPendingCall IsConnected(const QString &node, int timeoutMs) const;

    // The answer to a finished IsConnected; throws AutomationError for an error answer
    // or one that carries no Boolean.
    static bool linkedIn(const QDBusPendingCall &isConnected);

Q_SIGNALS:
    void Closing();
    void BusLost();

private Q_SLOTS:
    void onClosing();
    void onDisconnected();
};

class EchoLinkSetupConfig : public AutomationObject
{
public:
    explicit EchoLinkSetupConfig(const QDBusConnection &bus);
    // The station's callsign as configured, possibly followed by "-" and a suffix.
    QString Callsign() const;
};

class EchoLinkSysopConfig : public AutomationObject
{
public:
    explicit EchoLinkSysopConfig(const QDBusConnection &bus);
};
