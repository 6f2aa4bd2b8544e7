#include "panel/RefreshPass.h"

#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"
#include "automation/EchoLinkObjects.h"

#include <QDBusPendingCallWatcher>

RefreshPass::RefreshPass(const EchoLinkApplication &link, const std::array<QString, CallCount> &calls,
                         QObject *parent)
    : QObject(parent)
{
    m_calls.reserve(CallCount);
    for (int i = 0; i < CallCount; ++i)
        // The latest call i can be taken in time is one time-out per answer before it.
        m_calls.push_back(link.IsConnected(calls[i], busTimeoutFor((i + 1) * Automation::CallTimeoutMs)));
    m_sinceLastAnswer.start();

    m_poll.setTimerType(Qt::PreciseTimer);
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &RefreshPass::poll);
    m_poll.start();
    watch(CallCount - 1);
    // Answers already in (a lost bus fails every call at once) are taken on the next turn
    // of the event loop, so the caller has connected to the signals by then.
    QMetaObject::invokeMethod(this, &RefreshPass::takeAnswers, Qt::QueuedConnection);
}

RefreshPass::~RefreshPass() = default;

void RefreshPass::watch(int index)
{
    if (m_watcher)
        m_watcher.release()->deleteLater();  // it may be delivering its signal now
    m_watched = index;
    m_watcher = std::make_unique<QDBusPendingCallWatcher>(m_calls[index]);
    connect(m_watcher.get(), &QDBusPendingCallWatcher::finished, this, &RefreshPass::takeAnswers);
}

// Takes the answers that are in, in button order; false when there was none to take.
bool RefreshPass::takeInOrder()
{
    bool tookAny = false;
    while (!m_over && m_next < CallCount && m_calls[m_next].isFinished()) {
        bool linked = false;
        try {
            linked = EchoLinkApplication::linkedIn(m_calls[m_next]);
        } catch (const AutomationError &) {
            stop();
            return tookAny;
        }
        Q_EMIT answered(m_next, linked);
        ++m_next;
        tookAny = true;
    }
    if (tookAny)
        m_sinceLastAnswer.restart();
    if (!m_over && m_next == CallCount)
        stop();
    return tookAny;
}

void RefreshPass::takeAnswers()
{
    if (m_over)
        return;
    takeInOrder();
    if (!m_over && m_calls[m_watched].isFinished())
        watch(m_next);
}

void RefreshPass::poll()
{
    if (m_over)
        return;
    if (!takeInOrder() && m_sinceLastAnswer.elapsed() >= Automation::CallTimeoutMs)
        stop();
    else if (!m_over && m_calls[m_watched].isFinished())
        watch(m_next);
}

void RefreshPass::stop()
{
    if (m_over)
        return;
    m_over = true;
    m_poll.stop();
    // Answers still to come are of no use any more.
    if (m_watcher)
        m_watcher->disconnect(this);
    Q_EMIT ended();
}
