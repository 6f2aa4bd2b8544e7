#include "LibraryLink.h"

#include "EventLine.h"
#include "ToneAnalysis.h"

#include <cstdio>

namespace RefStation {

// Payload types of the library's voice packets.
constexpr int GsmPayload = 0x03;
constexpr int SpeexPayload = 0x96;

LibraryLink::LibraryLink(const Async::IpAddress &address, const std::string &farCallsign,
                         const StationIdentity &local)
    : m_qso(address, local.callsign, local.name, local.info), m_label(escaped(farCallsign))
{
    if (local.gsmOnly) {
        // The constructor built the connect datagram offering Speex; setting the name
        // again rebuilds it without.
        m_qso.setUseGsmOnly();
        m_qso.setLocalName(local.name);
    }
    m_qso.setRemoteCallsign(farCallsign);
    m_qso.registerSink(&m_meter);
    m_qso.stateChange.connect(sigc::mem_fun(*this, &LibraryLink::stateChanged));
    m_qso.chatMsgReceived.connect(
        [this](const std::string &text) { event("chat " + m_label + ' ' + escaped(text)); });
    m_qso.infoMsgReceived.connect(
        [this](const std::string &text) { event("info " + m_label + ' ' + escaped(text)); });
    m_qso.isReceiving.connect(
        [this](bool receiving) { event("audio " + m_label + (receiving ? " on" : " off")); });
    m_qso.audioReceivedRaw.connect(sigc::mem_fun(*this, &LibraryLink::packetReceived));
}

LibraryLink::~LibraryLink()
{
    closed.clear();
    m_qso.disconnect();
}

void LibraryLink::stateChanged(EchoLink::Qso::State state)
{
    const char *name = "disconnected";
    switch (state) {
    case EchoLink::Qso::STATE_CONNECTING:
        name = "connecting";
        break;
    case EchoLink::Qso::STATE_CONNECTED:
        name = "connected";
        break;
    case EchoLink::Qso::STATE_BYE_RECEIVED:
        name = "bye";
        break;
    case EchoLink::Qso::STATE_DISCONNECTED:
        break;
    }
    event("state " + m_label + ' ' + name);
    if (state == EchoLink::Qso::STATE_DISCONNECTED)
        closed();
}

void LibraryLink::packetReceived(const EchoLink::Qso::RawPacket *packet)
{
    const int payload = packet->voice_packet->header.pt;
    const std::string codec = payload == SpeexPayload ? "SPEEX"
                              : payload == GsmPayload ? "GSM"
                                                      : "PT" + std::to_string(payload);
    if (codec != m_codec)
        event("codec " + m_label + ' ' + (m_codec = codec));
}

void LibraryLink::reportHeard()
{
    const std::vector<float> samples = m_meter.take();
    if (samples.empty())
        return;
    char figures[64];
    std::snprintf(figures, sizeof figures, " %.1f %.1f", dominantFrequency(samples), sineLevelDbfs(samples));
    event("heard " + m_label + figures);
}

}  // namespace RefStation
