#include "DelayRelay.h"

#include <QNetworkDatagram>
#include <QTimer>

namespace {
constexpr quint16 Ports[2] = {5198, 5199};  // the EchoLink audio and control ports
}

bool DelayRelay::start(const QHostAddress &a, const QHostAddress &forA, const QHostAddress &b,
                       const QHostAddress &forB)
{
    m_towardsA.station = a;
    m_towardsB.station = b;
    for (int i = 0; i < 2; ++i) {
        for (auto [side, address] : {std::pair{&m_towardsA, forA}, std::pair{&m_towardsB, forB}}) {
            side->ports[i] = std::make_unique<QUdpSocket>();
            if (!side->ports[i]->bind(address, Ports[i]))
                return false;
        }
        QObject::connect(m_towardsA.ports[i].get(), &QUdpSocket::readyRead,
                         [this, i] { forward(m_towardsA, m_towardsB, i); });
        QObject::connect(m_towardsB.ports[i].get(), &QUdpSocket::readyRead,
                         [this, i] { forward(m_towardsB, m_towardsA, i); });
    }
    return true;
}

// Datagrams that came to `from`'s address go on to the station `from` stands for, sent
// from `to`'s address on the same port, so that station sees the other one there.
void DelayRelay::forward(Side &from, Side &to, int port)
{
    QUdpSocket &in = *from.ports[port];
    QUdpSocket *out = to.ports[port].get();
    const QHostAddress destination = from.station;
    while (in.hasPendingDatagrams()) {
        const QByteArray data = in.receiveDatagram().data();
        if (port != 0) {
            out->writeDatagram(data, destination, Ports[port]);
            continue;
        }
        const int delay = std::uniform_int_distribution<int>(0, MostDelayMs)(m_random);
        ++m_delayed;
        QTimer::singleShot(delay, Qt::PreciseTimer, out,
                           [out, data, destination] { out->writeDatagram(data, destination, 5198); });
    }
}
