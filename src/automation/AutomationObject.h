// A reference to one of EchoLink's automation objects on the session bus.
//
// Creating one proves that the object is there: it asks the object to describe itself,
// bounded by the call time-out, and requires the expected interface in the answer. Calls
// go out as raw bus messages, either waiting for the answer (start-up only) or sent
// without waiting, the answer arriving later through the event loop. No QDBusInterface is
// used: its constructor can block for 25 s on a hung server.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QString>
#include <QVariantList>

class AutomationObject
{
public:
    AutomationObject(const QDBusConnection &bus, const QString &path, const QString &interface);
    virtual ~AutomationObject() = default;

    AutomationObject(const AutomationObject &) = delete;
    AutomationObject &operator=(const AutomationObject &) = delete;

    // Calls one member and waits for the answer, at most the call time-out; throws
    // AutomationError on an error answer, a missing service or no answer in time.
    QDBusMessage call(const QString &method, const QVariantList &arguments = {}) const;
    // Sends one call and returns at once. The bus library turns a missing answer into an
    // error answer after `timeoutMs`.
    QDBusPendingCall callAsync(const QString &method, const QVariantList &arguments, int timeoutMs) const;

    QDBusConnection bus() const { return m_bus; }
    const QString &path() const { return m_path; }
    const QString &interface() const { return m_interface; }

    // The answer of a finished call; throws AutomationError when it is an error answer.
    static QDBusMessage answerOf(const QDBusPendingCall &call);

private:
    QDBusMessage message(const QString &method, const QVariantList &arguments) const;
    QDBusMessage send(const QDBusMessage &message) const;

    QDBusConnection m_bus;
    QString m_path;
    QString m_interface;
};

// The first argument of the answer to `what`, as T; throws when the answer carries none
// of that type.
template <typename T> T firstArgument(const QDBusMessage &reply, const QString &what);
