// The /Control object: lets tests and demonstrations read the call log and make the
// stand-in misbehave. Its own calls are always answered at once.
#pragma once

#include <QObject>
#include <QStringList>

class AutomationService;
class Station;

class Control : public QObject
{
    Q_OBJECT

public:
    Control(Station &station, AutomationService &service, QObject *parent = nullptr);

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
    void Quit();

private:
    Station &m_station;
    AutomationService &m_service;
};
