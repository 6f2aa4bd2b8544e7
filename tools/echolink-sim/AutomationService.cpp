#include "AutomationService.h"

#include "Station.h"

#include <QDBusError>

#include <utility>

AutomationService::AutomationService(Station &station, const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_station(station),
      m_contract(bus, [this](const ContractServer::Call &call) { receive(call); })
{
    m_hangTimer.setSingleShot(true);
    m_hangTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_hangTimer, &QTimer::timeout, this, &AutomationService::releaseHeld);
}

void AutomationService::receive(const ContractServer::Call &call)
{
    // The automation calls are logged and may be set to fail or answer late; an object's
    // description is held back only by a hang, like every call.
    HeldCall held{call, false};
    const QString line = ContractServer::describe(call);
    if (!line.isEmpty()) {
        m_calls.append(line);
        if (m_successesLeft == 0)
            held.fail = true;
        else if (m_successesLeft > 0)
            --m_successesLeft;
    }
    // Calls received while earlier ones are still held wait behind them, to keep the order.
    if (!m_hangUntil.hasExpired() || !m_held.isEmpty())
        m_held.append(held);
    else if (m_replyDelayMs > 0 && !line.isEmpty())
        QTimer::singleShot(m_replyDelayMs, Qt::PreciseTimer, this, [this, held] { answer(held); });
    else
        answer(held);
}

void AutomationService::failAfter(int n)
{
    m_successesLeft = qMax(0, n);
}

void AutomationService::hangFor(int ms)
{
    if (ms <= 0)
        return;
    const QDeadlineTimer until(ms, Qt::PreciseTimer);
    if (!m_hangUntil.hasExpired() && m_hangUntil > until)
        return;  // an earlier hang lasts longer
    m_hangUntil = until;
    m_hangTimer.start(int(m_hangUntil.remainingTime()));
}

void AutomationService::releaseHeld()
{
    if (!m_hangUntil.hasExpired()) {  // the timer may fire a little early
        m_hangTimer.start(int(m_hangUntil.remainingTime()));
        return;
    }
    const QList<HeldCall> held = std::exchange(m_held, {});
    for (const HeldCall &call : held)
        answer(call);
}

void AutomationService::answer(const HeldCall &held)
{
    const ContractServer::Call &call = held.call;
    if (held.fail) {
        m_contract.fail(call, QDBusError::errorString(QDBusError::Failed),
                        QStringLiteral("EchoLink stand-in: call set to fail"));
        return;
    }
    m_contract.carryOut(call, *this);
}

ContractStation::Refusal AutomationService::connectTo(const QString &call)
{
    m_station.startLink(call);
    return {};
}

void AutomationService::disconnect(const QString &call)
{
    m_station.drop(call);
}

bool AutomationService::isConnected(const QString &call) const
{
    return m_station.isLinked(call);
}

QString AutomationService::callsign() const
{
    return m_station.callsign();
}
