// The smallest program that looks like a headless echolink-node from the outside: it owns
// the node's bus name on the session bus, binds the two EchoLink ports on an address and
// reads what arrives, on one event loop. Its memory and idle cost are the floor the node's
// headless figures are set against.
//
//   bare_node ADDRESS
#include "automation/AutomationContract.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <cstdio>

namespace {

// Reads and forgets every datagram waiting on the socket.
void drain(QUdpSocket &socket)
{
    while (socket.hasPendingDatagrams())
        socket.receiveDatagram();
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QHostAddress address(arguments.value(1));
    if (address.isNull()) {
        std::fprintf(stderr, "usage: bare_node ADDRESS\n");
        return 2;
    }
    QUdpSocket control;
    QUdpSocket audio;
    if (!control.bind(address, 5199) || !audio.bind(address, 5198)) {
        std::fprintf(stderr, "bare_node: cannot bind %s\n", qPrintable(address.toString()));
        return 1;
    }
    QObject::connect(&control, &QUdpSocket::readyRead, &control, [&control] { drain(control); });
    QObject::connect(&audio, &QUdpSocket::readyRead, &audio, [&audio] { drain(audio); });

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.registerService(QLatin1String(Automation::ServiceName))) {
        std::fprintf(stderr, "bare_node: cannot own the bus name\n");
        return 1;
    }
    return app.exec();
}
