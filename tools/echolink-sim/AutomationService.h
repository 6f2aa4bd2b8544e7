// Serves EchoLink's automation objects on the bus and lets the control object misbehave
// them on purpose: failing calls, holding calls unanswered, raising Closing.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class AutomationService;
class Station;

// One automation object (/EchoLink, /SetupConfig or /SysopConfig). It answers nothing
// itself: every message goes to the service, which may fail it or hold it back.
class ServedObject : public QDBusVirtualObject
{
public:
    ServedObject(AutomationService &service, const QString &interfaceName,
                 const QString &membersXml, QObject *parent);

    QString interfaceName() const { return m_interfaceName; }
    // The whole introspection document of the object.
    QString introspectionXml() const;

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    QString interfaceXml() const;

    AutomationService &m_service;
    QString m_interfaceName;
    QString m_membersXml;
};

class AutomationService : public QObject
{
    Q_OBJECT

public:
    AutomationService(Station &station, const QDBusConnection &bus, QObject *parent = nullptr);

    // Puts /EchoLink and, unless left out, /SetupConfig and /SysopConfig on the bus.
    // Returns false when a path cannot be registered.
    bool registerObjects(bool withSetupConfig, bool withSysopConfig);

    // Takes a message addressed to an automation object. Returns false for messages the
    // object leaves to QtDBus (standard interfaces other than Introspectable).
    bool receive(const ServedObject &object, const QDBusMessage &message);

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
    void raiseClosingAndQuit();
    // Quits as soon as everything already sent has reached the bus.
    void quitSoon();

private:
    struct HeldCall
    {
        QDBusMessage message;
        const ServedObject *object;
        bool fail;
    };

    void answer(const HeldCall &call);
    QDBusMessage carryOut(const ServedObject &object, const QDBusMessage &message);
    void releaseHeld();

    Station &m_station;
    QDBusConnection m_bus;
    QStringList m_calls;
    int m_successesLeft = -1;  // -1: no failure planned
    int m_replyDelayMs = 0;
    QDeadlineTimer m_hangUntil;
    QTimer m_hangTimer;
    QList<HeldCall> m_held;  // calls received during a hang, in order
    bool m_closing = false;
    bool m_quitting = false;
};
