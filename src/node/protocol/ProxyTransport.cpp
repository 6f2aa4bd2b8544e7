#include "node/protocol/ProxyTransport.h"

#include "node/protocol/ProxyClient.h"

ProxyTransport::ProxyTransport(ProxyClient &proxy, QObject *parent) : Transport(parent), m_proxy(proxy)
{
    connect(&proxy, &ProxyClient::received, this, &ProxyTransport::received);
}

bool ProxyTransport::sendControl(const QHostAddress &to, const QByteArray &datagram)
{
    return m_proxy.send(ProxyMessage::Type::UdpControl, to.toIPv4Address(), datagram);
}

bool ProxyTransport::sendAudio(const QHostAddress &to, const QByteArray &datagram)
{
    return m_proxy.send(ProxyMessage::Type::UdpData, to.toIPv4Address(), datagram);
}

void ProxyTransport::received(const ProxyMessage &message)
{
    // An empty datagram means nothing; a station at address 0 does not exist.
    if (message.payload.isEmpty() || message.address == 0)
        return;
    if (message.type == ProxyMessage::Type::UdpControl)
        Q_EMIT controlReceived(QHostAddress(message.address), AnyPort, message.payload);
    else if (message.type == ProxyMessage::Type::UdpData)
        Q_EMIT audioReceived(QHostAddress(message.address), AnyPort, message.payload);
}
