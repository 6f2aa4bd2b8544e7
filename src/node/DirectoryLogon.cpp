#include "node/DirectoryLogon.h"

#include "node/protocol/DirectoryRoute.h"

#include <QEventLoop>

namespace {
constexpr int MaxBackoff = 32;  // the retry interval grows to this many times the first
}  // namespace

DirectoryLogon::DirectoryLogon(const NodeConfig &config, DirectoryRoute &route, QObject *parent)
    : QObject(parent), m_config(config), m_route(route), m_status(QStringLiteral("offline"))
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        // What came in time is judged as it is: nothing is "did not answer".
        if (!m_reply.isEmpty()) {
            received(true);
            return;
        }
        serverFailed(
            QStringLiteral("the directory did not answer within %1 ms").arg(m_config.directoryTimeoutMs));
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &DirectoryLogon::logOn);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (m_loggedOn && !m_socket)
            send(m_busy ? Command::Busy : Command::Online);
    });
}

DirectoryLogon::~DirectoryLogon()
{
    dropSocket();
}

void DirectoryLogon::start()
{
    m_backoff = 1;
    logOn();
}

void DirectoryLogon::retryNow()
{
    if (!m_refused || m_loggingOff)
        return;
    m_retry.stop();
    m_backoff = 1;
    logOn();
}

void DirectoryLogon::logOn()
{
    if (m_loggingOff)
        return;
    m_refused = false;
    setStatus(QStringLiteral("logging on"));
    send(m_busy ? Command::Busy : Command::Online);
}

void DirectoryLogon::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    // A command under way is followed by the new presence once it is answered.
    if (m_loggedOn && !m_socket && !m_loggingOff)
        send(busy ? Command::Busy : Command::Online);
}

void DirectoryLogon::send(Command command)
{
    dropSocket();
    m_command = command;
    m_server = 0;
    if (m_config.directoryServers.isEmpty()) {
        failed(QStringLiteral("no directory server is configured"));
        return;
    }
    trySending();
}

void DirectoryLogon::trySending()
{
    dropSocket();
    m_reply.clear();
    m_socket = m_route.newStream(this);
    connect(m_socket, &DirectoryStream::connected, this, &DirectoryLogon::connected);
    connect(m_socket, &DirectoryStream::readyRead, this, [this] { received(false); });
    // The directory said its word and closed.
    connect(m_socket, &DirectoryStream::closed, this, [this] { received(true); });
    connect(m_socket, &DirectoryStream::failed, this, [this](const QString &reason) {
        serverFailed(QStringLiteral("cannot reach the directory %1: %2")
                         .arg(m_config.directoryServers.value(m_server), reason));
    });
    m_deadline.start(m_config.directoryTimeoutMs);
    m_socket->open(m_config.directoryServers.value(m_server));
}

void DirectoryLogon::connected()
{
    const QTime now = QTime::currentTime();
    const QString description = m_config.directoryDescription();
    switch (m_command) {
    case Command::Online:
    case Command::Busy:
        m_socket->write(DirectoryCommand::logOn(m_config.callsign, m_config.password, description,
                                                m_command == Command::Busy
                                                    ? DirectoryCommand::Presence::Busy
                                                    : DirectoryCommand::Presence::Online,
                                                now));
        return;
    case Command::Offline:
        m_socket->write(DirectoryCommand::logOff(m_config.callsign, m_config.password, description));
        return;
    }
}

void DirectoryLogon::received(bool ended)
{
    if (!m_socket)
        return;
    // Never more than the answer's cap is kept, whatever the directory sends.
    const qsizetype room = DirectoryCommand::MaxReply - m_reply.size();
    if (room > 0)
        m_reply += m_socket->read(room);
    const bool full = m_reply.size() >= DirectoryCommand::MaxReply;
    const DirectoryCommand::Reply reply = DirectoryCommand::readReply(m_reply, ended || full);
    if (reply.kind == DirectoryCommand::Reply::Kind::Pending)
        return;
    if (reply.kind == DirectoryCommand::Reply::Kind::NoAnswer) {
        serverFailed(QStringLiteral("the directory %1 closed the connection without an answer")
                         .arg(m_config.directoryServers.value(m_server)));
        return;
    }
    dropSocket();
    answered(reply);
}

