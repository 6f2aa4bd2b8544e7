#include "node/audio/LinkRateAdapter.h"

LinkRateAdapter::LinkRateAdapter(Async::AudioSource *fromLink, Async::AudioSink *toLink)
{
    fromLink->registerSink(&m_buffer);
    m_buffer.registerSink(&m_received);
    m_send.registerSink(toLink);
}

LinkRateAdapter::~LinkRateAdapter()
{
    m_buffer.unregisterSource();
    m_send.unregisterSink();
}
