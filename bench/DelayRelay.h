// A relay between two stations on loopback that delays every audio-port datagram by a
// random 0 to 30 ms (control datagrams pass at once), as a jittery internet path would.
//
// Station B reaches A at the relay's address `forA`, and A reaches B at `forB`: what B
// sends to `forA` leaves `forB` for A, and what A sends to `forB` leaves `forA` for B,
// each on the port it came to, so each station sees the other at a relay address.
#pragma once

#include <QHostAddress>
#include <QUdpSocket>

#include <array>
#include <memory>
#include <random>

class DelayRelay
{
public:
    static constexpr int MostDelayMs = 30;

    // Binds ports 5198 and 5199 on both relay addresses; false when it cannot.
    bool start(const QHostAddress &a, const QHostAddress &forA, const QHostAddress &b,
               const QHostAddress &forB);
    int delayed() const { return m_delayed; }

private:
    struct Side
    {
        QHostAddress station;                              // the station this side reaches
        std::array<std::unique_ptr<QUdpSocket>, 2> ports;  // audio, control
    };
    void forward(Side &from, Side &to, int port);

    Side m_towardsA;  // bound on forA: what B sends here goes on to A
    Side m_towardsB;  // bound on forB: what A sends here goes on to B
    std::mt19937 m_random{42};
    int m_delayed = 0;
};
