// The station's sound: the sound card's input and output, the links' audio, the
// conference between them, the output limiter and the receive and transmit meters.
//
//   input device -> transmit meter -> conference (to the links while transmitting)
//   conference (every link) -> output limiter -> receive meter -> output device
//
// Devices go by the audio library's names ("alsa:default", "udp:127.0.0.1:40000"). A side
// without a device (none asked for, or it could not be opened) is simply silent: the
// links still hear each other.
#pragma once

#include "node/audio/ConferenceAudio.h"
#include "node/audio/LevelMeter.h"
#include "node/audio/OutputLimiter.h"

#include <map>
#include <memory>
#include <string>

namespace Async {
class AudioIO;
}
class LinkRateAdapter;

class StationAudio
{
public:
    StationAudio();
    ~StationAudio();

    StationAudio(const StationAudio &) = delete;
    StationAudio &operator=(const StationAudio &) = delete;

    // Open the device of that name; false when it cannot be opened (the library has said
    // why on stderr), and that side stays without a device.
    bool openInput(const std::string &device);
    bool openOutput(const std::string &device);
    bool hasInput() const { return m_input != nullptr; }
    bool hasOutput() const { return m_output != nullptr; }

    // A link's 8 kHz audio: what it receives and where audio for it goes.
    void addLink(Async::AudioSource *fromLink, Async::AudioSink *toLink);
    void removeLink(Async::AudioSource *fromLink);

    void setTransmitting(bool on) { m_conference.setTransmitting(on); }
    bool isTransmitting() const { return m_conference.isTransmitting(); }

    LevelMeter &receiveMeter() { return m_receiveMeter; }
    LevelMeter &transmitMeter() { return m_transmitMeter; }

private:
    LevelMeter m_transmitMeter;
    LevelMeter m_receiveMeter;
    OutputLimiter m_limiter;
    ConferenceAudio m_conference;
    std::map<Async::AudioSource *, std::unique_ptr<LinkRateAdapter>> m_links;
    std::unique_ptr<Async::AudioIO> m_input;
    std::unique_ptr<Async::AudioIO> m_output;
};
