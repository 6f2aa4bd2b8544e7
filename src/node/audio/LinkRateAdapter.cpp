#include "node/audio/LinkRateAdapter.h"

LinkRateAdapter::LinkRateAdapter(Async::AudioSource *fromLink, Async::AudioSink *toLink)
    : m_fifo(FifoSamples)
{
    m_fifo.setPrebufSamples(PrebufferSamples);
    fromLink->registerSink(&m_fifo);
    m_fifo.registerSink(&m_received);
    m_send.registerSink(toLink);
}

LinkRateAdapter::~LinkRateAdapter()
{
    m_fifo.unregisterSource();
    m_send.unregisterSink();
}
