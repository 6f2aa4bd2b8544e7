#include "node/protocol/UdpTransport.h"

#include <QTimer>

namespace {
constexpr qint64 MaxDatagram = 65535;  // the largest UDP payload
// Datagrams read in one go; a flood then waits its turn behind the bus and the timers.
constexpr int MaxPerTurn = 64;
}  // namespace

UdpTransport::UdpTransport(QObject *parent) : Transport(parent)
{
    connect(&m_control, &QUdpSocket::readyRead, this, [this] { readAll(m_control, true); });
    connect(&m_audio, &QUdpSocket::readyRead, this, [this] { readAll(m_audio, false); });
}

bool UdpTransport::bind(const QHostAddress &address)
{
    const QHostAddress on = address.isNull() ? QHostAddress(QHostAddress::AnyIPv4) : address;
    for (auto [socket, port] : {std::pair{&m_control, ControlPort}, std::pair{&m_audio, AudioPort}}) {
        // Not shared: a second program on the same ports must fail, not steal datagrams.
        if (!socket->bind(on, port, QAbstractSocket::DontShareAddress)) {
            m_error = socket->errorString();
            m_control.close();
            m_audio.close();
            return false;
        }
    }
    return true;
}

bool UdpTransport::sendControl(const QHostAddress &to, const QByteArray &datagram)
{
    return m_control.writeDatagram(datagram, to, ControlPort) == datagram.size();
}

bool UdpTransport::sendAudio(const QHostAddress &to, const QByteArray &datagram)
{
    return m_audio.writeDatagram(datagram, to, AudioPort) == datagram.size();
}

void UdpTransport::readAll(QUdpSocket &socket, bool control)
{
    if (m_buffer.size() != MaxDatagram)
        m_buffer.resize(MaxDatagram);
    QHostAddress from;
    quint16 port = 0;
    for (int read = 0; socket.hasPendingDatagrams(); ++read) {
        if (read == MaxPerTurn) {
            QTimer::singleShot(0, this, [this, &socket, control] { readAll(socket, control); });
            return;
        }
        const qint64 size = socket.readDatagram(m_buffer.data(), MaxDatagram, &from, &port);
        if (size < 0)
            break;
        // Only IPv4 stations exist on EchoLink; a mapped address reads as its IPv4 form.
        bool ipv4 = false;
        const quint32 v4 = from.toIPv4Address(&ipv4);
        if (!ipv4)
            continue;
        const QByteArray datagram(m_buffer.constData(), size);
        if (control)
            Q_EMIT controlReceived(QHostAddress(v4), port, datagram);
        else
            Q_EMIT audioReceived(QHostAddress(v4), port, datagram);
    }
}
