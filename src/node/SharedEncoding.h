// Encoding shared between links that send the same sound in the same codec. In a
// conference every listener but the talking station hears the same mix; encoding it once
// per packet rather than once per link is most of the node's work for a large conference.
//
// Links share a stream: one encoder, fed once per packet, whose payload goes to each of
// them in a datagram of their own (the RTP header and its sequence number stay per link).
// A link's packet goes to its stream while it is the same sound the stream has just
// encoded; the first link of a stream to bring its next packet has that one encoded. A link
// whose packet differs from its stream's (it hears another mix, or its codec changed)
// leaves it and goes on in a stream of its own, with a new encoder.
//
// A link joins a stream only while it has none: at the start of a transmission to it
// (LinkAudio leaves at each end of one), when its packet is the same sound a stream has just
// encoded. Its far decoder then picks up that stream's encoder mid-way, as it does a new
// transmission; links never move from stream to stream mid-way.
#pragma once

#include "node/protocol/VoiceCodec.h"

#include <QtGlobal>

#include <array>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class StationLink;

class SharedEncoding
{
public:
    SharedEncoding();
    ~SharedEncoding();

    SharedEncoding(const SharedEncoding &) = delete;
    SharedEncoding &operator=(const SharedEncoding &) = delete;

    // One packet (VoiceCodec::PacketSamples) of sound for the link, in its sending codec.
    void send(StationLink &link, const qint16 *samples);
    // The transmission to the link ended, or the link goes.
    void leave(StationLink &link);

    // Packets encoded and streams running.
    long long encodings() const { return m_encodings; }
    int streamCount() const { return int(m_streams.size()); }

private:
    using Packet = std::array<qint16, VoiceCodec::PacketSamples>;
    struct Stream
    {
        quint8 payloadType;
        std::unique_ptr<VoiceCodec> encoder;
        Packet samples{};
        QByteArray payload;
        std::vector<StationLink *> members;
        std::unordered_set<StationLink *> waiting;  // members that have not had this payload
    };

    bool sameSound(const Stream &stream, const qint16 *samples) const;
    void encode(Stream &stream, const qint16 *samples);
    Stream *join(StationLink &link, quint8 payloadType, const qint16 *samples);

    std::vector<std::unique_ptr<Stream>> m_streams;
    std::unordered_map<StationLink *, Stream *> m_streamOf;
    long long m_encodings = 0;
};
