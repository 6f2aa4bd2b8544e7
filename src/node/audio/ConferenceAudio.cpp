#include "node/audio/ConferenceAudio.h"

#include <AsyncAudioMixer.h>
#include <AsyncAudioPassthrough.h>
#include <AsyncAudioSplitter.h>

#include <algorithm>

using Async::AudioMixer;
using Async::AudioPassthrough;
using Async::AudioSplitter;

// The parts between the ends for one set of links. Members are destroyed in reverse
// order: the passthroughs between splitters and mixers first, then the mixers and
// splitters, each of which lets go of what it was connected to.
struct ConferenceAudio::Wiring
{
    AudioSplitter fromLocal;
    AudioMixer toLocal;
    std::vector<std::unique_ptr<AudioSplitter>> fromLink;
    std::vector<std::unique_ptr<AudioMixer>> toLink;
    std::vector<std::unique_ptr<AudioPassthrough>> connections;

    void connect(AudioSplitter &from, AudioMixer &to)
    {
        auto connection = std::make_unique<AudioPassthrough>();
        from.addSink(connection.get());
        to.addSource(connection.get());
        connections.push_back(std::move(connection));
    }
};

ConferenceAudio::ConferenceAudio(Async::AudioSource *localInput, Async::AudioSink *localOutput)
    : m_localOutput(localOutput)
{
    m_transmit.setOpen(false);
    if (localInput)
        localInput->registerSink(&m_transmit);
    rewire();
}

ConferenceAudio::~ConferenceAudio()
{
    disconnect();
}

void ConferenceAudio::addLink(Async::AudioSource *received, Async::AudioSink *send)
{
    m_links.push_back({received, send});
    rewire();
}

void ConferenceAudio::removeLink(Async::AudioSource *received)
{
    const auto gone = std::remove_if(m_links.begin(), m_links.end(),
                                     [received](const Link &l) { return l.received == received; });
    if (gone == m_links.end())
        return;
    m_links.erase(gone, m_links.end());
    rewire();  // the removed link's ends are let go with the old wiring
}

void ConferenceAudio::setTransmitting(bool on)
{
    m_transmit.setOpen(on);
}

void ConferenceAudio::disconnect()
{
    if (!m_wiring)
        return;
    m_transmit.unregisterSink();
    if (m_localOutput)
        m_localOutput->unregisterSource();
    for (size_t i = 0; i < m_wiring->fromLink.size(); ++i) {
        m_wiring->fromLink[i]->unregisterSource();
        m_wiring->toLink[i]->unregisterSink();
    }
    m_wiring.reset();
}

void ConferenceAudio::rewire()
{
    disconnect();
    m_wiring = std::make_unique<Wiring>();
    Wiring &w = *m_wiring;
    m_transmit.registerSink(&w.fromLocal);
    if (m_localOutput)
        w.toLocal.registerSink(m_localOutput);

    for (const Link &link : m_links) {
        w.fromLink.push_back(std::make_unique<AudioSplitter>());
        w.toLink.push_back(std::make_unique<AudioMixer>());
        link.received->registerSink(w.fromLink.back().get());
        w.toLink.back()->registerSink(link.send);
    }
    for (size_t i = 0; i < m_links.size(); ++i) {
        w.connect(*w.fromLink[i], w.toLocal);
        w.connect(w.fromLocal, *w.toLink[i]);
        for (size_t j = 0; j < m_links.size(); ++j) {
            if (j != i)
                w.connect(*w.fromLink[i], *w.toLink[j]);
        }
    }
}
