// Fetches the station list from the directory over a connection of its own (plain TCP,
// or the proxy's tunnel, as the route gives it), bounded in
// time and size. The node reads the list itself rather than through the EchoLink library
// so that a broken or hostile answer (overlong lines, endless or trickling data) is simply
// refused. Each server gets one deadline for its whole answer, and the answer is parsed
// once, when its line count says it is complete or the server closes.
#pragma once

#include "node/StationList.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class DirectoryRoute;
class DirectoryStream;

class StationListFetcher : public QObject
{
    Q_OBJECT

public:
    // A server fails when its whole answer has not come within timeoutMs.
    StationListFetcher(QStringList servers, DirectoryRoute &route, int timeoutMs, QObject *parent = nullptr);
    ~StationListFetcher() override;

    // Starts a fetch unless one is running.
    void fetch();
    bool isFetching() const { return m_fetching; }

    // The most a list answer may be.
    static constexpr qsizetype MaxAnswer = 32 * 1024 * 1024;

Q_SIGNALS:
    // A sound list arrived.
    void fetched(const StationList &list);
    // No sound list: the reason, for the log.
    void failed(const QString &reason);

private:
    enum class Progress { Incomplete, Complete, Broken };

    void tryServer();
    void dropStream();
    void received();
    Progress take(const QByteArray &bytes);
    void parse(const QString &incomplete);
    void finish(const QString &error);

    QStringList m_servers;
    DirectoryRoute &m_route;
    int m_timeoutMs;
    QPointer<DirectoryStream> m_socket;
    QTimer m_deadline;
    QByteArray m_answer;
    // What is known of the answer so far, kept as it grows so that no byte is looked at twice.
    qsizetype m_lines = 0;           // line ends received
    qsizetype m_lineStart = 0;       // where the line being received begins
    qsizetype m_expectedLines = -1;  // from the count line, once it is there
    int m_server = 0;
    bool m_fetching = false;
};
