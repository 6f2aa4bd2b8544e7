#include "node/audio/StationAudio.h"

#include "node/audio/LinkRateAdapter.h"

#include <AsyncAudioIO.h>

StationAudio::StationAudio() : m_conference(&m_transmitMeter, &m_limiter)
{
    m_limiter.registerSink(&m_receiveMeter);
}

StationAudio::~StationAudio()
{
    // Devices and links let go of the graph before it goes.
    m_input.reset();
    m_output.reset();
    for (auto &[source, link] : m_links)
        m_conference.removeLink(link->received());
    m_links.clear();
}

bool StationAudio::openInput(const std::string &device)
{
    m_input.reset();
    auto input = std::make_unique<Async::AudioIO>(device, 0);
    if (!input->open(Async::AudioIO::MODE_RD))
        return false;
    input->registerSink(&m_transmitMeter);
    m_input = std::move(input);
    return true;
}

bool StationAudio::openOutput(const std::string &device)
{
    m_output.reset();
    auto output = std::make_unique<Async::AudioIO>(device, 0);
    if (!output->open(Async::AudioIO::MODE_WR))
        return false;
    m_receiveMeter.registerSink(output.get());
    m_output = std::move(output);
    return true;
}

void StationAudio::addLink(Async::AudioSource *fromLink, Async::AudioSink *toLink)
{
    if (m_links.contains(fromLink))
        return;
    auto link = std::make_unique<LinkRateAdapter>(fromLink, toLink);
    m_conference.addLink(link->received(), link->send());
    m_links[fromLink] = std::move(link);
}

void StationAudio::removeLink(Async::AudioSource *fromLink)
{
    const auto it = m_links.find(fromLink);
    if (it == m_links.end())
        return;
    m_conference.removeLink(it->second->received());
    m_links.erase(it);
}
