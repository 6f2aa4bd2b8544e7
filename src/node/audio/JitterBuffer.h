// A link's receive buffer, at the link's 8 kHz: what the link decodes arrives in packets
// of four 20 ms frames, all at once and not quite on time, and leaves as the sound card
// takes it.
//
// The first packet of a talk spurt is held back for the hold its JitterTarget has learnt
// (nearly nothing on a clean link), then the spurt plays. Its later packets are checked
// against the schedule it plays to: a packet that arrives after its first sample was due
// has met a dry buffer (an underrun, counted): it is held back again, for a hold grown by
// how late it was, so the rest of the spurt has room. A flush (the far station stopped
// talking) plays out what is left and ends the spurt.
//
// It bounds what it holds (one second): beyond that it takes no more until the next stage
// has taken some, as the audio library's FIFO does.
#pragma once

#include "node/audio/JitterTarget.h"

#include <AsyncAudioSink.h>
#include <AsyncAudioSource.h>
#include <AsyncTimer.h>

#include <functional>
#include <vector>

class JitterBuffer : public Async::AudioSink, public Async::AudioSource
{
public:
    static constexpr int Rate = 8000;
    static constexpr int CapacitySamples = Rate;  // one second
    // A write this soon after the one before belongs to the same packet (the link writes
    // a packet frame by frame, all at once).
    static constexpr double SameArrivalMs = 5.0;
    // Lateness up to half an output block is taken for the event loop's own delay (which
    // holds back the sound card's timer as much as the packet), not a dry buffer.
    static constexpr double ToleranceMs = 8.0;

    // Milliseconds of a monotonic clock; the steady clock unless a test gives its own.
    using Clock = std::function<double()>;
    explicit JitterBuffer(Clock clock = {});

    JitterBuffer(const JitterBuffer &) = delete;
    JitterBuffer &operator=(const JitterBuffer &) = delete;

    int underruns() const { return m_underruns; }
    double holdMs() const { return m_target.holdMs(); }
    int samplesHeld() const { return m_size; }
    bool isHolding() const { return m_state == State::Holding; }

    // Sink: the link's decoded sound.
    int writeSamples(const float *samples, int count) override;
    void flushSamples() override;
    // Source: the next stage has room again, or has played out a flush.
    void resumeOutput() override;
    void allSamplesFlushed() override;

private:
    enum class State { Idle, Holding, Playing };

    void startSpurt(double now);
    void checkArrival(double now);
    void hold(double ms);
    void release();
    void pushOut();

    Clock m_clock;
    JitterTarget m_target;
    Async::Timer m_releaseTimer;
    State m_state = State::Idle;
    std::vector<float> m_ring;
    int m_head = 0;  // next sample out
    int m_size = 0;
    bool m_flushing = false;
    bool m_inputStopped = false;
    bool m_outputStopped = false;
    int m_underruns = 0;
    double m_lastWriteMs = 0;
    double m_heldMs = 0;           // the hold the sound now playing started after
    double m_spurtStartMs = 0;     // arrival of the spurt's first packet
    double m_playStartMs = 0;      // when the sample at m_playBase began to play
    long long m_spurtSamples = 0;  // samples of the spurt written so far
    long long m_playBase = 0;      // index in the spurt of the first sample played at m_playStartMs
};
