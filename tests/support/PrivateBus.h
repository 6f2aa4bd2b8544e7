// A session bus of the test's own: a dbus-daemon started as the test's child, quiet, in
// the test's process group and told to end when the test does, so it never outlives it.
// One is the session bus of every test executable (TestEnvironment); a node under test
// gets another of its own, reached through a named connection.
//
// Its configuration is its own, not the system's session.conf: no standard service
// directories, so a program installed on the machine (an EchoLink service file in
// /usr/share or the user's data home) is never started by a test's call. A test that
// wants activation names a service directory of its own.
#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QString>

class PrivateBus
{
public:
    // connectionName: the name of the test's connection to this bus (connection()); a bus
    // that the test only hands on to the processes it starts needs none.
    explicit PrivateBus(const QString &connectionName = QString());
    ~PrivateBus();

    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Before start(): the one folder of service files the bus may start programs from
    // (none by default), and a socket file to listen on (by default an abstract socket).
    void setServiceDirectory(const QString &directory) { m_serviceDirectory = directory; }
    void setSocketPath(const QString &path) { m_socketPath = path; }

    // Starts the daemon and waits for its address; false when it did not start. Safe
    // before the application object exists.
    bool start();
    // Asks the daemon to end and waits for it, killing it if it does not end in time.
    void stop();
    QString address() const { return m_address; }

    QDBusConnection connection() const;
    // True when the contract's bus name has an owner on this bus.
    bool serviceOwned() const;

    // The daemon's configuration for these choices.
    static QByteArray configuration(const QString &serviceDirectory, const QString &socketPath);

private:
    QString m_name;
    QString m_serviceDirectory;
    QString m_socketPath;
    QString m_address;
    long m_pid = 0;
};
