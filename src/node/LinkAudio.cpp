#include "node/LinkAudio.h"

#include "node/SharedEncoding.h"
#include "node/protocol/StationLink.h"

#include <algorithm>
#include <cmath>

LinkAudio::LinkAudio(StationLink &link, SharedEncoding *encoding) : m_link(link), m_encoding(encoding)
{
    m_voice = QObject::connect(&link, &StationLink::voiceReceived,
                               [this](const qint16 *samples, int count) { received(samples, count); });
    // When the far station stops talking, what it said is flushed through the conference,
    // whose mixers wait for every input that is sending.
    m_talking = QObject::connect(&link, &StationLink::talkingChanged, [this](bool talking) {
        if (!talking)
            sinkFlushSamples();
    });
}

LinkAudio::~LinkAudio()
{
    QObject::disconnect(m_voice);
    QObject::disconnect(m_talking);
    if (m_encoding)
        m_encoding->leave(m_link);
}

int LinkAudio::writeSamples(const float *samples, int count)
{
    for (int i = 0; i < count; ++i) {
        const float sample = std::clamp(samples[i], -1.0f, 1.0f);
        m_packet[m_filled++] = qint16(std::lround(sample * 32767.0f));
        if (m_filled == VoiceCodec::PacketSamples)
            sendPacket();
    }
    return count;
}

void LinkAudio::flushSamples()
{
    // The last packet of a transmission is filled with silence.
    if (m_filled > 0) {
        std::fill(m_packet.begin() + m_filled, m_packet.end(), qint16(0));
        sendPacket();
    }
    if (m_encoding)
        m_encoding->leave(m_link);
    sourceAllSamplesFlushed();
}

void LinkAudio::sendPacket()
{
    if (m_encoding)
        m_encoding->send(m_link, m_packet.data());
    else
        m_link.sendVoice(m_packet.data());
    m_filled = 0;
}

void LinkAudio::received(const qint16 *samples, int count)
{
    float frame[VoiceCodec::FrameSamples];
    for (int start = 0; start < count; start += VoiceCodec::FrameSamples) {
        const int n = std::min(VoiceCodec::FrameSamples, count - start);
        for (int i = 0; i < n; ++i)
            frame[i] = float(samples[start + i]) / 32768.0f;
        sinkWriteSamples(frame, n);
    }
}
