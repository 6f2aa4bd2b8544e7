// The station's two UDP ports, bound on one address: control (5199) and audio (5198).
// Datagrams are read as they come, each at most the largest UDP payload, and handed on
// as they are: checking them is the parsers' job.
#pragma once

#include "node/protocol/Transport.h"

#include <QUdpSocket>

class UdpTransport : public Transport
{
    Q_OBJECT

public:
    explicit UdpTransport(QObject *parent = nullptr);

    // Binds both ports on that address (null: every address); false, with the sockets'
    // reason in error(), when either cannot be bound.
    bool bind(const QHostAddress &address);
    QString error() const { return m_error; }

    bool sendControl(const QHostAddress &to, const QByteArray &datagram) override;
    bool sendAudio(const QHostAddress &to, const QByteArray &datagram) override;

private:
    void readAll(QUdpSocket &socket, bool control);

    QUdpSocket m_control;
    QUdpSocket m_audio;
    QByteArray m_buffer;
    QString m_error;
};
