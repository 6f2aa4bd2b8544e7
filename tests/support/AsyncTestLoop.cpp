#include "AsyncTestLoop.h"

#include <AsyncFdWatch.h>
#include <AsyncTimer.h>

#include <algorithm>
#include <poll.h>

void AsyncTestLoop::exec()
{
    m_quit = false;
    while (!m_quit)
        runOnce(Clock::now() + std::chrono::hours(1));
}

void AsyncTestLoop::quit()
{
    m_quit = true;
}

bool AsyncTestLoop::runUntil(const std::function<bool()> &done, int timeoutMs)
{
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && Clock::now() < until)
        runOnce(until);
    return done();
}

void AsyncTestLoop::runFor(int ms)
{
    runUntil([] { return false; }, ms);
}

void AsyncTestLoop::addFdWatch(Async::FdWatch *watch)
{
    m_watches.push_back(watch);
}

void AsyncTestLoop::delFdWatch(Async::FdWatch *watch)
{
    std::erase(m_watches, watch);
}

void AsyncTestLoop::addTimer(Async::Timer *timer)
{
    m_timers.push_back({timer, Clock::now() + std::chrono::milliseconds(timer->timeout())});
}

void AsyncTestLoop::delTimer(Async::Timer *timer)
{
    // A one-shot timer that has fired is already gone but still counts itself enabled.
    std::erase_if(m_timers, [timer](const PendingTimer &p) { return p.timer == timer; });
}

void AsyncTestLoop::runOnce(Clock::time_point until)
{
    Clock::time_point wake = until;
    for (const PendingTimer &p : m_timers)
        wake = std::min(wake, p.due);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());

    std::vector<pollfd> fds;
    for (Async::FdWatch *watch : m_watches) {
        const short events = watch->type() == Async::FdWatch::FD_WATCH_RD ? POLLIN : POLLOUT;
        fds.push_back({watch->fd(), events, 0});
    }
    const std::vector<Async::FdWatch *> polled = m_watches;
    const int ready = poll(fds.data(), fds.size(), std::max<int>(0, wait.count()));

    fireDueTimers();
    for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
        // A handler may have removed (and deleted) a watch polled here.
        Async::FdWatch *watch = polled[i];
        if (fds[i].revents != 0 && std::ranges::find(m_watches, watch) != m_watches.end())
            watch->activity(watch);
    }
}

void AsyncTestLoop::fireDueTimers()
{
    const auto now = Clock::now();
    std::vector<Async::Timer *> due;
    for (const PendingTimer &p : m_timers) {
        if (p.due <= now)
            due.push_back(p.timer);
    }
    for (Async::Timer *timer : due) {
        // An earlier handler may have stopped or deleted this timer.
        auto it = std::ranges::find_if(m_timers, [timer](const PendingTimer &p) { return p.timer == timer; });
        if (it == m_timers.end() || it->due > now)
            continue;
        if (timer->type() == Async::Timer::TYPE_PERIODIC)
            it->due += std::chrono::milliseconds(std::max(1, timer->timeout()));
        else
            m_timers.erase(it);
        timer->expired(timer);
    }
}
