// One link with a far EchoLink station, as the protocol runs it:
//
//   call():   our SDES goes out, then again with every keep-alive; the far station's
//             SDES brings the link up; no answer after the keep-alive's tries ends it.
//   accept(): the caller's SDES opened it: ours goes back and the link is up at once.
//   up:       SDES both ways every keep-alive interval; a link that hears no SDES for the
//             link time-out has timed out; a BYE from the far end ends it, and hangUp()
//             ends it with one of ours.
//
// The link takes datagrams from the far station's address only as the node hands them
// over, already parsed, and only from the ports the link learnt: control datagrams from the
// port of the SDES that opened it, audio-port datagrams from the port of the first
// well-formed one. Once a link is up it sends our station information; sound goes in
// the codec both ends offer (Speex when the far station offers it, else GSM).
#pragma once

#include "node/protocol/AudioPacket.h"
#include "node/protocol/ControlPacket.h"
#include "node/protocol/Transport.h"
#include "node/protocol/VoiceCodec.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <memory>

class StationLink : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Calling, Up, Ended };
    // Why a link ended.
    enum class End { None, HungUp, FarBye, NoAnswer, TimedOut };

    // Who this station is, as the far station hears it.
    struct Local
    {
        QByteArray callsign;
        QByteArray name;
        QByteArray info;       // station information sent once the link is up, unless empty
        bool gsmOnly = false;  // offer and send GSM only
    };
    // The protocol's intervals (EchoLink's are 10 s, 5 tries, 50 s); shorter in tests.
    struct Timing
    {
        int keepAliveMs = 10000;
        int callTries = 5;
        int timeoutMs = 50000;
    };

    StationLink(Transport &transport, const QHostAddress &far, Local local, Timing timing,
                QObject *parent = nullptr);
    // A link that is still calling or up says goodbye as it goes.
    ~StationLink() override;

    QHostAddress address() const { return m_far; }
    State state() const { return m_state; }
    End end() const { return m_end; }
    bool isUp() const { return m_state == State::Up; }
    // How long no sound went either way on a link that is up (since it came up, at most).
    qint64 quietMs() const { return m_lastSound.elapsed(); }
    // The callsign the far station gave in its first SDES; empty until then.
    QByteArray farCallsign() const { return m_farCallsign; }
    // The codec sound goes out in: PayloadGsm or PayloadSpeex.
    quint8 sendingPayloadType() const;

    void call();
    // The caller's opening SDES, which came from this control port.
    void accept(const ControlPacket &opening, quint16 port);
    void hangUp();

    // Datagrams from the far station's address, parsed; from this port. False when the
    // link does not take datagrams from that port.
    bool controlDatagram(quint16 port, const ControlPacket &packet);
    bool audioDatagram(quint16 port, const AudioPacket &packet);

    // Information or chat to the far station, while the link is up; false otherwise.
    bool sendInfo(const QByteArray &text);
    bool sendChat(const QByteArray &text);
    // A line another station wrote, passed on under its callsign.
    bool relayChat(const QByteArray &writer, const QByteArray &text);
    // One packet of sound (VoiceCodec::PacketSamples at 8 kHz), while the link is up.
    bool sendVoice(const qint16 *samples);
    // One packet already encoded in that codec (shared with other links that send the same
    // sound); the RTP header, with this link's sequence number, is the link's own.
    bool sendEncodedVoice(quint8 payloadType, const QByteArray &payload);

Q_SIGNALS:
    void stateChanged(StationLink::State state);
    void infoReceived(const QByteArray &text);
    void chatReceived(const QByteArray &text);
    // Decoded sound: count samples at 8 kHz, valid during the call.
    void voiceReceived(const qint16 *samples, int count);
    // The far station started or stopped sending sound.
    void talkingChanged(bool talking);
    // The codec of the far station's first sound on this link (PayloadGsm or PayloadSpeex).
    void firstVoiceHeard(quint8 payloadType);
    // An SDES from the link's address that names another station than the linked one:
    // a second station behind the same address (EchoLink keeps one link per address).
    void otherStationHeard(const QByteArray &callsign);

private:
    void sdesReceived(const ControlPacket &packet);
    void keepAlive();
    void finish(End end);
    void setState(State state);
    void voiceHeard(const AudioPacket &packet);
    bool portAllowed(quint16 &learnt, quint16 port) const;

    Transport &m_transport;
    const QHostAddress m_far;
    const Local m_local;
    const Timing m_timing;
    const QByteArray m_sdes;  // ours, built once
    State m_state = State::Idle;
    End m_end = End::None;
    QByteArray m_farCallsign;
    bool m_farOffersSpeex = false;
    bool m_voiceHeard = false;
    quint16 m_controlPort = Transport::AnyPort;
    quint16 m_audioPort = Transport::AnyPort;
    int m_triesLeft = 0;
    QTimer m_keepAlive;
    QTimer m_timeout;
    QTimer m_talking;
    QDeadlineTimer m_talkingUntil;
    QElapsedTimer m_lastSound;  // restarted by sound either way
    quint16 m_sequence = 0;
    std::unique_ptr<VoiceCodec> m_encoder;
    std::unique_ptr<VoiceCodec> m_gsmDecoder;
    std::unique_ptr<VoiceCodec> m_speexDecoder;
};
