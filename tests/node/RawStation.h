// A station the test works datagram by datagram: both EchoLink ports bound on one loopback
// address, so it can send whatever a station could send, from the ports a station uses,
// and read what the node sends back.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QUdpSocket>

class RawStation
{
public:
    // Binds 5198 and 5199 on address; bound() says whether that worked.
    explicit RawStation(const QString &address);
    bool bound() const { return m_bound; }
    QHostAddress address() const { return m_address; }

    void sendControl(const QHostAddress &to, const QByteArray &datagram);
    void sendAudio(const QHostAddress &to, const QByteArray &datagram);
    // Our SDES, as a station calling or keeping a link.
    void sendSdes(const QHostAddress &to, const QByteArray &callsign);

    // Datagrams received so far on each port (reads what is pending first).
    QList<QByteArray> control();
    QList<QByteArray> audio();
    // Waits until a control datagram that parses as an SDES or a BYE arrives.
    bool waitForSdes(int timeoutMs);
    bool waitForBye(int timeoutMs);

private:
    void read();

    QHostAddress m_address;
    QUdpSocket m_control;
    QUdpSocket m_audio;
    QList<QByteArray> m_controlIn;
    QList<QByteArray> m_audioIn;
    bool m_bound = false;
};

// A socket on a loopback address and any port, for datagrams from a stranger or from a
// linked address's other port.
class Sender
{
public:
    explicit Sender(const QString &address);
    quint16 port() const { return m_socket.localPort(); }
    void control(const QHostAddress &to, const QByteArray &datagram);
    void audio(const QHostAddress &to, const QByteArray &datagram);
    // Whether anything came back to this socket.
    bool receivedAnything();

private:
    QUdpSocket m_socket;
};
