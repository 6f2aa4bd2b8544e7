#include "node/protocol/ProxyClient.h"

ProxyClient::ProxyClient(Settings settings, QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_status(QStringLiteral("off"))
{
    m_socket.setReadBufferSize(ReadBufferSize);
    connect(&m_socket, &QTcpSocket::connected, this, &ProxyClient::connected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &ProxyClient::readAvailable);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        switch (m_state) {
        case State::Connecting:
            ended(State::Lost, QStringLiteral("cannot reach the proxy: %1").arg(m_socket.errorString()));
            return;
        case State::Authenticating:
            ended(State::Lost, QStringLiteral("the proxy closed the connection before its greeting"));
            return;
        case State::Connected:
            if (error == QAbstractSocket::RemoteHostClosedError && !m_heardSinceLogIn
                && m_settle.isActive()) {
                ended(State::Refused, QStringLiteral("the proxy closed the connection right after the log-in "
                                                     "(a wrong ProxyPassword, or the proxy is in use)"));
                return;
            }
            ended(State::Lost, QStringLiteral("lost the proxy: %1").arg(m_socket.errorString()));
            return;
        case State::Off:
        case State::Refused:
        case State::Lost:
            return;
        }
    });
    m_greeting.setSingleShot(true);
    connect(&m_greeting, &QTimer::timeout, this, [this] {
        ended(State::Lost,
              QStringLiteral("the proxy sent no greeting within %1 s").arg(GreetingTimeoutMs / 1000));
    });
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &ProxyClient::connectNow);
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, [this] { m_backoff = 1; });
}

ProxyClient::~ProxyClient()
{
    m_socket.disconnect(this);
    m_socket.abort();
}

QString ProxyClient::proxyName() const
{
    return QStringLiteral("%1:%2").arg(m_settings.host).arg(m_settings.port);
}

void ProxyClient::start()
{
    m_running = true;
    m_backoff = 1;
    connectNow();
}

void ProxyClient::stop()
{
    m_running = false;
    m_retry.stop();
    m_greeting.stop();
    m_settle.stop();
    m_socket.abort();
    setState(State::Off, QStringLiteral("off"));
}

void ProxyClient::connectNow()
{
    if (!m_running)
        return;
    m_socket.abort();
    m_buffer.clear();
    m_heardSinceLogIn = false;
    setState(State::Connecting, QStringLiteral("connecting"));
    if (!m_settings.bindAddress.isNull())
        m_socket.bind(m_settings.bindAddress);
    m_greeting.start(GreetingTimeoutMs);  // covers the connection too
    // Host names are looked up by Qt without blocking the loop.
    m_socket.connectToHost(m_settings.host, m_settings.port);
}

void ProxyClient::connected()
{
    setState(State::Authenticating, QStringLiteral("logging in"));
}

void ProxyClient::readAvailable()
{
    if (m_state == State::Authenticating) {
        if (m_socket.bytesAvailable() < ProxyMessage::NonceSize)
            return;
        const QByteArray nonce = m_socket.read(ProxyMessage::NonceSize);
        m_greeting.stop();
        m_socket.write(ProxyMessage::logIn(m_settings.callsign, m_settings.password, nonce));
        m_settle.start(SettleMs);
        setState(State::Connected, QStringLiteral("connected"));
    }
    // Never more than one whole message is held beyond what Qt buffers.
    while (m_state == State::Connected) {
        const qsizetype room = ProxyMessage::HeaderSize + ProxyMessage::MaxPayload - m_buffer.size();
        if (room > 0)
            m_buffer += m_socket.read(room);
        ProxyMessage message;
        qsizetype used = 0;
        switch (ProxyMessage::readFromProxy(m_buffer, message, used)) {
        case ProxyMessage::Read::NeedMore:
            if (m_socket.bytesAvailable() > 0 && room > 0)
                continue;
            return;
        case ProxyMessage::Read::Broken:
            ended(State::Lost, QStringLiteral("the proxy sent a malformed message"));
            return;
        case ProxyMessage::Read::Complete:
            m_buffer.remove(0, used);
            handle(message);
            break;
        }
    }
}

void ProxyClient::handle(const ProxyMessage &message)
{
    if (message.type == ProxyMessage::Type::System) {
        const auto code = quint8(message.payload.at(0));
        ended(State::Refused, code == ProxyMessage::BadPassword
                                  ? QStringLiteral("the proxy refused the password")
                              : code == ProxyMessage::AccessDenied
                                  ? QStringLiteral("the proxy denied access")
                                  : QStringLiteral("the proxy refused the station (code %1)").arg(code));
        return;
    }
    m_heardSinceLogIn = true;
    Q_EMIT received(message);
}

bool ProxyClient::send(ProxyMessage::Type type, quint32 address, const QByteArray &payload)
{
    if (m_state != State::Connected || payload.size() > ProxyMessage::MaxPayload)
        return false;
    const QByteArray bytes = ProxyMessage::encode(type, address, payload);
    return m_socket.write(bytes) == bytes.size();
}

void ProxyClient::ended(State state, const QString &reason)
{
    m_greeting.stop();
    m_settle.stop();
    m_socket.abort();
    m_buffer.clear();
    if (!m_running) {
        setState(State::Off, QStringLiteral("off"));
        return;
    }
    const int waitMs = m_settings.retryMs * m_backoff;
    m_backoff = qMin(m_backoff * 2, MaxBackoff);
    m_retry.start(waitMs);
    setState(state, QStringLiteral("%1; trying again in %2 s").arg(reason).arg((waitMs + 999) / 1000));
}

void ProxyClient::setState(State state, const QString &status)
{
    if (state == m_state && status == m_status)
        return;
    m_state = state;
    m_status = status;
    Q_EMIT stateChanged(state, status);
}
