#include "Control.h"

#include "AutomationService.h"
#include "Station.h"

Control::Control(Station &station, AutomationService &service, QObject *parent)
    : QObject(parent), m_station(station), m_service(service)
{}

QStringList Control::Calls() const
{
    return m_service.calls();
}

void Control::ClearCalls()
{
    m_service.clearCalls();
}

void Control::FailAfter(int n)
{
    m_service.failAfter(n);
}

void Control::Heal()
{
    m_service.heal();
}

void Control::HangFor(int ms)
{
    m_service.hangFor(ms);
}

void Control::SetReplyDelay(int ms)
{
    m_service.setReplyDelay(ms);
}

void Control::SetLinked(const QString &call, bool linked)
{
    m_station.setLinked(call, linked);
}

void Control::EmitClosing()
{
    m_service.raiseClosingAndQuit();
}

void Control::SetCallsign(const QString &callsign)
{
    m_station.setCallsign(callsign);
}

void Control::Quit()
{
    m_service.quitSoon();
}
