#include "node/UnixSignals.h"

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

UnixSignals::UnixSignals(QObject *parent) : QObject(parent)
{}

UnixSignals::~UnixSignals()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UnixSignals::install()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    if (pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0)
        return false;
    m_fd = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    return m_fd >= 0;
}

void UnixSignals::watch()
{
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        signalfd_siginfo info{};
        while (::read(m_fd, &info, sizeof info) == ssize_t(sizeof info)) {}
        Q_EMIT quitRequested();
    });
}
