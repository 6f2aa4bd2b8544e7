#include "node/protocol/StationLink.h"

#include <algorithm>
#include <utility>

namespace {
// The far station is taken as talking until this long after its sound stops: each
// packet adds its own length, within these bounds.
constexpr int PacketMs = VoiceCodec::PacketSamples / 8;  // 80 ms at 8 kHz
constexpr int TalkingSlackMs = 100;
constexpr int TalkingMostMs = 1000;
}  // namespace

StationLink::StationLink(Transport &transport, const QHostAddress &far, Local local, Timing timing,
                         QObject *parent)
    : QObject(parent), m_transport(transport), m_far(far), m_local(std::move(local)), m_timing(timing),
      m_sdes(ControlPacket::sdes(m_local.callsign, m_local.name,
                                 m_local.gsmOnly ? QByteArray() : QByteArrayLiteral("SPEEX")))
{
    m_keepAlive.setInterval(m_timing.keepAliveMs);
    connect(&m_keepAlive, &QTimer::timeout, this, &StationLink::keepAlive);
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(m_timing.timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(End::TimedOut); });
    m_talking.setSingleShot(true);
    connect(&m_talking, &QTimer::timeout, this, [this] { Q_EMIT talkingChanged(false); });
}

StationLink::~StationLink()
{
    if (m_state == State::Calling || m_state == State::Up)
        m_transport.sendControl(m_far, ControlPacket::bye());
}

quint8 StationLink::sendingPayloadType() const
{
    return m_farOffersSpeex && !m_local.gsmOnly ? PayloadSpeex : PayloadGsm;
}

void StationLink::call()
{
    if (m_state != State::Idle)
        return;
    m_triesLeft = m_timing.callTries;
    m_transport.sendControl(m_far, m_sdes);
    m_keepAlive.start();
    setState(State::Calling);
}

void StationLink::accept(const ControlPacket &opening, quint16 port)
{
    if (m_state != State::Idle)
        return;
    m_controlPort = port;
    m_transport.sendControl(m_far, m_sdes);
    m_keepAlive.start();
    sdesReceived(opening);
}

void StationLink::hangUp()
{
    if (m_state != State::Calling && m_state != State::Up)
        return;
    m_transport.sendControl(m_far, ControlPacket::bye());
    finish(End::HungUp);
}

bool StationLink::portAllowed(quint16 &learnt, quint16 port) const
{
    // Through a tunnel datagrams carry no port, and the rule cannot apply.
    if (port == Transport::AnyPort || learnt == Transport::AnyPort) {
        learnt = port;
        return true;
    }
    return port == learnt;
}

bool StationLink::controlDatagram(quint16 port, const ControlPacket &packet)
{
    if (m_state != State::Calling && m_state != State::Up)
        return true;
    // Another station's SDES from this address: it wants a link of its own.
    if (packet.kind == ControlPacket::Kind::Sdes && !m_farCallsign.isEmpty()
        && packet.callsign.compare(m_farCallsign, Qt::CaseInsensitive) != 0) {
        Q_EMIT otherStationHeard(packet.callsign);
        return true;
    }
    // A call has no far port yet: the answering SDES sets it, a BYE refuses the call.
    if (m_controlPort == Transport::AnyPort && packet.kind == ControlPacket::Kind::Bye) {
        finish(End::FarBye);
        return true;
    }
    if (!portAllowed(m_controlPort, port))
        return false;
    if (packet.kind == ControlPacket::Kind::Bye)
        finish(End::FarBye);
    else
        sdesReceived(packet);
    return true;
}

void StationLink::sdesReceived(const ControlPacket &packet)
{
    if (m_farCallsign.isEmpty())
        m_farCallsign = packet.callsign;
    else if (packet.callsign.compare(m_farCallsign, Qt::CaseInsensitive) != 0) {
        Q_EMIT otherStationHeard(packet.callsign);
        return;
    }
    m_farOffersSpeex = packet.priv.contains("SPEEX");
    m_timeout.start();
    if (m_state != State::Up) {
        m_lastSound.start();
        setState(State::Up);
        if (m_state == State::Up && !m_local.info.isEmpty())
            sendInfo(m_local.info);
    }
}

void StationLink::keepAlive()
{
    if (m_state == State::Calling && --m_triesLeft <= 0) {
        finish(End::NoAnswer);
        return;
    }
    m_transport.sendControl(m_far, m_sdes);
}

bool StationLink::audioDatagram(quint16 port, const AudioPacket &packet)
{
    // A station that refuses a call says why before its goodbye, while the call is on.
    const bool heard =
        m_state == State::Up || (m_state == State::Calling && packet.kind == AudioPacket::Kind::Info);
    if (!heard)
        return true;
    if (!portAllowed(m_audioPort, port))
        return false;
    switch (packet.kind) {
    case AudioPacket::Kind::Voice:
        voiceHeard(packet);
        break;
    case AudioPacket::Kind::Info:
        Q_EMIT infoReceived(packet.text);
        break;
    case AudioPacket::Kind::Chat:
        Q_EMIT chatReceived(packet.text);
        break;
    }
    return true;
}

void StationLink::voiceHeard(const AudioPacket &packet)
{
    std::unique_ptr<VoiceCodec> &decoder = packet.payloadType == PayloadSpeex ? m_speexDecoder : m_gsmDecoder;
    if (!decoder)
        decoder = makeCodec(packet.payloadType);
    if (!decoder)
        return;
    qint16 samples[VoiceCodec::PacketSamples];
    const int count = decoder->decode(packet.payload, samples);
    if (count <= 0)
        return;
    const bool wasTalking = m_talking.isActive();
    const int left = wasTalking ? int(m_talkingUntil.remainingTime()) : 0;
    const int until = std::clamp(left + PacketMs, PacketMs + TalkingSlackMs, TalkingMostMs);
    m_talkingUntil.setRemainingTime(until);
    m_lastSound.start();
    m_talking.start(until);
    if (!wasTalking)
        Q_EMIT talkingChanged(true);
    if (!std::exchange(m_voiceHeard, true))
        Q_EMIT firstVoiceHeard(packet.payloadType);
    Q_EMIT voiceReceived(samples, count);
}

bool StationLink::sendInfo(const QByteArray &text)
{
    return m_state == State::Up && m_transport.sendAudio(m_far, AudioPacket::info(text));
}

bool StationLink::sendChat(const QByteArray &text)
{
    return m_state == State::Up && m_transport.sendAudio(m_far, AudioPacket::chat(m_local.callsign, text));
}

bool StationLink::relayChat(const QByteArray &writer, const QByteArray &text)
{
    return m_state == State::Up && m_transport.sendAudio(m_far, AudioPacket::chat(writer, text));
}

bool StationLink::sendVoice(const qint16 *samples)
{
    if (m_state != State::Up)
        return false;
    const quint8 type = sendingPayloadType();
    if (!m_encoder || m_encoder->payloadType() != type)
        m_encoder = makeCodec(type);
    return sendEncodedVoice(type, m_encoder->encode(samples));
}

bool StationLink::sendEncodedVoice(quint8 payloadType, const QByteArray &payload)
{
    if (m_state != State::Up)
        return false;
    m_lastSound.start();
    return m_transport.sendAudio(m_far, AudioPacket::voice(payloadType, m_sequence++, payload));
}

void StationLink::finish(End end)
{
    if (m_state == State::Ended)
        return;
    m_end = end;
    m_keepAlive.stop();
    m_timeout.stop();
    if (m_talking.isActive()) {
        m_talking.stop();
        Q_EMIT talkingChanged(false);
    }
    setState(State::Ended);
}

void StationLink::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}
