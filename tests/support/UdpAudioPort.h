// The test's side of the audio library's network audio device, which lets a test be the
// sound card of an audio graph or a node. How Debian's library (19.09) configures it:
//
//   - Name: "udp:ADDRESS:PORT", e.g. Async::AudioIO("udp:127.0.0.1:40000", 0); the second
//     argument is the channel that AudioIO uses. A name without both parts fails to open.
//   - Opened for reading (AudioIO::MODE_RD) the device binds ADDRESS:PORT and plays what
//     arrives there from anywhere; opened for writing (MODE_WR) it sends to ADDRESS:PORT
//     from an ephemeral port. One name opened both ways (an input and an output AudioIO on
//     the same name) binds ADDRESS:PORT and sends to it as well, i.e. to itself, so input
//     and output devices need names of their own (different ports).
//   - Samples: signed 16-bit, host byte order (little-endian here), frames interleaved
//     over AudioIO::setChannels() channels (2 unless set; full scale 32767 reads as 1.0,
//     and output is clamped to +-32767).
//   - Rate: AudioIO::setSampleRate(), by default the library's internal 16000 Hz.
//   - Blocks: AudioIO::setBlocksize() frames (256 unless set). Output goes out as one
//     datagram per block, paced by a timer every block's time (16 ms at 16 kHz), after a
//     prebuffer of two blocks; the end of a stream is padded with silence to a whole
//     block. Input datagrams of any length are cut into blocks; a partial block waits
//     for the next datagram.
//   - These settings are process-wide and hold for devices opened after they are set.
//
// The test's side runs on Qt's event loop, like the tests.
#pragma once

#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <cstdint>
#include <string>
#include <vector>

class UdpAudioPort
{
public:
    static constexpr int Channels = 2;
    static constexpr int BlockFrames = 256;
    static constexpr int SampleRate = 16000;

    // A port bound on a loopback address to capture what a device opened for writing to
    // it sends (port 0: any free port).
    explicit UdpAudioPort(const QHostAddress &address = QHostAddress::LocalHost, uint16_t port = 0);

    uint16_t port() const { return m_socket.localPort(); }
    // "udp:ADDRESS:PORT" of this port, for the device that writes to it.
    std::string deviceName() const;
    // The name of a device reading at `port` of `address`.
    static std::string deviceName(const QHostAddress &address, uint16_t port);

    // Sends the samples on `channel` (the others silent) to a device reading at
    // `address`:`port`, one block of frames per block's time, as a sound card would.
    void send(const std::vector<float> &samples, const QHostAddress &address, uint16_t port, int channel = 0);
    bool sendDone() const { return m_sendNext >= m_sendFrames.size() / Channels; }

    // What arrived on `channel`, in order, as samples in -1..1; clear() forgets it.
    std::vector<float> received(int channel = 0) const;
    void clear()
    {
        m_received.clear();
        m_arrivalsMs.clear();
    }
    // When each datagram since clear() arrived (monotonic milliseconds), and how many
    // times the stream paused: fell more than half a block behind its schedule for good,
    // i.e. the device ran dry and waited for sound.
    const std::vector<qint64> &arrivalsMs() const { return m_arrivalsMs; }
    int pauses() const;

    // When the last send() began and when the first datagram since clear() arrived
    // (QDeadlineTimer-style monotonic milliseconds; 0: not yet).
    qint64 sendStartedMs() const { return m_sendStartedMs; }
    qint64 firstArrivalMs() const { return m_firstArrivalMs; }

    // A UDP port of `address` that is free now, for a device to read at.
    static uint16_t freePort(const QHostAddress &address = QHostAddress::LocalHost);

private:
    void sendBlock();
    void readAll();

    QUdpSocket m_socket;
    std::vector<int16_t> m_received;
    std::vector<qint64> m_arrivalsMs;
    std::vector<int16_t> m_sendFrames;
    size_t m_sendNext = 0;  // frames sent
    QHostAddress m_sendAddress;
    uint16_t m_sendPort = 0;
    QTimer m_pace;
    qint64 m_sendStartedMs = 0;
    qint64 m_firstArrivalMs = 0;
};
