#include "panel/ClickQueue.h"

#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"
#include "automation/EchoLinkObjects.h"

#include <QDBusPendingCallWatcher>

ClickQueue::ClickQueue(const EchoLinkApplication &link, QObject *parent) : QObject(parent), m_link(link)
{
    m_timeout.setSingleShot(true);
    m_timeout.setTimerType(Qt::PreciseTimer);
    m_timeout.setInterval(Automation::CallTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &ClickQueue::finish);
}

ClickQueue::~ClickQueue() = default;

void ClickQueue::add(const QString &call)
{
    if (m_waiting.size() >= MaxWaiting)
        return;
    m_waiting.enqueue(call);
    if (!m_watcher)
        serveNext();
}

void ClickQueue::serveNext()
{
    if (m_waiting.isEmpty())
        return;
    const QString call = m_waiting.dequeue();
    await(m_link.IsConnected(call, busTimeoutFor(Automation::CallTimeoutMs)));
    connect(m_watcher.get(), &QDBusPendingCallWatcher::finished, this, [this, call] { act(call); });
}

void ClickQueue::await(const QDBusPendingCall &call)
{
    dropWatcher();
    m_watcher = std::make_unique<QDBusPendingCallWatcher>(call);
    m_timeout.start();
}

void ClickQueue::act(const QString &call)
{
    bool linked = false;
    try {
        linked = EchoLinkApplication::linkedIn(*m_watcher);
    } catch (const AutomationError &) {
        finish();
        return;
    }
    const int busTimeoutMs = busTimeoutFor(Automation::CallTimeoutMs);
    await(linked ? m_link.Disconnect(call, busTimeoutMs) : m_link.Connect(call, 0, busTimeoutMs));
    connect(m_watcher.get(), &QDBusPendingCallWatcher::finished, this, &ClickQueue::finish);
}

// Nothing is read back from the link request: the next refresh shows what became of it.
void ClickQueue::finish()
{
    m_timeout.stop();
    dropWatcher();
    Q_EMIT served();
    serveNext();
}

// Lets go of the call in flight. Its answer may already be waiting in the event queue
// (an answer that came in with the time-out): disconnected first, it acts on nothing.
void ClickQueue::dropWatcher()
{
    if (!m_watcher)
        return;
    m_watcher->disconnect(this);
    m_watcher.release()->deleteLater();  // it may be delivering its signal now
}
