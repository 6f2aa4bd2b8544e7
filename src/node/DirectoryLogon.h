// The station's registration with the EchoLink directory, through the library's Directory:
// logs on (online, or busy), lets the library refresh it on the directory's schedule,
// retries with back-off when the directory is down or silent, and logs off, bounded, on quit.
#pragma once

#include "NodeConfig.h"

#include <EchoLinkDirectory.h>

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class DirectoryLogon : public QObject
{
    Q_OBJECT

public:
    DirectoryLogon(const NodeConfig &config, QObject *parent = nullptr);
    ~DirectoryLogon() override;

    // Logs on as online (or busy).
    void start();
    // Online or busy from now on; changes the registration when logged on.
    void setBusy(bool busy);
    // Logs off and waits for the directory's answer, at most timeoutMs.
    void logOff(int timeoutMs);

    bool isLoggedOn() const { return m_loggedOn; }
    // For the bus and the log: online, busy, logging on, or what went wrong.
    QString status() const { return m_status; }

Q_SIGNALS:
    void loggedOn();
    void statusChanged(const QString &status);
    void logLine(const QString &line);

private:
    void logOn();
    void directoryStatusChanged(EchoLink::StationData::Status status);
    void directoryError(const std::string &message);
    void failed(const QString &reason, bool commandEnded);
    void retire(bool finished);
    void setStatus(const QString &status);

    const NodeConfig &m_config;
    std::unique_ptr<EchoLink::Directory> m_directory;
    // Directories given up on while a command was still running: the library cannot
    // destroy one mid-command, so each goes once it reports its command ended.
    QList<EchoLink::Directory *> m_retired;
    QTimer m_retry;
    QTimer m_silence;
    int m_backoff = 1;
    bool m_busy = false;
    bool m_loggedOn = false;
    bool m_errorSeen = false;
    bool m_loggingOff = false;
    QString m_status;
};
