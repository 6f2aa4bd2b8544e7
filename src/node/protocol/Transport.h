// How the station's datagrams reach the network and come back from it: the link
// control port (5199) and the audio port (5198) of each far station. The UDP transport
// is the usual one; every datagram of a link goes through this interface, so that a
// transport that tunnels them (the EchoLink proxy) can take its place.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

class Transport : public QObject
{
    Q_OBJECT

public:
    // The ports every EchoLink station uses, at both ends.
    static constexpr quint16 AudioPort = 5198;
    static constexpr quint16 ControlPort = 5199;
    // No port: the transport does not know the far end's port (a tunnel).
    static constexpr quint16 AnyPort = 0;

    using QObject::QObject;

    // Sends to the far station's control or audio port; false when the datagram could
    // not be handed to the network.
    virtual bool sendControl(const QHostAddress &to, const QByteArray &datagram) = 0;
    virtual bool sendAudio(const QHostAddress &to, const QByteArray &datagram) = 0;

Q_SIGNALS:
    // A datagram arrived on the control or audio port, from this address and port.
    void controlReceived(const QHostAddress &from, quint16 port, const QByteArray &datagram);
    void audioReceived(const QHostAddress &from, quint16 port, const QByteArray &datagram);
};
