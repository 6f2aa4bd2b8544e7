// The audio library's application core (SvxLink's Async), run on Qt's event loop: its file
// descriptor watches become QSocketNotifiers and its timers QTimers, so Qt, D-Bus and the
// library share the node's one thread. Derived from the library's CppApplication only to
// keep its DNS worker, which reports through a watch and therefore through this loop too.
#pragma once

#include <AsyncCppApplication.h>

#include <QHash>
#include <QObject>

class QSocketNotifier;
class QTimer;

class AsyncQtApplication : public QObject, public Async::CppApplication
{
public:
    AsyncQtApplication();
    ~AsyncQtApplication() override;

    AsyncQtApplication(const AsyncQtApplication &) = delete;
    AsyncQtApplication &operator=(const AsyncQtApplication &) = delete;

    // The Qt event loop runs the program; these only hand over to it.
    void exec() override;
    void quit() override;

private:
    void addFdWatch(Async::FdWatch *watch) override;
    void delFdWatch(Async::FdWatch *watch) override;
    void addTimer(Async::Timer *timer) override;
    void delTimer(Async::Timer *timer) override;

    void watchActive(Async::FdWatch *watch, QSocketNotifier *notifier);
    void timerExpired(Async::Timer *timer, QTimer *qtimer);

    QHash<Async::FdWatch *, QSocketNotifier *> m_watches;
    QHash<Async::Timer *, QTimer *> m_timers;
};
