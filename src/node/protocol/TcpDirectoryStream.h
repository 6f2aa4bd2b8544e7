// A directory stream over a TCP connection of its own, from the configured local address.
#pragma once

#include "node/protocol/DirectoryStream.h"

#include <QHostAddress>
#include <QTcpSocket>

class TcpDirectoryStream : public DirectoryStream
{
    Q_OBJECT

public:
    // bindAddress: the local end; null for any.
    TcpDirectoryStream(const QHostAddress &bindAddress, QObject *parent = nullptr);

    void open(const QString &host) override;
    void write(const QByteArray &bytes) override;
    QByteArray read(qint64 maxSize) override;
    void abort() override;

private:
    QHostAddress m_bindAddress;
    QTcpSocket m_socket;
};
