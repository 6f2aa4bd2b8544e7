#include "node/audio/JitterBuffer.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

double steadyMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double samplesToMs(long long samples)
{
    return 1000.0 * double(samples) / JitterBuffer::Rate;
}

}  // namespace

JitterBuffer::JitterBuffer(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(steadyMs)),
      m_releaseTimer(0, Async::Timer::TYPE_ONESHOT, false), m_ring(CapacitySamples)
{
    m_releaseTimer.expired.connect([this](Async::Timer *) { release(); });
}

int JitterBuffer::writeSamples(const float *samples, int count)
{
    const double now = m_clock();
    m_flushing = false;
    if (m_state == State::Idle)
        startSpurt(now);
    else if (now - m_lastWriteMs >= SameArrivalMs)
        checkArrival(now);
    m_lastWriteMs = now;

    const int taken = std::min(count, CapacitySamples - m_size);
    for (int i = 0; i < taken; ++i)
        m_ring[(m_head + m_size + i) % CapacitySamples] = samples[i];
    m_size += taken;
    m_spurtSamples += taken;
    m_inputStopped = taken < count;
    if (m_state == State::Playing)
        pushOut();
    return taken;
}

void JitterBuffer::startSpurt(double now)
{
    m_spurtStartMs = now;
    m_spurtSamples = 0;
    m_target.spurtStarted();
    hold(m_target.holdMs());
}

void JitterBuffer::checkArrival(double now)
{
    m_target.arrived(now - (m_spurtStartMs + samplesToMs(m_spurtSamples)));
    if (m_state != State::Playing)
        return;
    const double due = m_playStartMs + samplesToMs(m_spurtSamples - m_playBase);
    if (now - due > ToleranceMs) {
        ++m_underruns;
        m_target.underrun(now - due, m_heldMs);
        hold(m_target.holdMs());
    }
}

void JitterBuffer::hold(double ms)
{
    m_state = State::Holding;
    const int wholeMs = int(std::lround(ms));
    m_heldMs = std::max(wholeMs, 0);
    if (wholeMs <= 0) {
        release();
        return;
    }
    m_releaseTimer.setTimeout(wholeMs);
    m_releaseTimer.setEnable(true);
}

void JitterBuffer::release()
{
    m_releaseTimer.setEnable(false);
    if (m_state != State::Holding)
        return;
    m_state = State::Playing;
    m_playStartMs = m_clock();
    m_playBase = m_spurtSamples - m_size;
    pushOut();
}

void JitterBuffer::flushSamples()
{
    m_flushing = true;
    if (m_state == State::Holding)
        release();  // the spurt has ended: nothing later to wait for
    else
        pushOut();
}

void JitterBuffer::resumeOutput()
{
    m_outputStopped = false;
    if (m_state == State::Playing)
        pushOut();
}

void JitterBuffer::pushOut()
{
    while (m_size > 0 && !m_outputStopped) {
        const int chunk = std::min(m_size, CapacitySamples - m_head);
        const int written = sinkWriteSamples(m_ring.data() + m_head, chunk);
        m_head = (m_head + written) % CapacitySamples;
        m_size -= written;
        m_outputStopped = written == 0;
    }
    if (m_inputStopped && m_size < CapacitySamples) {
        m_inputStopped = false;
        sourceResumeOutput();
    }
    if (m_flushing && m_size == 0 && m_state != State::Idle) {
        m_state = State::Idle;
        sinkFlushSamples();
    } else if (m_flushing && m_state == State::Idle) {
        sinkFlushSamples();
    }
}

void JitterBuffer::allSamplesFlushed()
{
    m_flushing = false;
    sourceAllSamplesFlushed();
}
