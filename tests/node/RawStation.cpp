#include "RawStation.h"

#include "node/protocol/ControlPacket.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QTest>

RawStation::RawStation(const QString &address) : m_address(address)
{
    m_bound = m_control.bind(m_address, 5199) && m_audio.bind(m_address, 5198);
}

void RawStation::sendControl(const QHostAddress &to, const QByteArray &datagram)
{
    m_control.writeDatagram(datagram, to, 5199);
}

void RawStation::sendAudio(const QHostAddress &to, const QByteArray &datagram)
{
    m_audio.writeDatagram(datagram, to, 5198);
}

void RawStation::sendSdes(const QHostAddress &to, const QByteArray &callsign)
{
    sendControl(to, ControlPacket::sdes(callsign, "Raw", "SPEEX"));
}

void RawStation::read()
{
    for (auto [socket, into] : {std::pair{&m_control, &m_controlIn}, std::pair{&m_audio, &m_audioIn}})
        while (socket->hasPendingDatagrams())
            into->append(socket->receiveDatagram().data());
}

QList<QByteArray> RawStation::control()
{
    read();
    return m_controlIn;
}

QList<QByteArray> RawStation::audio()
{
    read();
    return m_audioIn;
}

namespace {
bool waitForKind(RawStation &station, ControlPacket::Kind kind, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    do {
        for (const QByteArray &datagram : station.control()) {
            const auto packet = ControlPacket::parse(datagram);
            if (packet && packet->kind == kind)
                return true;
        }
        QTest::qWait(10);
    } while (!deadline.hasExpired());
    return false;
}
}  // namespace

bool RawStation::waitForSdes(int timeoutMs)
{
    return waitForKind(*this, ControlPacket::Kind::Sdes, timeoutMs);
}

bool RawStation::waitForBye(int timeoutMs)
{
    return waitForKind(*this, ControlPacket::Kind::Bye, timeoutMs);
}

Sender::Sender(const QString &address)
{
    m_socket.bind(QHostAddress(address), 0);
}

void Sender::control(const QHostAddress &to, const QByteArray &datagram)
{
    m_socket.writeDatagram(datagram, to, 5199);
}

void Sender::audio(const QHostAddress &to, const QByteArray &datagram)
{
    m_socket.writeDatagram(datagram, to, 5198);
}

bool Sender::receivedAnything()
{
    return m_socket.hasPendingDatagrams();
}
