#include "CallerFlood.h"

#include "node/protocol/ControlPacket.h"

#include <QHostAddress>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr quint16 ControlPort = 5199;

sockaddr_in socketAddress(quint32 address, quint16 port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    return to;
}

}  // namespace

CallerFlood::CallerFlood(const QStringList &addresses, const QString &prefix)
{
    for (int i = 0; i < addresses.size(); ++i) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return;
        m_sockets.push_back(fd);
        const sockaddr_in local = socketAddress(QHostAddress(addresses[i]).toIPv4Address(), 0);
        if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0)
            return;
        m_packets.push_back(
            ControlPacket::sdes(QStringLiteral("%1%2").arg(prefix).arg(i).toLatin1(), "Flood", "SPEEX"));
    }
}

CallerFlood::~CallerFlood()
{
    wait();
    for (const int fd : m_sockets)
        ::close(fd);
}

void CallerFlood::start(const QString &node, int count, int ms)
{
    wait();
    m_sent = 0;
    m_thread = std::thread(&CallerFlood::run, this, QHostAddress(node).toIPv4Address(), count, ms);
}

void CallerFlood::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void CallerFlood::run(quint32 node, int count, int ms)
{
    using Clock = std::chrono::steady_clock;
    const sockaddr_in to = socketAddress(node, ControlPort);
    const auto begin = Clock::now();
    const int steps = std::max(1, ms);
    int next = 0;
    for (int step = 1; step <= steps; ++step) {
        // Whatever the step's share brings the total to, sent in one go, then a sleep
        // until the next millisecond.
        const int until = int(qint64(count) * step / steps);
        for (; next < until; ++next) {
            const size_t i = size_t(next) % m_sockets.size();
            if (::sendto(m_sockets[i], m_packets[i].constData(), size_t(m_packets[i].size()), 0,
                         reinterpret_cast<const sockaddr *>(&to), sizeof to)
                > 0)
                ++m_sent;
        }
        std::this_thread::sleep_until(begin + std::chrono::milliseconds(step));
    }
    m_tookMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}
