#include "Control.h"

#include "AutomationService.h"
#include "Station.h"
#include "StationObject.h"

Control::Control(Station &station, AutomationService &service, StationObject &stationObject, QObject *parent)
    : QObject(parent), m_station(station), m_service(service), m_stationObject(stationObject)
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
    m_stationObject.setReplyDelay(ms);
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

void Control::SetStations(const QList<StationListEntry> &stations)
{
    m_stationObject.setStations(stations);
}

void Control::FailLink(const QString &call, const QString &reason, const QString &text)
{
    m_station.failLink(call, reason, text);
}

void Control::Quit()
{
    m_service.quitSoon();
}
