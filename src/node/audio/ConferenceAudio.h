// The node's audio routing: a small conference, as EchoLink nodes are.
//
//   - What every link receives is mixed to the local output (the sound card).
//   - What a link receives also goes to every other link, never back to itself.
//   - The local input goes to every link, but only while transmitting.
//
// Built from the audio library's parts, all at the library's 16 kHz (links are given here
// already converted from and to their own rate):
//
//   link i received -> AudioSplitter i --+--> output AudioMixer ------------> local output
//                                        +--> AudioMixer j (each j != i) --> link j send
//   local input -> AudioValve (transmit) -> AudioSplitter --> AudioMixer j (every j)
//
// A splitter branch feeds a mixer through an AudioPassthrough (a splitter takes sinks, a
// mixer takes sources). The library's mixer cannot drop an input, so a change of links
// rebuilds the splitters and mixers (the few milliseconds they hold are dropped); the
// transmit valve stays. An AudioSelector is not used: it passes one source at a time, and
// a conference must hear everyone at once. A mixer waits for every input that is sending,
// so a link must flush its audio when a station stops talking (the link's decoder does).
#pragma once

#include <AsyncAudioValve.h>

#include <memory>
#include <vector>

namespace Async {
class AudioSink;
class AudioSource;
}  // namespace Async

class ConferenceAudio
{
public:
    // Either end may be null: no sound card (input, output or both).
    ConferenceAudio(Async::AudioSource *localInput, Async::AudioSink *localOutput);
    ~ConferenceAudio();

    ConferenceAudio(const ConferenceAudio &) = delete;
    ConferenceAudio &operator=(const ConferenceAudio &) = delete;

    // A link's received audio and where to send audio for it. Neither may be connected to
    // anything else; the conference connects them until removeLink().
    void addLink(Async::AudioSource *received, Async::AudioSink *send);
    void removeLink(Async::AudioSource *received);
    int linkCount() const { return static_cast<int>(m_links.size()); }

    void setTransmitting(bool on);
    bool isTransmitting() const { return m_transmit.isOpen(); }

private:
    struct Link
    {
        Async::AudioSource *received;
        Async::AudioSink *send;
    };
    struct Wiring;

    void rewire();
    void disconnect();

    Async::AudioSink *m_localOutput;
    Async::AudioValve m_transmit;
    std::vector<Link> m_links;
    std::unique_ptr<Wiring> m_wiring;
};
