#include "node/StationListFetcher.h"

#include "node/protocol/DirectoryRoute.h"
#include "node/protocol/DirectoryStream.h"

namespace {
constexpr int HeaderLines = 2;  // "@@@" and the count
constexpr int LinesPerStation = 4;
}  // namespace

StationListFetcher::StationListFetcher(QStringList servers, DirectoryRoute &route, int timeoutMs,
                                       QObject *parent)
    : QObject(parent), m_servers(std::move(servers)), m_route(route), m_timeoutMs(timeoutMs)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        finish(QStringLiteral("the directory did not send the whole list within %1 ms").arg(m_timeoutMs));
    });
}

StationListFetcher::~StationListFetcher()
{
    dropStream();
}

void StationListFetcher::fetch()
{
    if (m_fetching || m_servers.isEmpty())
        return;
    m_fetching = true;
    m_server = 0;
    tryServer();
}

void StationListFetcher::tryServer()
{
    dropStream();
    m_answer.clear();
    m_lines = 0;
    m_lineStart = 0;
    m_expectedLines = -1;
    m_socket = m_route.newStream(this);
    connect(m_socket, &DirectoryStream::connected, this, [this] { m_socket->write("s"); });
    connect(m_socket, &DirectoryStream::readyRead, this, &StationListFetcher::received);
    connect(m_socket, &DirectoryStream::closed, this, [this] {
        if (!m_answer.isEmpty()) {
            received();
            if (m_fetching)
                parse(QStringLiteral("the directory closed the connection before the list was complete"));
            return;
        }
        if (++m_server < m_servers.size()) {
            tryServer();
            return;
        }
        finish(QStringLiteral("the directory closed the connection without an answer"));
    });
    connect(m_socket, &DirectoryStream::failed, this, [this](const QString &reason) {
        // Connection refused, host not found: the next server, if there is one.
        if (m_answer.isEmpty() && ++m_server < m_servers.size()) {
            tryServer();
            return;
        }
        finish(reason);
    });
    // The deadline is for the whole answer: a server that trickles is given up all the same.
    m_deadline.start(m_timeoutMs);
    m_socket->open(m_servers.value(m_server));
}

void StationListFetcher::dropStream()
{
    if (!m_socket)
        return;
    DirectoryStream *stream = m_socket;
    m_socket = nullptr;
    stream->disconnect(this);
    stream->abort();
    // It may be in the middle of emitting one of its signals.
    stream->deleteLater();
}

void StationListFetcher::received()
{
    if (!m_fetching)
        return;
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->read(MaxAnswer - m_answer.size() + 1);
    if (m_answer.size() + bytes.size() > MaxAnswer) {
        finish(QStringLiteral("the directory's answer is larger than any station list"));
        return;
    }
    switch (take(bytes)) {
    case Progress::Incomplete:
        return;
    case Progress::Complete:
        parse(QStringLiteral("the directory sent a broken station list"));
        return;
    case Progress::Broken:
        finish(QStringLiteral("the directory sent a broken station list"));
        return;
    }
}

StationListFetcher::Progress StationListFetcher::take(const QByteArray &bytes)
{
    qsizetype pos = m_answer.size();
    m_answer += bytes;
    for (qsizetype end; (end = m_answer.indexOf('\n', pos)) >= 0; pos = end + 1) {
        if (end - m_lineStart > StationList::MaxLine)
            return Progress::Broken;
        ++m_lines;
        if (m_lines == HeaderLines) {
            bool ok = false;
            const int count = m_answer.mid(m_lineStart, end - m_lineStart).trimmed().toInt(&ok);
            if (!ok || count < 0 || count > StationList::MaxEntries)
                return Progress::Broken;
            m_expectedLines = HeaderLines + qsizetype(count) * LinesPerStation;
        }
        m_lineStart = end + 1;
        if (m_expectedLines >= 0 && m_lines > m_expectedLines)
            return Progress::Broken;  // more lines than the count said
    }
    const qsizetype tail = m_answer.size() - m_lineStart;
    if (tail > StationList::MaxLine)
        return Progress::Broken;
    // Complete once every counted line is there and "+++" follows the last.
    if (m_lines == m_expectedLines && tail >= 3)
        return Progress::Complete;
    return Progress::Incomplete;
}

void StationListFetcher::parse(const QString &incomplete)
{
    StationList list;
    switch (StationList::parse(m_answer, list)) {
    case StationList::Parse::Complete:
        m_fetching = false;
        m_deadline.stop();
        dropStream();
        m_answer.clear();
        Q_EMIT fetched(list);
        return;
    case StationList::Parse::Broken:
        finish(QStringLiteral("the directory sent a broken station list"));
        return;
    case StationList::Parse::NeedMore:
        finish(incomplete);
        return;
    }
}

void StationListFetcher::finish(const QString &error)
{
    if (!m_fetching)
        return;
    m_fetching = false;
    m_deadline.stop();
    dropStream();
    m_answer.clear();
    Q_EMIT failed(error);
}
