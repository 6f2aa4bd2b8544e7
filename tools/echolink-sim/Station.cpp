#include "Station.h"

#include "automation/AutomationContract.h"

#include <QTimer>

#include <algorithm>

Station::Station(const QString &callsign, int connectDelayMs, QObject *parent)
    : QObject(parent), m_callsign(callsign), m_connectDelayMs(connectDelayMs)
{}

void Station::setCallsign(const QString &callsign)
{
    m_callsign = callsign;
    emit changed();
}

void Station::startLink(const QString &call)
{
    if (call.isEmpty() || m_linked.contains(call) || m_pending.contains(call))
        return;
    if (m_connectDelayMs == 0) {
        setLinked(call, true);
        return;
    }
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, call] { setLinked(call, true); });
    m_pending.insert(call, timer);
    timer->start(m_connectDelayMs);
    emit linkStateChanged(call, QLatin1String(Automation::LinkingState));
}

void Station::drop(const QString &call)
{
    setLinked(call, false);
}

void Station::setLinked(const QString &call, bool linked)
{
    const bool wasComing = cancelPending(call);
    if (call.isEmpty() || linked == m_linked.contains(call)) {
        if (wasComing)
            emit linkStateChanged(call, QLatin1String(Automation::UnlinkedState));
        return;
    }
    if (linked)
        m_linked.insert(call);
    else
        m_linked.remove(call);
    emit changed();
    emit linkStateChanged(call, QLatin1String(linked ? Automation::LinkedState : Automation::UnlinkedState));
}

void Station::failLink(const QString &call, const QString &reason, const QString &text)
{
    emit linkFailed(call, reason, text);
    setLinked(call, false);
}

QStringList Station::linkedCalls() const
{
    QStringList calls(m_linked.cbegin(), m_linked.cend());
    std::sort(calls.begin(), calls.end());
    return calls;
}

bool Station::cancelPending(const QString &call)
{
    QTimer *timer = m_pending.take(call);
    if (timer)
        timer->deleteLater();
    return timer != nullptr;
}