void DirectoryLogon::serverFailed(const QString &reason)
{
    dropSocket();
    if (++m_server < m_config.directoryServers.size()) {
        Q_EMIT logLine(QStringLiteral("directory: %1; trying %2")
                           .arg(reason, m_config.directoryServers.value(m_server)));
        trySending();
        return;
    }
    failed(reason);
}

void DirectoryLogon::answered(const DirectoryCommand::Reply &reply)
{
    if (reply.kind == DirectoryCommand::Reply::Kind::Refused) {
        refused(reply.text);
        return;
    }
    m_backoff = 1;
    if (m_command == Command::Offline) {
        m_loggedOn = false;
        setStatus(QStringLiteral("offline"));
        return;
    }
    const bool first = !m_loggedOn;
    m_loggedOn = true;
    if (!m_refresh.isActive())
        m_refresh.start();
    setStatus(m_command == Command::Busy ? QStringLiteral("busy") : QStringLiteral("online"));
    if (first)
        Q_EMIT loggedOn();
    // The presence changed while this command was under way.
    const Command wanted = m_busy ? Command::Busy : Command::Online;
    if (wanted != m_command && !m_loggingOff)
        send(wanted);
}

void DirectoryLogon::failed(const QString &reason)
{
    m_loggedOn = false;
    m_refresh.stop();
    dropSocket();
    if (m_loggingOff) {
        setStatus(reason);
        return;
    }
    const int waitMs = m_config.directoryRetryMs * m_backoff;
    m_backoff = qMin(m_backoff * 2, MaxBackoff);
    setStatus(QStringLiteral("%1; trying again in %2 s").arg(reason).arg((waitMs + 999) / 1000));
    m_retry.start(waitMs);
}

void DirectoryLogon::refused(const QString &answer)
{
    m_loggedOn = false;
    m_refresh.stop();
    const QString quoted = answer.isEmpty() ? QString() : QStringLiteral(" (\"%1\")").arg(answer);
    if (m_loggingOff) {
        setStatus(QStringLiteral("the directory refused the log-off%1").arg(quoted));
        return;
    }
    // Asking again with the same callsign and password would be refused again.
    m_refused = true;
    setStatus(QStringLiteral("the directory refused the log-on%1: check Callsign and Password "
                             "in the [Station] section; trying again when the configuration "
                             "file changes, or in %2 min")
                  .arg(quoted)
                  .arg(RefusedRetryMs / 60000));
    m_retry.start(RefusedRetryMs);
}

void DirectoryLogon::dropSocket()
{
    m_deadline.stop();
    if (!m_socket)
        return;
    DirectoryStream *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    // It may be in the middle of emitting one of its signals.
    socket->deleteLater();
}

void DirectoryLogon::suspend(const QString &reason)
{
    m_retry.stop();
    m_refresh.stop();
    dropSocket();
    m_loggedOn = false;
    m_refused = false;
    setStatus(reason);
}

void DirectoryLogon::logOff(int timeoutMs)
{
    m_retry.stop();
    m_refresh.stop();
    m_loggingOff = true;
    if (!m_loggedOn) {
        dropSocket();
        return;
    }
    QEventLoop wait;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
    const QMetaObject::Connection ended = connect(this, &DirectoryLogon::statusChanged, &wait, [&wait, this] {
        if (!m_socket)
            wait.quit();
    });
    send(Command::Offline);
    limit.start(timeoutMs);
    if (m_socket)
        wait.exec();
    disconnect(ended);
    if (m_socket) {
        dropSocket();
        Q_EMIT logLine(QStringLiteral("the directory did not confirm the log-off in time"));
    } else if (!m_loggedOn && m_status == QLatin1String("offline")) {
        Q_EMIT logLine(QStringLiteral("logged off the directory"));
    } else {
        Q_EMIT logLine(QStringLiteral("could not log off the directory: %1").arg(m_status));
    }
}

void DirectoryLogon::setStatus(const QString &status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}
