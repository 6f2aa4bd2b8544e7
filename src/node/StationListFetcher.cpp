#include "StationListFetcher.h"

namespace {
constexpr quint16 DirectoryPort = 5200;
}

StationListFetcher::StationListFetcher(QStringList servers, QHostAddress bindAddress,
                                       int timeoutMs, QObject *parent)
    : QObject(parent), m_servers(std::move(servers)), m_bindAddress(std::move(bindAddress))
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this,
            [this] { finish(QStringLiteral("the directory did not answer in time")); });
    connect(&m_socket, &QTcpSocket::connected, this, [this] { m_socket.write("s"); });
    connect(&m_socket, &QTcpSocket::readyRead, this, &StationListFetcher::received);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError && !m_answer.isEmpty()) {
            received();
            if (m_fetching)
                finish(QStringLiteral("the directory closed the connection before the list was complete"));
            return;
        }
        // Connection refused, host not found: the next server, if there is one.
        if (m_answer.isEmpty() && ++m_server < m_servers.size()) {
            tryServer();
            return;
        }
        finish(m_socket.errorString());
    });
}

void StationListFetcher::fetch()
{
    if (m_fetching)
        return;
    m_fetching = true;
    m_server = 0;
    m_timeout.start();
    tryServer();
}

void StationListFetcher::tryServer()
{
    m_socket.abort();
    m_answer.clear();
    if (!m_bindAddress.isNull())
        m_socket.bind(m_bindAddress);
    // Host names are looked up by Qt without blocking the loop.
    m_socket.connectToHost(m_servers.value(m_server), DirectoryPort);
}

void StationListFetcher::received()
{
    m_timeout.start();  // a directory still sending is not silent
    m_answer += m_socket.readAll();
    if (m_answer.size() > MaxAnswer) {
        finish(QStringLiteral("the directory's answer is larger than any station list"));
        return;
    }
    StationList list;
    // Parsing is tried only when the answer may be complete, not for every piece.
    if (!m_answer.endsWith("+++") && m_socket.state() == QAbstractSocket::ConnectedState)
        return;
    switch (StationList::parse(m_answer, list)) {
    case StationList::Parse::Complete:
        m_fetching = false;
        m_timeout.stop();
        m_socket.abort();
        Q_EMIT fetched(list);
        return;
    case StationList::Parse::Broken:
        finish(QStringLiteral("the directory sent a broken station list"));
        return;
    case StationList::Parse::NeedMore:
        return;
    }
}

void StationListFetcher::finish(const QString &error)
{
    if (!m_fetching)
        return;
    m_fetching = false;
    m_timeout.stop();
    m_socket.abort();
    m_answer.clear();
    Q_EMIT failed(error);
}
