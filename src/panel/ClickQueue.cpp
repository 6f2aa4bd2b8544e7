#include "panel/ClickQueue.h"

#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"
#include "automation/EchoLinkObjects.h"

#include <QDBusPendingCallWatcher>

ClickQueue::ClickQueue(const EchoLinkApplication &link, QObject *parent)
    : QObject(parent), m_link(link)
{
}

ClickQueue::~ClickQueue() = default;

void ClickQueue::add(const QString &call)
{
    m_waiting.enqueue(call);
    if (!m_watcher)
        serveNext();
}

void ClickQueue::serveNext()
{
    if (m_waiting.isEmpty())
        return;
    const QString call = m_waiting.dequeue();
    m_watcher = std::make_unique<QDBusPendingCallWatcher>(
        m_link.IsConnected(call, Automation::CallTimeoutMs));
    connect(m_watcher.get(), &QDBusPendingCallWatcher::finished, this, [this, call] { act(call); });
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
    // The watcher is still delivering its signal: it goes once control is back in the loop.
    m_watcher.release()->deleteLater();
    m_watcher = std::make_unique<QDBusPendingCallWatcher>(linked ? m_link.Disconnect(call)
                                                                 : m_link.Connect(call, 0));
    connect(m_watcher.get(), &QDBusPendingCallWatcher::finished, this, &ClickQueue::finish);
}

// Nothing is read back from the link request: the next refresh shows what became of it.
void ClickQueue::finish()
{
    m_watcher.release()->deleteLater();
    Q_EMIT served();
    serveNext();
}
