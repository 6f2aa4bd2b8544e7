#include "app/WaitSeconds.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <limits>

namespace WaitTimer {

void WaitSeconds(int seconds)
{
    if (seconds >= 1) {
        // One precise single-shot timer ends a nested loop that sleeps in the dispatcher
        // between events. Qt timers take an int of milliseconds; no caller waits 24 days.
        constexpr qint64 longest = std::numeric_limits<int>::max();
        const auto due = std::chrono::milliseconds(qMin(qint64(seconds) * 1000, longest));
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(due);
        loop.exec();
    }
    // The last dispatch pass, after the deadline (or the only one, for a zero wait).
    QCoreApplication::processEvents();
}

}  // namespace WaitTimer
