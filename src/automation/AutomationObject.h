// A reference to one of EchoLink's automation objects on the session bus.
//
// Creating one proves that the object is there: it asks the object to describe itself,
// bounded by the call time-out, and requires the expected interface in the answer. Every
// call is one synchronous bus call, bounded the same way, that throws AutomationError on
// any failure. No QDBusInterface is used: its constructor can block for 25 s on a hung
// server.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>

class AutomationObject {
public:
    AutomationObject(const QDBusConnection &bus, const QString &path, const QString &interface);
    virtual ~AutomationObject() = default;

    AutomationObject(const AutomationObject &) = delete;
    AutomationObject &operator=(const AutomationObject &) = delete;

    // Calls one member and returns the answer; throws AutomationError on an error answer,
    // a missing service or no answer within the time-out.
    QDBusMessage call(const QString &method, const QVariantList &arguments = {}) const;

    QDBusConnection bus() const { return m_bus; }
    const QString &path() const { return m_path; }
    const QString &interface() const { return m_interface; }

private:
    QDBusMessage send(const QDBusMessage &message) const;

    QDBusConnection m_bus;
    QString m_path;
    QString m_interface;
};

// The first argument of the answer to `what`, as T; throws when the answer carries none
// of that type.
template <typename T>
T firstArgument(const QDBusMessage &reply, const QString &what);
