// One echolink-node under test: its own configuration home and private session bus, the
// process itself, and the contract called on its bus the way the panel calls it (raw
// messages, each bounded by the contract's 500 ms).
#pragma once

#include "LoopbackBlock.h"
#include "PrivateBus.h"

#include <QDBusMessage>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

class NodeProcess
{
public:
    // name: for the bus connection and the log; block: "127.x.y", the test's addresses;
    // host: the last part of this node's address.
    NodeProcess(const QString &name, const QString &block, int host);
    ~NodeProcess();

    // The configuration of a node in the block, with short retry intervals.
    QMap<QString, QString> standardConfig(const QString &callsign) const;
    // Writes the configuration file (at the default place in the node's configuration
    // home) with these values, readable by the user alone.
    void writeConfig(const QMap<QString, QString> &values);
    QString configPath() const;
    QString configHome() const { return m_home.path(); }

    // Where the node keeps its state (XDG_STATE_HOME): links.log below it.
    QString stateHome() const { return m_home.path() + QStringLiteral("/state"); }
    QString linksLogPath() const { return stateHome() + QStringLiteral("/echolink-node/links.log"); }

    // Nodes run headless (--no-window) unless told to show their window.
    void setWindowed(bool windowed) { m_windowed = windowed; }
    // A variable of the node's environment set (or, with a null value, removed) at start.
    void setEnvironment(const QString &name, const QString &value) { m_environment[name] = value; }
    // Another executable than the build's echolink-node.
    void setProgram(const QString &program) { m_program = program; }
    // Starts the node; with waitForName, waits until it owns the bus name.
    bool start(const QStringList &arguments = {}, bool waitForName = true);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    void sendSignal(int signal) const;
    // Waits for the process to end; its exit status, or -1 when it did not end in time.
    int waitForExit(int timeoutMs);
    // What the node wrote to stderr so far.
    QString output();
    bool waitForOutput(const QString &text, int timeoutMs);
    // Waits until the station list the node fetched last has this many stations.
    bool waitForStations(int count, int timeoutMs);

    PrivateBus &bus() { return m_bus; }
    QString address() const { return m_address; }

    QDBusMessage call(const char *path, const char *interface, const char *method,
                      const QVariantList &arguments = {});
    QDBusMessage connectTo(const QString &call);
    QDBusMessage disconnect(const QString &call);
    bool isConnected(const QString &call);
    QStringList links();
    QString directoryStatus();
    // Polls IsConnected until it answers `linked`; false after timeoutMs.
    bool waitForLinked(const QString &call, bool linked, int timeoutMs);

private:
    QString m_name;
    QString m_block;
    QString m_address;
    QTemporaryDir m_home;
    PrivateBus m_bus;
    QProcess m_process;
    QString m_output;
    bool m_windowed = false;
    QMap<QString, QString> m_environment;
    QString m_program = QStringLiteral(ECHOLINK_NODE_PATH);
};
