#include "node/protocol/ProxyTunnelStream.h"

#include "node/protocol/ProxyTunnel.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

#include <utility>

ProxyTunnelStream::ProxyTunnelStream(ProxyTunnel &tunnel, QObject *parent)
    : DirectoryStream(parent), m_tunnel(&tunnel)
{}

ProxyTunnelStream::~ProxyTunnelStream()
{
    abort();
}

void ProxyTunnelStream::open(const QString &host)
{
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        bool ipv4 = false;
        const quint32 address = literal.toIPv4Address(&ipv4);
        QTimer::singleShot(0, this, [this, address, ipv4, host] { addressFound(ipv4 ? address : 0, host); });
        return;
    }
    m_lookup = QHostInfo::lookupHost(host, this, [this, host](const QHostInfo &info) {
        m_lookup = -1;
        quint32 found = 0;
        for (const QHostAddress &address : info.addresses()) {
            bool ipv4 = false;
            found = address.toIPv4Address(&ipv4);
            if (ipv4 && found != 0)
                break;
            found = 0;
        }
        addressFound(found, host);
    });
}

void ProxyTunnelStream::addressFound(quint32 address, const QString &host)
{
    if (m_ended)
        return;
    if (address == 0) {
        tunnelFailed(QStringLiteral("%1 has no IPv4 address").arg(host));
        return;
    }
    if (!m_tunnel) {
        tunnelFailed(QStringLiteral("the proxy is gone"));
        return;
    }
    m_tunnel->request(this, address);
}

void ProxyTunnelStream::write(const QByteArray &bytes)
{
    if (m_tunnel && !m_ended)
        m_tunnel->write(this, bytes);
}

QByteArray ProxyTunnelStream::read(qint64 maxSize)
{
    const QByteArray out = m_held.left(maxSize);
    m_held.remove(0, out.size());
    return out;
}

void ProxyTunnelStream::abort()
{
    m_ended = true;
    if (m_lookup >= 0) {
        QHostInfo::abortHostLookup(m_lookup);
        m_lookup = -1;
    }
    if (m_tunnel)
        m_tunnel->release(this);
}

void ProxyTunnelStream::tunnelOpened()
{
    if (!m_ended)
        Q_EMIT connected();
}

void ProxyTunnelStream::tunnelData(const QByteArray &bytes)
{
    if (m_ended)
        return;
    m_held += bytes.left(qMax<qsizetype>(0, MaxHeld - m_held.size()));
    Q_EMIT readyRead();
}

void ProxyTunnelStream::tunnelClosed()
{
    if (m_ended)
        return;
    m_ended = true;
    Q_EMIT closed();
}

void ProxyTunnelStream::tunnelFailed(const QString &reason)
{
    if (std::exchange(m_ended, true))
        return;
    Q_EMIT failed(reason);
}
