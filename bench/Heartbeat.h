// The longest time the event loop went without running a 1 ms timer since reset(): as
// seen on the clock, and the part of it that was the program's own doing. Not its own
// is the time the thread waited for a CPU that other programs held, or the host held
// back the CPU it ran on (a virtual machine sharing its host is paused now and then,
// with every program on it); the larger of the two is taken off each gap.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <vector>

class Heartbeat
{
public:
    Heartbeat();
    Heartbeat(const Heartbeat &) = delete;
    Heartbeat &operator=(const Heartbeat &) = delete;

    void reset();
    // Both count the gap running up to the call.
    double longestMs();
    double longestOwnMs();

private:
    void beat();

    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_cpu = 0;
    std::vector<double> m_stolen;
    double m_waited = 0;
    double m_longest = 0;
    double m_longestOwn = 0;
};
