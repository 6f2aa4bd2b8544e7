// The /Station object of the stand-in, as echolink-node has it: the station list in hand
// (set through /Control) and what happens to each link (LinkFailed, LinkStateChanged).
// Stations() is answered after the reply delay the control object sets, like the
// automation calls; it is not written to their log.
#pragma once

#include "automation/StationListEntry.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>

class Station;

class StationObject : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    StationObject(Station &station, const QDBusConnection &bus, QObject *parent = nullptr);

    // Puts the object on the bus; false when the path cannot be registered.
    bool registerObject();
    void setStations(const StationListEntries &stations) { m_stations = stations; }
    void setReplyDelay(int ms) { m_replyDelayMs = qMax(0, ms); }

public Q_SLOTS:
    QList<StationListEntry> Stations();

private:
    void emitSignal(const char *name, const QVariantList &arguments);

    Station &m_station;
    QDBusConnection m_bus;
    StationListEntries m_stations;
    int m_replyDelayMs = 0;
};
