// A stand-in EchoLink directory server for the node's tests: speaks the directory's line
// protocol on port 5200 of a loopback address (and nowhere else), keeps the stations that
// log on, and lists them at the address they logged on from.
//
//   directory_stand_in --address 127.x.y.3 [--password PW]
//                      [--listed CALL,ID,ADDRESS[,LOCATION[,ON|BUSY]]]...
//
// Reads commands from stdin, one a line: "mode normal|silent|truncated|garbage|huge|longline|
// trickle" (trickle: the list one byte every half second), "quit". Writes "ready" once it listens, repeats
// each mode command once it holds, and writes one line per request: "logon CALL STATUS ADDRESS ID
// DESCRIPTION", "refused CALL", "logoff CALL", "list".
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

struct Listing
{
    QString callsign;
    QString description;
    QString status;
    int id;
    QString address;
};

class Directory : public QObject
{
public:
    Directory(QString password, QList<Listing> listed)
        : m_password(std::move(password)), m_listed(std::move(listed))
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    bool listen(const QHostAddress &address) { return m_server.listen(address, 5200); }
    void setMode(const QString &mode) { m_mode = mode; }

private:
    void received(QTcpSocket *socket)
    {
        QByteArray &request = m_requests[socket];
        request += socket->readAll();
        if (m_mode == QLatin1String("silent"))
            return;
        if (request.startsWith('s')) {
            m_requests.remove(socket);
            say(QStringLiteral("list"));
            if (m_mode == QLatin1String("trickle")) {
                trickle(socket, list());
                return;
            }
            socket->write(list());
            socket->disconnectFromHost();
            return;
        }
        if (!request.startsWith('l') || request.count('\r') < 3)
            return;
        const QList<QByteArray> fields = request.mid(1).split('\r');
        m_requests.remove(socket);
        const QList<QByteArray> login = fields[0].split('\xac');
        const QString call = QString::fromLatin1(login.first()).toUpper();
        const QString password = QString::fromLatin1(login.last());
        if (!m_password.isEmpty() && password != m_password) {
            say(QStringLiteral("refused %1").arg(call));
            socket->write("BAD PASSWORD");
            socket->disconnectFromHost();
            return;
        }
        const QString status = QString::fromLatin1(fields[1]);
        if (status.startsWith(QLatin1String("OFF"))) {
            m_stations.remove(call);
            say(QStringLiteral("logoff %1").arg(call));
        } else {
            Listing &station = m_stations[call];
            if (station.id == 0)
                station.id = m_nextId++;
            station.callsign = call;
            station.description = QString::fromLatin1(fields[2]);
            station.status =
                status.startsWith(QLatin1String("BUSY")) ? QStringLiteral("BUSY") : QStringLiteral("ON");
            station.address = QHostAddress(socket->peerAddress().toIPv4Address()).toString();
            say(QStringLiteral("logon %1 %2 %3 %4 %5")
                    .arg(call, station.status, station.address)
                    .arg(station.id)
                    .arg(station.description));
        }
        socket->write("OK");
        socket->disconnectFromHost();
    }

    // Sends the answer so slowly that it never falls silent for long, and never ends.
    void trickle(QTcpSocket *socket, const QByteArray &answer)
    {
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, answer, sent = qsizetype(0)]() mutable {
            if (sent < answer.size())
                socket->write(answer.mid(sent++, 1));
        });
        timer->start(500);
    }

    QByteArray list() const
    {
        QList<Listing> all = m_listed;
        for (const Listing &station : m_stations)
            all << station;
        if (m_mode == QLatin1String("huge"))
            for (int i = 0; i < 100000; ++i)
                all << Listing{QStringLiteral("X%1").arg(i), QStringLiteral("filler"), QStringLiteral("ON"),
                               500000 + i, QStringLiteral("127.255.255.254")};
        QByteArray text = "@@@\n" + QByteArray::number(all.size()) + "\n";
        for (const Listing &station : all)
            text += station.callsign.toLatin1() + "\n" + station.description.toLatin1() + " ["
                    + station.status.toLatin1() + " 12:00]\n" + QByteArray::number(station.id) + "\n"
                    + station.address.toLatin1() + "\n";
        text += "+++";
        if (m_mode == QLatin1String("truncated"))
            return text.left(text.size() / 2);
        if (m_mode == QLatin1String("longline"))
            return "@@@\n1\n" + QByteArray(1024 * 1024, 'W') + "\n";
        if (m_mode == QLatin1String("garbage")) {
            QByteArray noise(4096, '\0');
            for (char &byte : noise)
                byte = char(QRandomGenerator::global()->bounded(256));
            return noise;
        }
        return text;
    }

    static void say(const QString &line)
    {
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }

    QTcpServer m_server;
    QString m_password;
    QList<Listing> m_listed;
    QHash<QString, Listing> m_stations;
    QHash<QTcpSocket *, QByteArray> m_requests;
    QString m_mode = QStringLiteral("normal");
    int m_nextId = 100001;
};

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("address"), QStringLiteral("Loopback address to listen on."),
          QStringLiteral("ADDRESS")},
         {QStringLiteral("password"), QStringLiteral("The one password accepted."), QStringLiteral("PW")},
         {QStringLiteral("listed"), QStringLiteral("A listed station: CALL,ID,ADDRESS[,LOCATION[,ON|BUSY]]."),
          QStringLiteral("ENTRY")}});
    parser.process(app);
    const QHostAddress address(parser.value(QStringLiteral("address")));
    if (!address.isLoopback()) {
        std::fprintf(stderr, "directory_stand_in: listens on loopback addresses only\n");
        return 2;
    }
    QList<Listing> listed;
    for (const QString &entry : parser.values(QStringLiteral("listed"))) {
        const QStringList parts = entry.split(QLatin1Char(','));
        if (parts.size() < 3 || parts.size() > 5 || !QHostAddress(parts[2]).isLoopback()) {
            std::fprintf(stderr,
                         "directory_stand_in: --listed wants CALL,ID,LOOPBACK-ADDRESS[,LOCATION[,STATUS]]\n");
            return 2;
        }
        listed << Listing{parts[0], parts.value(3, QStringLiteral("listed")),
                          parts.value(4, QStringLiteral("ON")), parts[1].toInt(), parts[2]};
    }
    Directory directory(parser.value(QStringLiteral("password")), listed);
    if (!directory.listen(address)) {
        std::fprintf(stderr, "directory_stand_in: cannot listen on %s port 5200\n",
                     qPrintable(address.toString()));
        return 1;
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char bytes[256];
        const ssize_t count = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (count <= 0) {
            input.setEnabled(false);
            app.quit();  // the test has gone
            return;
        }
        pending.append(bytes, count);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QString command = QString::fromLatin1(pending.left(end)).trimmed();
            if (command.startsWith(QLatin1String("mode "))) {
                directory.setMode(command.mid(5));
                std::printf("%s\n", qPrintable(command));  // the test waits for this
                std::fflush(stdout);
            } else if (command == QLatin1String("quit"))
                app.quit();
        }
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
