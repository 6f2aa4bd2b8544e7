#include "panel/RefreshPass.h"

#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"
#include "automation/EchoLinkObjects.h"

#include <QDBusPendingCallWatcher>

RefreshPass::RefreshPass(const EchoLinkApplication &link,
                         const std::array<QString, CallCount> &calls, QObject *parent)
    : QObject(parent)
{
    m_silence.setSingleShot(true);
    m_silence.setTimerType(Qt::PreciseTimer);
    m_silence.setInterval(Automation::CallTimeoutMs);
    connect(&m_silence, &QTimer::timeout, this, &RefreshPass::stop);

    m_calls.reserve(CallCount);
    m_watchers.reserve(CallCount);
    for (int i = 0; i < CallCount; ++i) {
        // The bus drops a call once it could no longer be taken in time: the latest
        // moment is one time-out per answer before it in order.
        m_calls.push_back(link.IsConnected(calls[i], (i + 1) * Automation::CallTimeoutMs));
        auto *watcher = new QDBusPendingCallWatcher(m_calls.back(), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, &RefreshPass::takeAnswers);
        m_watchers.push_back(watcher);
    }
    m_silence.start();
    // Answers already in (a lost bus fails every call at once) are taken on the next turn
    // of the event loop, so the caller has connected to the signals by then.
    QMetaObject::invokeMethod(this, &RefreshPass::takeAnswers, Qt::QueuedConnection);
}

RefreshPass::~RefreshPass() = default;

void RefreshPass::takeAnswers()
{
    if (m_over)
        return;
    bool tookAny = false;
    while (m_next < CallCount && m_calls[m_next].isFinished()) {
        bool linked = false;
        try {
            linked = EchoLinkApplication::linkedIn(m_calls[m_next]);
        } catch (const AutomationError &) {
            stop();
            return;
        }
        Q_EMIT answered(m_next, linked);
        ++m_next;
        tookAny = true;
    }
    if (m_next == CallCount)
        stop();
    else if (tookAny)
        m_silence.start();
}

void RefreshPass::stop()
{
    if (m_over)
        return;
    m_over = true;
    m_silence.stop();
    // Answers still to come are of no use any more.
    for (QDBusPendingCallWatcher *watcher : m_watchers)
        watcher->disconnect(this);
    Q_EMIT ended();
}
