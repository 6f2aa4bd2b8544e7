#include "node/protocol/ProxyTunnel.h"

#include "node/protocol/ProxyTunnelStream.h"

ProxyTunnel::ProxyTunnel(ProxyClient &proxy, QObject *parent) : QObject(parent), m_proxy(proxy)
{
    connect(&proxy, &ProxyClient::received, this, &ProxyTunnel::received);
    connect(&proxy, &ProxyClient::stateChanged, this, &ProxyTunnel::proxyStateChanged);
    m_closeWait.setSingleShot(true);
    connect(&m_closeWait, &QTimer::timeout, this, &ProxyTunnel::freed);
}

DirectoryStream *ProxyTunnel::newStream(QObject *parent)
{
    return new ProxyTunnelStream(*this, parent);
}

void ProxyTunnel::request(ProxyTunnelStream *stream, quint32 address)
{
    m_waiting.append({stream, address});
    grantNext();
}

void ProxyTunnel::grantNext()
{
    while (m_channel == Channel::Free && !m_waiting.isEmpty()) {
        const Waiting next = m_waiting.takeFirst();
        if (!next.stream)
            continue;
        if (!m_proxy.isConnected()) {
            next.stream->tunnelFailed(QStringLiteral("the proxy is not connected"));
            continue;
        }
        m_owner = next.stream;
        m_channel = Channel::Opening;
        m_proxy.send(ProxyMessage::Type::TcpOpen, next.address);
    }
}

void ProxyTunnel::release(ProxyTunnelStream *stream)
{
    m_waiting.removeIf([stream](const Waiting &waiting) { return waiting.stream == stream; });
    if (m_owner != stream || stream == nullptr)
        return;
    m_owner = nullptr;
    if (m_channel == Channel::Opening || m_channel == Channel::Open) {
        // Stale bytes of this connection are dropped until the proxy confirms the close.
        m_channel = Channel::Closing;
        if (m_proxy.send(ProxyMessage::Type::TcpClose, 0)) {
            m_closeWait.start(CloseWaitMs);
            return;
        }
    }
    freed();
}

bool ProxyTunnel::write(const ProxyTunnelStream *stream, const QByteArray &bytes)
{
    if (stream != m_owner || m_channel != Channel::Open)
        return false;
    for (qsizetype at = 0; at < bytes.size(); at += ProxyMessage::MaxPayload)
        if (!m_proxy.send(ProxyMessage::Type::TcpData, 0, bytes.mid(at, ProxyMessage::MaxPayload)))
            return false;
    return true;
}

void ProxyTunnel::received(const ProxyMessage &message)
{
    switch (message.type) {
    case ProxyMessage::Type::TcpStatus: {
        if (m_channel != Channel::Opening)
            return;  // a late answer to a connection already given up
        const auto *b = reinterpret_cast<const unsigned char *>(message.payload.constData());
        const quint32 status = quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
        QPointer<ProxyTunnelStream> owner = m_owner;
        if (status == 0) {
            m_channel = Channel::Open;
            if (owner)
                owner->tunnelOpened();
            return;
        }
        m_owner = nullptr;
        m_channel = Channel::Free;
        if (owner)
            owner->tunnelFailed(QStringLiteral("the proxy could not connect to it (status %1)").arg(status));
        grantNext();
        return;
    }
    case ProxyMessage::Type::TcpData:
        if (m_channel == Channel::Open && m_owner)
            m_owner->tunnelData(message.payload);
        return;
    case ProxyMessage::Type::TcpClose: {
        if (m_channel == Channel::Free)
            return;
        QPointer<ProxyTunnelStream> owner = m_owner;
        const bool wasOpen = m_channel == Channel::Open;
        m_owner = nullptr;
        m_channel = Channel::Free;
        m_closeWait.stop();
        if (owner) {
            if (wasOpen)
                owner->tunnelClosed();
            else
                owner->tunnelFailed(QStringLiteral("the proxy could not connect to it"));
        }
        grantNext();
        return;
    }
    default:
        return;  // datagrams are the transport's
    }
}

void ProxyTunnel::proxyStateChanged(ProxyClient::State state)
{
    if (state == ProxyClient::State::Connected)
        return;
    // The tunnel goes with the proxy connection; whoever waits for it hears so.
    QPointer<ProxyTunnelStream> owner = m_owner;
    m_owner = nullptr;
    m_channel = Channel::Free;
    m_closeWait.stop();
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    const QString reason = QStringLiteral("the proxy connection was lost");
    if (owner)
        owner->tunnelFailed(reason);
    for (const Waiting &w : waiting)
        if (w.stream)
            w.stream->tunnelFailed(reason);
}

void ProxyTunnel::freed()
{
    m_closeWait.stop();
    m_channel = Channel::Free;
    grantNext();
}
