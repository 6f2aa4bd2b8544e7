// A link's sound as the audio library sees it: a sink that gathers what the conference
// sends to the far station into packets of four 20 ms frames to encode (in the encoding it
// shares with links that send the same sound, when given one), and a source of what the
// link decodes from the far station. Both at the link's 8 kHz.
#pragma once

#include "node/protocol/VoiceCodec.h"

#include <AsyncAudioSink.h>
#include <AsyncAudioSource.h>

#include <QMetaObject>

#include <array>

class SharedEncoding;
class StationLink;

class LinkAudio : public Async::AudioSink, public Async::AudioSource
{
public:
    explicit LinkAudio(StationLink &link, SharedEncoding *encoding = nullptr);
    ~LinkAudio() override;

    LinkAudio(const LinkAudio &) = delete;
    LinkAudio &operator=(const LinkAudio &) = delete;

    // Sink: sound for the far station.
    int writeSamples(const float *samples, int count) override;
    void flushSamples() override;
    // Source: the next stage pulls nothing; the link pushes as packets come.
    void resumeOutput() override {}
    void allSamplesFlushed() override {}

private:
    void received(const qint16 *samples, int count);
    void sendPacket();

    StationLink &m_link;
    SharedEncoding *m_encoding;
    std::array<qint16, VoiceCodec::PacketSamples> m_packet{};
    int m_filled = 0;
    QMetaObject::Connection m_voice;
    QMetaObject::Connection m_talking;
};
