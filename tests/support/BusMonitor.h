// Every call to EchoLink's objects as a bus carries it, with the bus's own time stamp:
// dbus-monitor on the test's session bus or on the bus at an address, read as it goes.
#pragma once

#include <QList>
#include <QProcess>
#include <QString>

class BusMonitor
{
public:
    struct Call
    {
        double time;  // seconds since the epoch
        QString path;
        QString member;
    };

    ~BusMonitor();

    // Starts watching the bus at `address`, the session bus when empty.
    bool start(const QString &address = QString());
    // The calls seen so far, from the first.
    QList<Call> calls();

private:
    QProcess m_process;
    QString m_text;
};
