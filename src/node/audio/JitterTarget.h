// How long the receive buffer holds back the start of a talk spurt, learnt from the link.
//
// Packets leave the far station on a steady schedule, one every packet's time, and arrive
// spread around it. The buffer plays a spurt from its first packet's arrival plus the hold;
// a packet that arrives later than the hold behind its place in that schedule comes after
// the sound ran dry: an underrun. So the hold follows the spread of arrivals over the last
// packets (less than the earliest can lead, more than the latest can lag): it grows at
// once when that spread grows or after an underrun, and shrinks slowly while arrivals are
// steady. On a clean link it stays near empty.
#pragma once

#include <array>

class JitterTarget
{
public:
    // Beyond the spread seen: the event loop's and the sound card timer's own delays.
    static constexpr double MarginMs = 5.0;
    static constexpr double MostMs = 400.0;
    static constexpr int Window = 64;  // packets the spread is taken over (5 s)
    // Each packet closes this share of the gap down to what the window needs: about
    // 35 steady packets (3 s) take the hold two thirds of the way down.
    static constexpr double ShrinkPerPacket = 0.03;

    // A new talk spurt: arrivals so far belong to another schedule.
    void spurtStarted();
    // A packet arrived this many milliseconds after (or, negative, before) its place in the
    // spurt's schedule, counted from the spurt's first packet.
    void arrived(double deviationMs);
    // The sound ran dry: a packet came this many milliseconds after it was due to play,
    // in a spurt held back this long. The hold becomes at least what would have covered it.
    void underrun(double lateMs, double heldMs);

    double holdMs() const { return m_holdMs; }

private:
    double windowSpread() const;

    std::array<double, Window> m_deviations{};
    int m_count = 0;
    int m_next = 0;
    double m_holdMs = MarginMs;
};
