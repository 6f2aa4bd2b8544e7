// Fetches the station list from the directory over its own TCP connection, bounded in
// time and size. The node reads the list itself rather than through the EchoLink library
// so that a broken or hostile answer (overlong lines, endless data) is simply refused.
#pragma once

#include "StationList.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

class StationListFetcher : public QObject
{
    Q_OBJECT

public:
    // A fetch fails when the directory stays silent for timeoutMs.
    StationListFetcher(QStringList servers, QHostAddress bindAddress, int timeoutMs,
                       QObject *parent = nullptr);

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
    void tryServer();
    void received();
    void finish(const QString &error);

    QStringList m_servers;
    QHostAddress m_bindAddress;
    QTcpSocket m_socket;
    QTimer m_timeout;
    QByteArray m_answer;
    int m_server = 0;
    bool m_fetching = false;
};
