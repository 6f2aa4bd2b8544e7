// The EchoLink stand-in, started as a real process on the test's private bus, and its
// control object.
#pragma once

#include "automation/StationListEntry.h"

#include <QDBusMessage>
#include <QProcess>
#include <QStringList>
#include <QVariantList>

class SimProcess
{
public:
    SimProcess() = default;
    ~SimProcess();

    // Starts echolink-sim (without window, links coming up at once unless the arguments
    // say otherwise) and waits until it owns the EchoLink bus name. False when it did not.
    bool start(const QStringList &arguments = {});
    // Asks it to quit and waits for the process to end.
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QProcess &process() { return m_process; }

    // Calls a member of the control object; the answer (an error message on failure).
    QDBusMessage control(const QString &method, const QVariantList &arguments = {}) const;
    QStringList calls() const;
    void clearCalls() const { control(QStringLiteral("ClearCalls")); }
    void setLinked(const QString &call, bool linked) const;
    // The station list its /Station object answers with.
    void setStations(const StationListEntries &stations) const;
    // The link to `call` fails: LinkFailed(call, reason, text) on /Station.
    void failLink(const QString &call, const QString &reason, const QString &text = QString()) const;

    static bool serviceRegistered();

private:
    QProcess m_process;
};
