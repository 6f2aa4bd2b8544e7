// The /Control object: lets tests and demonstrations read the call log and make the
// stand-in misbehave. Its own calls are always answered at once.
#pragma once

#include "automation/StationListEntry.h"

#include <QObject>
#include <QStringList>

class AutomationService;
class Station;
class StationObject;

class Control : public QObject
{
    Q_OBJECT

public:
    Control(Station &station, AutomationService &service, StationObject &stationObject,
            QObject *parent = nullptr);

public slots:
    QStringList Calls() const;
    void ClearCalls();
    void FailAfter(int n);
    void Heal();
    void HangFor(int ms);
    void SetReplyDelay(int ms);
    void SetLinked(const QString &call, bool linked);
    void EmitClosing();
    void SetCallsign(const QString &callsign);
    // The station list /Station answers with.
    void SetStations(const QList<StationListEntry> &stations);
    // The link to the call fails: LinkFailed(call, reason, text), and the link is let go.
    void FailLink(const QString &call, const QString &reason, const QString &text);
    void Quit();

private:
    Station &m_station;
    AutomationService &m_service;
    StationObject &m_stationObject;
};
