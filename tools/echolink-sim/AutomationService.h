// Serves EchoLink's automation objects on the bus (through the shared contract server) and
// lets the control object misbehave them on purpose: failing calls, holding calls
// unanswered, answering late, raising Closing.
#pragma once

#include "automation/ContractServer.h"

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class Station;

class AutomationService : public QObject, private ContractStation
{
    Q_OBJECT

public:
    AutomationService(Station &station, const QDBusConnection &bus, QObject *parent = nullptr);

    // Puts /EchoLink and, unless left out, /SetupConfig and /SysopConfig on the bus.
    // Returns false when a path cannot be registered.
    bool registerObjects(bool withSetupConfig, bool withSysopConfig)
    {
        return m_contract.registerObjects(withSetupConfig, withSysopConfig);
    }
    // Owns the contract's bus name. Empty on success, else why not.
    QString ownName() { return m_contract.ownName(); }

    QStringList calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    // The next n automation calls succeed; every one after fails until heal().
    void failAfter(int n);
    void heal() { m_successesLeft = -1; }
    // Automation calls received in the next ms milliseconds are answered only then.
    void hangFor(int ms);
    // Every automation call is answered ms milliseconds after it arrived, each on its own
    // timer, so calls do not queue behind one another; 0 answers at once again.
    void setReplyDelay(int ms) { m_replyDelayMs = qMax(0, ms); }
    // Raises Closing on /EchoLink once, then quits.
    void raiseClosingAndQuit() { m_contract.closeAndQuit(); }
    // Quits as soon as everything already sent has reached the bus.
    void quitSoon() { m_contract.quitSoon(); }

private:
    struct HeldCall
    {
        ContractServer::Call call;
        bool fail;
    };

    // Takes a call of the contract: logs it, and answers it now or holds it back.
    void receive(const ContractServer::Call &call);
    void answer(const HeldCall &held);
    Refusal connectTo(const QString &call) override;
    void disconnect(const QString &call) override;
    bool isConnected(const QString &call) const override;
    QString callsign() const override;
    void releaseHeld();

    Station &m_station;
    ContractServer m_contract;
    QStringList m_calls;
    int m_successesLeft = -1;  // -1: no failure planned
    int m_replyDelayMs = 0;
    QDeadlineTimer m_hangUntil;
    QTimer m_hangTimer;
    QList<HeldCall> m_held;  // calls received during a hang, in order
};
