#include "node/SharedEncoding.h"

#include "node/protocol/StationLink.h"

#include <algorithm>

SharedEncoding::SharedEncoding() = default;
SharedEncoding::~SharedEncoding() = default;

void SharedEncoding::send(StationLink &link, const qint16 *samples)
{
    const quint8 type = link.sendingPayloadType();
    const auto it = m_streamOf.find(&link);
    Stream *stream = it == m_streamOf.end() ? nullptr : it->second;
    if (stream != nullptr && stream->payloadType == type) {
        if (stream->waiting.contains(&link)) {
            if (sameSound(*stream, samples)) {
                stream->waiting.erase(&link);
                link.sendEncodedVoice(type, stream->payload);
                return;
            }
            // It hears something else than the stream's other links: it leaves.
        } else if (stream->waiting.empty()) {
            // Every member has had the last packet: this link brings the next one.
            encode(*stream, samples);
            for (StationLink *member : stream->members)
                if (member != &link)
                    stream->waiting.insert(member);
            link.sendEncodedVoice(type, stream->payload);
            return;
        }
        // Otherwise it is a packet ahead of links that have not had the last one: it leaves.
    }
    if (stream != nullptr)
        leave(link);
    stream = join(link, type, samples);
    link.sendEncodedVoice(type, stream->payload);
}

SharedEncoding::Stream *SharedEncoding::join(StationLink &link, quint8 payloadType, const qint16 *samples)
{
    for (const auto &stream : m_streams) {
        if (stream->payloadType == payloadType && sameSound(*stream, samples)) {
            stream->members.push_back(&link);
            m_streamOf[&link] = stream.get();
            return stream.get();
        }
    }
    auto stream = std::make_unique<Stream>();
    stream->payloadType = payloadType;
    stream->encoder = makeCodec(payloadType);
    stream->members.push_back(&link);
    encode(*stream, samples);
    m_streamOf[&link] = stream.get();
    m_streams.push_back(std::move(stream));
    return m_streams.back().get();
}

void SharedEncoding::leave(StationLink &link)
{
    const auto it = m_streamOf.find(&link);
    if (it == m_streamOf.end())
        return;
    Stream *stream = it->second;
    m_streamOf.erase(it);
    stream->waiting.erase(&link);
    std::erase(stream->members, &link);
    if (stream->members.empty())
        std::erase_if(m_streams, [stream](const auto &s) { return s.get() == stream; });
}

bool SharedEncoding::sameSound(const Stream &stream, const qint16 *samples) const
{
    return std::equal(stream.samples.begin(), stream.samples.end(), samples);
}

void SharedEncoding::encode(Stream &stream, const qint16 *samples)
{
    std::copy(samples, samples + VoiceCodec::PacketSamples, stream.samples.begin());
    stream.payload = stream.encoder->encode(samples);
    ++m_encodings;
}
