// The station's registration with the EchoLink directory, over TCP port 5200 (a plain
// connection, or the tunnel of an EchoLink proxy, as the route gives it): logs on
// (online, or busy), registers again every five minutes as the directory expects, and
// logs off, bounded, on quit. One attempt tries the configured servers in order; when
// none answers it tries again with back-off. A log-on the directory refuses (callsign or
// password) is not retried at that pace: it waits for retryNow() (the configuration was
// edited) or half an hour.
#pragma once

#include "node/NodeConfig.h"
#include "node/protocol/DirectoryCommand.h"
#include "node/protocol/DirectoryStream.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class DirectoryRoute;

class DirectoryLogon : public QObject
{
    Q_OBJECT

public:
    // The directory drops a station it has not heard from for a while; this often the
    // registration is sent again.
    static constexpr int RefreshMs = 5 * 60 * 1000;
    // A refused log-on is tried again after this long even when nothing changed.
    static constexpr int RefusedRetryMs = 30 * 60 * 1000;

    // Reads the callsign, password, description, servers and intervals from config
    // whenever it sends a command; reaches the servers through route.
    DirectoryLogon(const NodeConfig &config, DirectoryRoute &route, QObject *parent = nullptr);
    ~DirectoryLogon() override;

    // Logs on as online (or busy).
    void start();
    // Online or busy from now on; changes the registration when logged on.
    void setBusy(bool busy);
    // After a refusal: logs on again now (with the configuration's present values).
    void retryNow();
    // The way to the directory is gone for now (the proxy went away): drops the command
    // under way, stops registering and shows why, until start().
    void suspend(const QString &reason);
    // Logs off and waits for the directory's answer, at most timeoutMs.
    void logOff(int timeoutMs);

    bool isLoggedOn() const { return m_loggedOn; }
    bool isRefused() const { return m_refused; }
    // For the bus and the log: online, busy, logging on, or what went wrong.
    QString status() const { return m_status; }

Q_SIGNALS:
    void loggedOn();
    void statusChanged(const QString &status);
    void logLine(const QString &line);

private:
    enum class Command { Online, Busy, Offline };

    void logOn();
    void send(Command command);
    void trySending();
    void connected();
    void received(bool ended);
    void serverFailed(const QString &reason);
    void answered(const DirectoryCommand::Reply &reply);
    void failed(const QString &reason);
    void refused(const QString &answer);
    void dropSocket();
    void setStatus(const QString &status);

    const NodeConfig &m_config;
    DirectoryRoute &m_route;
    QPointer<DirectoryStream> m_socket;  // the command under way, if any
    QByteArray m_reply;
    Command m_command = Command::Online;
    int m_server = 0;
    QTimer m_deadline;  // one per command and server
    QTimer m_retry;
    QTimer m_refresh;
    int m_backoff = 1;
    bool m_busy = false;
    bool m_loggedOn = false;
    bool m_refused = false;
    bool m_loggingOff = false;
    QString m_status;
};
