// A session bus of its own for one server under test: a dbus-daemon started for it and
// a connection of the test's to that bus.
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

class PrivateBus
{
public:
    explicit PrivateBus(const QString &connectionName);
    ~PrivateBus();

    // Starts the daemon and connects; false when either failed.
    bool start();
    QString address() const { return m_address; }
    QDBusConnection connection() const;
    // True when the contract's bus name has an owner on this bus.
    bool serviceOwned() const;

private:
    QString m_name;
    QString m_address;
    QProcess m_daemon;
};
