// A stand-in EchoLink proxy for the node's tests: the proxy's side of the protocol on a
// loopback address. It greets each station with a fresh nonce, checks the station's MD5 of
// the upper-cased password and the nonce (a wrong one gets SYSTEM "bad password" and the
// connection closed), then relays: datagrams to and from far stations through its own
// UDP ports 5198 and 5199 on its address, and the directory connection to port 5200 of
// the address TCP_OPEN names, from its own address. One station at a time, as a proxy.
//
//   proxy_stand_in --address 127.x.y.z [--port 8100] [--password PW]
//
// No password means a public proxy (PUBLIC). Ends when its standard input closes. Writes
// "ready" once it listens, then one line per event: "login CALL", "refused CALL",
// "tcp-open IP", "tcp-status N", "tcp-close station|directory", "gone CALL".
#include "node/protocol/ProxyMessage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QHostAddress>
#include <QPointer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int MaxCallsign = 32;
constexpr qint64 MaxDatagram = 65535;
constexpr qint64 DirectoryChunk = 4096;  // the directory's bytes go on in pieces this size

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class Proxy : public QObject
{
public:
    Proxy(QHostAddress address, QString password)
        : m_address(std::move(address)), m_password(std::move(password))
    {
        connect(&m_server, &QTcpServer::newConnection, this, &Proxy::accept);
        connect(&m_control, &QUdpSocket::readyRead, this, [this] { relayDatagrams(m_control, true); });
        connect(&m_audio, &QUdpSocket::readyRead, this, [this] { relayDatagrams(m_audio, false); });
    }

    bool listen(quint16 port)
    {
        return m_server.listen(m_address, port)
               && m_control.bind(m_address, 5199, QAbstractSocket::DontShareAddress)
               && m_audio.bind(m_address, 5198, QAbstractSocket::DontShareAddress);
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            if (m_station) {  // one station per proxy
                socket->abort();
                socket->deleteLater();
                continue;
            }
            m_station = socket;
            m_loggedIn = false;
            m_buffer.clear();
            m_callsign.clear();
            m_nonce.resize(ProxyMessage::NonceSize);
            for (char &byte : m_nonce)
                byte = char(QRandomGenerator::global()->bounded(256));
            socket->setReadBufferSize(4 * (ProxyMessage::HeaderSize + ProxyMessage::MaxPayload));
            connect(socket, &QTcpSocket::readyRead, this, &Proxy::fromStation);
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] { stationGone(socket); });
            socket->write(m_nonce);
        }
    }

    void stationGone(QTcpSocket *socket)
    {
        if (socket != m_station)
            return;
        if (m_loggedIn)
            say(QStringLiteral("gone %1").arg(m_callsign));
        closeDirectory();
        m_station = nullptr;
        m_loggedIn = false;
        socket->deleteLater();
    }

    void fromStation()
    {
        if (!m_station)
            return;
        const qsizetype room = ProxyMessage::HeaderSize + ProxyMessage::MaxPayload - m_buffer.size();
        m_buffer += m_station->read(qMax<qsizetype>(0, room));
        if (!m_loggedIn && !logIn())
            return;
        for (;;) {
            ProxyMessage message;
            qsizetype used = 0;
            const ProxyMessage::Read read = ProxyMessage::readFromStation(m_buffer, message, used);
            if (read == ProxyMessage::Read::Broken) {
                m_station->abort();
                return;
            }
            if (read == ProxyMessage::Read::NeedMore)
                break;
            m_buffer.remove(0, used);
            handle(message);
            if (!m_station)
                return;
        }
        if (m_station && m_station->bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, &Proxy::fromStation, Qt::QueuedConnection);
    }

    // The callsign, a newline and the digest; false while they are not all there.
    bool logIn()
    {
        const qsizetype newline = m_buffer.indexOf('\n');
        if (newline < 0) {
            if (m_buffer.size() > MaxCallsign)
                m_station->abort();
            return false;
        }
        if (newline > MaxCallsign) {
            m_station->abort();
            return false;
        }
        if (m_buffer.size() < newline + 1 + ProxyMessage::DigestSize)
            return false;
        m_callsign = QString::fromLatin1(m_buffer.left(newline));
        const QByteArray digest = m_buffer.mid(newline + 1, ProxyMessage::DigestSize);
        m_buffer.remove(0, newline + 1 + ProxyMessage::DigestSize);
        const QByteArray secret =
            m_password.isEmpty() ? QByteArray(ProxyMessage::PublicPassword) : m_password.toUpper().toUtf8();
        if (digest != QCryptographicHash::hash(secret + m_nonce, QCryptographicHash::Md5)) {
            say(QStringLiteral("refused %1").arg(m_callsign));
            m_station->write(ProxyMessage::encode(ProxyMessage::Type::System, 0,
                                                  QByteArray(1, char(ProxyMessage::BadPassword))));
            m_station->disconnectFromHost();
            return false;
        }
        m_loggedIn = true;
        say(QStringLiteral("login %1").arg(m_callsign));
        return true;
    }

    void handle(const ProxyMessage &message)
    {
        const QHostAddress to(message.address);
        switch (message.type) {
        case ProxyMessage::Type::UdpControl:
            m_control.writeDatagram(message.payload, to, 5199);
            return;
        case ProxyMessage::Type::UdpData:
            m_audio.writeDatagram(message.payload, to, 5198);
            return;
        case ProxyMessage::Type::TcpOpen:
            openDirectory(to);
            return;
        case ProxyMessage::Type::TcpData:
            if (m_directory)
                m_directory->write(message.payload);
            return;
        case ProxyMessage::Type::TcpClose:
            say(QStringLiteral("tcp-close station"));
            closeDirectory();
            send(ProxyMessage::Type::TcpClose, 0);
            return;
        default:
            return;
        }
    }

    void openDirectory(const QHostAddress &to)
    {
        closeDirectory();
        say(QStringLiteral("tcp-open %1").arg(to.toString()));
        auto *socket = new QTcpSocket(this);
        m_directory = socket;
        connect(socket, &QTcpSocket::connected, this, [this] { status(0); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            while (socket == m_directory && socket->bytesAvailable() > 0)
                send(ProxyMessage::Type::TcpData, 0, socket->read(DirectoryChunk));
        });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
            if (socket != m_directory)
                return;
            const bool wasConnected = socket->state() == QAbstractSocket::ConnectedState
                                      || socket->error() == QAbstractSocket::RemoteHostClosedError;
            while (socket->bytesAvailable() > 0)
                send(ProxyMessage::Type::TcpData, 0, socket->read(DirectoryChunk));
            m_directory = nullptr;
            socket->deleteLater();
            if (wasConnected) {
                say(QStringLiteral("tcp-close directory"));
                send(ProxyMessage::Type::TcpClose, 0);
            } else {
                status(1);
            }
        });
        // The directory sees the proxy's address, as the far stations do.
        socket->bind(m_address);
        socket->connectToHost(to, 5200);
    }

    void closeDirectory()
    {
        if (!m_directory)
            return;
        QTcpSocket *socket = m_directory;
        m_directory = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }

    void status(quint32 code)
    {
        say(QStringLiteral("tcp-status %1").arg(code));
        QByteArray word(4, '\0');
        for (int i = 0; i < 4; ++i)
            word[i] = char((code >> (8 * i)) & 0xff);
        send(ProxyMessage::Type::TcpStatus, 0, word);
    }

    void send(ProxyMessage::Type type, quint32 address, const QByteArray &payload = {})
    {
        if (m_station && m_loggedIn)
            m_station->write(ProxyMessage::encode(type, address, payload));
    }

    void relayDatagrams(QUdpSocket &socket, bool control)
    {
        QByteArray datagram(MaxDatagram, '\0');
        QHostAddress from;
        while (socket.hasPendingDatagrams()) {
            const qint64 size = socket.readDatagram(datagram.data(), MaxDatagram, &from);
            bool ipv4 = false;
            const quint32 address = from.toIPv4Address(&ipv4);
            if (size <= 0 || !ipv4)
                continue;
            send(control ? ProxyMessage::Type::UdpControl : ProxyMessage::Type::UdpData, address,
                 datagram.left(size));
        }
    }

    QHostAddress m_address;
    QString m_password;
    QTcpServer m_server;
    QUdpSocket m_control;
    QUdpSocket m_audio;
    QPointer<QTcpSocket> m_station;
    QPointer<QTcpSocket> m_directory;
    QByteArray m_nonce;
    QByteArray m_buffer;
    QString m_callsign;
    bool m_loggedIn = false;
};

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("address"), QStringLiteral("Loopback address."), QStringLiteral("ip")},
         {QStringLiteral("port"), QStringLiteral("TCP port."), QStringLiteral("port"),
          QStringLiteral("8100")},
         {QStringLiteral("password"), QStringLiteral("Proxy password."), QStringLiteral("pw")}});
    parser.process(app);
    const QHostAddress address(parser.value(QStringLiteral("address")));
    if (!address.isLoopback()) {
        std::fprintf(stderr, "proxy_stand_in: --address wants a loopback address\n");
        return 2;
    }
    Proxy proxy(address, parser.value(QStringLiteral("password")));
    if (!proxy.listen(quint16(parser.value(QStringLiteral("port")).toUInt()))) {
        std::fprintf(stderr, "proxy_stand_in: cannot listen on %s\n", qPrintable(address.toString()));
        return 1;
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char bytes[256];
        if (::read(STDIN_FILENO, bytes, sizeof bytes) <= 0) {
            input.setEnabled(false);
            app.quit();  // the test has gone
        }
    });
    say(QStringLiteral("ready"));
    return app.exec();
}
