// Datagrams the node dropped, counted by why, and told in one log line a minute at most
// (never one line per datagram: anyone can send any number of them).
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class DropCount : public QObject
{
    Q_OBJECT

public:
    enum Why { Malformed, UnknownStation, WrongPort, Count };
    static constexpr int SummaryMs = 60000;

    explicit DropCount(int summaryMs = SummaryMs, QObject *parent = nullptr);
    void drop(Why why);
    // Dropped since start, for tests and benchmarks.
    quint64 total() const { return m_total; }

Q_SIGNALS:
    void logLine(const QString &line);

private:
    // Logs what was dropped since the last line; false when nothing was.
    bool summarise();

    std::array<quint64, Count> m_counts{};
    quint64 m_total = 0;
    QTimer m_summary;
};
