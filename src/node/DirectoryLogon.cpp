#include "DirectoryLogon.h"

#include "AsyncAddress.h"
#include "FarText.h"

#include <QEventLoop>

#include <string>
#include <vector>

namespace {
constexpr int MaxBackoff = 32;  // the retry interval grows to this many times the first
}

DirectoryLogon::DirectoryLogon(const NodeConfig &config, QObject *parent)
    : QObject(parent), m_config(config), m_status(QStringLiteral("offline"))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &DirectoryLogon::logOn);
    m_silence.setSingleShot(true);
    m_silence.setInterval(config.directoryTimeoutMs);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        failed(QStringLiteral("the directory did not answer within %1 ms")
                   .arg(m_config.directoryTimeoutMs),
               false);
    });
}

DirectoryLogon::~DirectoryLogon()
{
    // The library cannot destroy a directory connection in the middle of a command; at
    // the end of the process such a one (and every retired one) is simply left behind.
    if (m_silence.isActive())
        (void)m_directory.release();
}

void DirectoryLogon::start()
{
    m_backoff = 1;
    logOn();
}

void DirectoryLogon::logOn()
{
    if (m_loggingOff)
        return;
    std::vector<std::string> servers;
    for (const QString &server : m_config.directoryServers)
        servers.push_back(server.toStdString());
    m_directory = std::make_unique<EchoLink::Directory>(
        servers, m_config.callsign.toStdString(), m_config.password.toStdString(),
        m_config.directoryDescription().toStdString(),
        toAsyncAddress(m_config.bindAddress));
    m_directory->statusChanged.connect(
        sigc::mem_fun(*this, &DirectoryLogon::directoryStatusChanged));
    m_directory->error.connect(sigc::mem_fun(*this, &DirectoryLogon::directoryError));
    m_errorSeen = false;
    setStatus(QStringLiteral("logging on"));
    m_silence.start();
    if (m_busy)
        m_directory->makeBusy();
    else
        m_directory->makeOnline();
}

void DirectoryLogon::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (!m_loggedOn)
        return;
    m_silence.start();
    if (busy)
        m_directory->makeBusy();
    else
        m_directory->makeOnline();
}

void DirectoryLogon::directoryStatusChanged(EchoLink::StationData::Status status)
{
    switch (status) {
    case EchoLink::StationData::STAT_ONLINE:
    case EchoLink::StationData::STAT_BUSY: {
        m_silence.stop();
        m_backoff = 1;
        const bool first = !m_loggedOn;
        m_loggedOn = true;
        setStatus(status == EchoLink::StationData::STAT_BUSY ? QStringLiteral("busy")
                                                              : QStringLiteral("online"));
        if (first)
            Q_EMIT loggedOn();
        return;
    }
    case EchoLink::StationData::STAT_OFFLINE:
        m_silence.stop();
        m_loggedOn = false;
        setStatus(QStringLiteral("offline"));
        return;
    case EchoLink::StationData::STAT_UNKNOWN:
        // The library reports a refused log-on only as an unknown status, without an
        // error; a connection that failed reports its error first.
        if (!m_errorSeen)
            failed(QStringLiteral("the directory refused the log-on: check Callsign and "
                                  "Password in the [Station] section"),
                   true);
        return;
    }
}

void DirectoryLogon::directoryError(const std::string &message)
{
    m_errorSeen = true;
    failed(FarText::clean(message).trimmed(), true);
}

void DirectoryLogon::failed(const QString &reason, bool commandEnded)
{
    m_loggedOn = false;
    m_silence.stop();
    retire(commandEnded);
    if (m_loggingOff) {
        setStatus(reason);
        return;
    }
    const int waitMs = m_config.directoryRetryMs * m_backoff;
    m_backoff = qMin(m_backoff * 2, MaxBackoff);
    setStatus(QStringLiteral("%1; trying again in %2 s").arg(reason).arg((waitMs + 999) / 1000));
    m_retry.start(waitMs);
}

void DirectoryLogon::retire(bool finished)
{
    if (!m_directory)
        return;
    EchoLink::Directory *directory = m_directory.release();
    directory->statusChanged.clear();
    directory->error.clear();
    // Called from inside the directory's own signal: it goes once that has returned.
    auto dispose = [this, directory] {
        QTimer::singleShot(0, this, [this, directory] {
            m_retired.removeOne(directory);
            delete directory;
        });
    };
    m_retired.append(directory);
    if (finished) {
        dispose();
        return;
    }
    // Still waiting for a silent directory: it goes when its own time-out ends the command.
    directory->error.connect([dispose](const std::string &) { dispose(); });
}

void DirectoryLogon::logOff(int timeoutMs)
{
    m_retry.stop();
    m_loggingOff = true;
    if (!m_directory || !m_loggedOn)
        return;
    QEventLoop wait;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
    const QMetaObject::Connection ended = connect(this, &DirectoryLogon::statusChanged, &wait,
        [&wait, this] {
            if (!m_loggedOn)
                wait.quit();
        });
    m_directory->makeOffline();
    m_silence.start();
    limit.start(timeoutMs);
    wait.exec();
    disconnect(ended);
    if (m_loggedOn)
        Q_EMIT logLine(QStringLiteral("the directory did not confirm the log-off in time"));
    else if (m_status == QLatin1String("offline"))
        Q_EMIT logLine(QStringLiteral("logged off the directory"));
    else
        Q_EMIT logLine(QStringLiteral("could not log off the directory: %1").arg(m_status));
    if (!m_loggedOn)
        m_silence.stop();
}

void DirectoryLogon::setStatus(const QString &status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}
