// The station's datagrams through an EchoLink proxy: each one to a far station goes as a
// UDP_CONTROL or UDP_DATA message to the proxy, which sends it from its own ports; what
// the proxy hears comes back the same way. The proxy tells only the far address, never
// its port, so datagrams come with Transport::AnyPort.
#pragma once

#include "node/protocol/Transport.h"

class ProxyClient;
struct ProxyMessage;

class ProxyTransport : public Transport
{
    Q_OBJECT

public:
    explicit ProxyTransport(ProxyClient &proxy, QObject *parent = nullptr);

    bool sendControl(const QHostAddress &to, const QByteArray &datagram) override;
    bool sendAudio(const QHostAddress &to, const QByteArray &datagram) override;

private:
    void received(const ProxyMessage &message);

    ProxyClient &m_proxy;
};
