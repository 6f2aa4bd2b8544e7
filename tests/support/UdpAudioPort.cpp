#include "UdpAudioPort.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>

#include <algorithm>
#include <cmath>
#include <stdexcept>

UdpAudioPort::UdpAudioPort(const QHostAddress &address, uint16_t port)
{
    if (!m_socket.bind(address, port))
        throw std::runtime_error("cannot bind UDP port " + std::to_string(port) + ": "
                                 + m_socket.errorString().toStdString());
    QObject::connect(&m_socket, &QUdpSocket::readyRead, [this] { readAll(); });
    m_pace.setTimerType(Qt::PreciseTimer);
    m_pace.setInterval(1000 * BlockFrames / SampleRate);
    QObject::connect(&m_pace, &QTimer::timeout, [this] { sendBlock(); });
}

std::string UdpAudioPort::deviceName() const
{
    return deviceName(m_socket.localAddress(), port());
}

std::string UdpAudioPort::deviceName(const QHostAddress &address, uint16_t port)
{
    return "udp:" + address.toString().toStdString() + ":" + std::to_string(port);
}

void UdpAudioPort::send(const std::vector<float> &samples, const QHostAddress &address, uint16_t port,
                        int channel)
{
    m_sendFrames.assign(samples.size() * Channels, 0);
    for (size_t i = 0; i < samples.size(); ++i)
        m_sendFrames[i * Channels + channel] =
            static_cast<int16_t>(std::lround(std::clamp(samples[i], -1.0f, 1.0f) * 32767.0f));
    m_sendNext = 0;
    m_sendAddress = address;
    m_sendPort = port;
    m_sendStartedMs = QDeadlineTimer::current().deadline();
    m_pace.start();
    sendBlock();
}

void UdpAudioPort::sendBlock()
{
    const size_t frames = std::min<size_t>(BlockFrames, m_sendFrames.size() / Channels - m_sendNext);
    if (frames == 0) {
        m_pace.stop();
        return;
    }
    const auto *data = reinterpret_cast<const char *>(m_sendFrames.data() + m_sendNext * Channels);
    m_socket.writeDatagram(data, qint64(frames * Channels * sizeof(int16_t)), m_sendAddress, m_sendPort);
    m_sendNext += frames;
}

void UdpAudioPort::readAll()
{
    while (m_socket.hasPendingDatagrams()) {
        const QByteArray data = m_socket.receiveDatagram().data();
        const qint64 now = QDeadlineTimer::current().deadline();
        if (m_received.empty())
            m_firstArrivalMs = now;
        m_arrivalsMs.push_back(now);
        const auto *samples = reinterpret_cast<const int16_t *>(data.constData());
        m_received.insert(m_received.end(), samples, samples + data.size() / qsizetype(sizeof(int16_t)));
    }
}

int UdpAudioPort::pauses() const
{
    // How far each datagram is behind a steady stream of one block per block's time since
    // the first. A reader held up for a while (this test process, on a busy machine) sees
    // datagrams late and then all at once: the stream has not fallen behind, and the least
    // lag over the next few datagrams stays put. A device that ran dry and waited sends
    // everything after later: that least lag rises for good.
    const double blockMs = 1000.0 * BlockFrames / SampleRate;
    constexpr size_t Window = 8;
    const size_t n = m_arrivalsMs.size();
    std::vector<double> lag(n);
    for (size_t i = 0; i < n; ++i)
        lag[i] = double(m_arrivalsMs[i] - m_arrivalsMs.front()) - double(i) * blockMs;
    int count = 0;
    double before = 0;
    for (size_t i = 0; i < n; ++i) {
        const double least = *std::min_element(lag.begin() + i, lag.begin() + std::min(n, i + Window));
        count += i > 0 && least - before > blockMs / 2;
        before = least;
    }
    return count;
}

std::vector<float> UdpAudioPort::received(int channel) const
{
    std::vector<float> samples;
    for (size_t i = channel; i < m_received.size(); i += Channels)
        samples.push_back(m_received[i] / 32768.0f);
    return samples;
}

uint16_t UdpAudioPort::freePort(const QHostAddress &address)
{
    QUdpSocket probe;
    probe.bind(address, 0);
    return probe.localPort();
}
