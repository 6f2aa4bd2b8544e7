#include "node/AsyncQtApplication.h"

#include <AsyncFdWatch.h>
#include <AsyncTimer.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

AsyncQtApplication::AsyncQtApplication() = default;

AsyncQtApplication::~AsyncQtApplication()
{
    // The library's own destructors stop their timers through the base classes, which by
    // then no longer reach these members: stop the task timer now, while they still do.
    clearTasks();
    qDeleteAll(m_watches);
    qDeleteAll(m_timers);
}

void AsyncQtApplication::exec()
{
    QCoreApplication::exec();
}

void AsyncQtApplication::quit()
{
    QCoreApplication::quit();
}

void AsyncQtApplication::addFdWatch(Async::FdWatch *watch)
{
    delFdWatch(watch);
    const auto type =
        watch->type() == Async::FdWatch::FD_WATCH_RD ? QSocketNotifier::Read : QSocketNotifier::Write;
    auto *notifier = new QSocketNotifier(watch->fd(), type);
    m_watches.insert(watch, notifier);
    QObject::connect(notifier, &QSocketNotifier::activated, this,
                     [this, watch, notifier] { watchActive(watch, notifier); });
}

void AsyncQtApplication::delFdWatch(Async::FdWatch *watch)
{
    QSocketNotifier *notifier = m_watches.take(watch);
    if (notifier == nullptr)
        return;
    // The watch may be removed from inside its own activity handler.
    notifier->setEnabled(false);
    notifier->deleteLater();
}

void AsyncQtApplication::watchActive(Async::FdWatch *watch, QSocketNotifier *notifier)
{
    if (m_watches.value(watch) == notifier)  // still the same watch, not a removed one
        watch->activity(watch);
}

void AsyncQtApplication::addTimer(Async::Timer *timer)
{
    delTimer(timer);
    auto *qtimer = new QTimer;
    qtimer->setTimerType(Qt::PreciseTimer);
    qtimer->setSingleShot(timer->type() == Async::Timer::TYPE_ONESHOT);
    m_timers.insert(timer, qtimer);
    QObject::connect(qtimer, &QTimer::timeout, this, [this, timer, qtimer] { timerExpired(timer, qtimer); });
    qtimer->start(qMax(0, timer->timeout()));
}

void AsyncQtApplication::delTimer(Async::Timer *timer)
{
    QTimer *qtimer = m_timers.take(timer);
    if (qtimer == nullptr)
        return;
    // The timer may be deleted or reset from inside its own expiry handler.
    qtimer->stop();
    qtimer->deleteLater();
}

void AsyncQtApplication::timerExpired(Async::Timer *timer, QTimer *qtimer)
{
    if (m_timers.value(timer) != qtimer)
        return;
    // A one-shot timer stays enabled in the library's eyes but is no longer scheduled,
    // as the library's own loop does it: a reset() schedules it again.
    if (qtimer->isSingleShot()) {
        m_timers.remove(timer);
        qtimer->deleteLater();
    }
    timer->expired(timer);
}
