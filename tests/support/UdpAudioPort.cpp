#include "UdpAudioPort.h"

#include <AsyncUdpSocket.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const char *const Loopback = "127.0.0.1";
}

UdpAudioPort::UdpAudioPort(uint16_t port)
    : m_port(port ? port : freePort()),
      m_pace(1000 * BlockFrames / SampleRate, Async::Timer::TYPE_PERIODIC, false)
{
    m_socket = std::make_unique<Async::UdpSocket>(m_port, Async::IpAddress(Loopback));
    if (!m_socket->initOk())
        throw std::runtime_error("cannot bind UDP port " + std::to_string(m_port));
    m_socket->dataReceived.connect([this](const Async::IpAddress &, uint16_t, void *data, int bytes) {
        const auto *samples = static_cast<const int16_t *>(data);
        m_received.insert(m_received.end(), samples, samples + bytes / int(sizeof(int16_t)));
    });
    m_pace.expired.connect([this](Async::Timer *) { sendBlock(); });
}

UdpAudioPort::~UdpAudioPort() = default;

std::string UdpAudioPort::deviceName() const
{
    return std::string("udp:") + Loopback + ":" + std::to_string(m_port);
}

void UdpAudioPort::send(const std::vector<float> &samples, uint16_t port, int channel)
{
    m_sendFrames.assign(samples.size() * Channels, 0);
    for (size_t i = 0; i < samples.size(); ++i)
        m_sendFrames[i * Channels + channel] =
            static_cast<int16_t>(std::lround(std::clamp(samples[i], -1.0f, 1.0f) * 32767.0f));
    m_sendNext = 0;
    m_sendPort = port;
    m_pace.setEnable(true);
    sendBlock();
}

void UdpAudioPort::sendBlock()
{
    const size_t frames = std::min<size_t>(BlockFrames, m_sendFrames.size() / Channels - m_sendNext);
    if (frames == 0) {
        m_pace.setEnable(false);
        return;
    }
    m_socket->write(Async::IpAddress(Loopback), m_sendPort, m_sendFrames.data() + m_sendNext * Channels,
                    static_cast<int>(frames * Channels * sizeof(int16_t)));
    m_sendNext += frames;
}

std::vector<float> UdpAudioPort::received(int channel) const
{
    std::vector<float> samples;
    for (size_t i = channel; i < m_received.size(); i += Channels)
        samples.push_back(m_received[i] / 32768.0f);
    return samples;
}

uint16_t UdpAudioPort::freePort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}
