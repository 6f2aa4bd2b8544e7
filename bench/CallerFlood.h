// A flood of strangers calling a node: SDES packets from many loopback addresses sent to
// the node's control port at a steady pace, on a thread of their own so that the bench's
// event loop stays free to time the node's bus answers meanwhile.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>
#include <vector>

class CallerFlood
{
public:
    // One socket on each address (any port); callsigns "<prefix><n>", none of them listed.
    CallerFlood(const QStringList &addresses, const QString &prefix);
    ~CallerFlood();
    CallerFlood(const CallerFlood &) = delete;
    CallerFlood &operator=(const CallerFlood &) = delete;

    bool bound() const { return !m_sockets.empty() && m_sockets.size() == m_packets.size(); }
    // Sends `count` packets to the node's control port over `ms` milliseconds, the
    // addresses taking turns, in steps of one millisecond. Returns at once.
    void start(const QString &node, int count, int ms);
    // Waits until every packet is out.
    void wait();
    int sent() const { return m_sent.load(); }
    // Milliseconds the sending took, once it has ended.
    double tookMs() const { return m_tookMs; }

private:
    void run(quint32 node, int count, int ms);

    std::vector<int> m_sockets;
    std::vector<QByteArray> m_packets;
    std::thread m_thread;
    std::atomic<int> m_sent{0};
    double m_tookMs = 0;
};
