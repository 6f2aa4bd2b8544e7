// A directory stream through the proxy's tunnel. The proxy takes an address only, so the
// stream looks the server's name up itself (without blocking the loop) and asks the
// tunnel for its turn. What the directory sends is held, bounded, until read.
#pragma once

#include "node/protocol/DirectoryStream.h"

#include <QPointer>

class ProxyTunnel;

class ProxyTunnelStream : public DirectoryStream
{
    Q_OBJECT

public:
    // Bytes held beyond this are dropped: no directory answer is longer than the largest
    // station list, which is read as it comes.
    static constexpr qsizetype MaxHeld = 1024 * 1024;

    ProxyTunnelStream(ProxyTunnel &tunnel, QObject *parent = nullptr);
    ~ProxyTunnelStream() override;

    void open(const QString &host) override;
    void write(const QByteArray &bytes) override;
    QByteArray read(qint64 maxSize) override;
    void abort() override;

    // Called by the tunnel.
    void tunnelOpened();
    void tunnelData(const QByteArray &bytes);
    void tunnelClosed();
    void tunnelFailed(const QString &reason);

private:
    void addressFound(quint32 address, const QString &host);

    QPointer<ProxyTunnel> m_tunnel;
    QByteArray m_held;
    int m_lookup = -1;
    bool m_ended = false;
};
