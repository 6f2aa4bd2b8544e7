// The directory connection through an EchoLink proxy. The proxy carries one such
// connection at a time, so streams take turns: a stream that asks while another holds
// the tunnel waits until that one ends. The tunnel is opened with TCP_OPEN (an address
// only: the proxy connects to its port 5200), answered by TCP_STATUS; bytes go both ways
// as TCP_DATA; either side ends it with TCP_CLOSE, and the proxy answers the station's
// TCP_CLOSE with its own before the tunnel is free again.
#pragma once

#include "node/protocol/DirectoryRoute.h"
#include "node/protocol/ProxyClient.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class ProxyTunnelStream;

class ProxyTunnel : public QObject, public DirectoryRoute
{
    Q_OBJECT

public:
    // The proxy's answer to a TCP_CLOSE is awaited this long at most.
    static constexpr int CloseWaitMs = 2000;

    explicit ProxyTunnel(ProxyClient &proxy, QObject *parent = nullptr);

    DirectoryStream *newStream(QObject *parent) override;

    // For the streams: a stream that knows its address asks for the tunnel, and gives it
    // back (or leaves the queue) when it ends.
    void request(ProxyTunnelStream *stream, quint32 address);
    void release(ProxyTunnelStream *stream);
    bool write(const ProxyTunnelStream *stream, const QByteArray &bytes);

private:
    enum class Channel { Free, Opening, Open, Closing };
    struct Waiting
    {
        QPointer<ProxyTunnelStream> stream;
        quint32 address;
    };

    void grantNext();
    void received(const ProxyMessage &message);
    void proxyStateChanged(ProxyClient::State state);
    void freed();

    ProxyClient &m_proxy;
    QList<Waiting> m_waiting;
    QPointer<ProxyTunnelStream> m_owner;
    Channel m_channel = Channel::Free;
    QTimer m_closeWait;
};
