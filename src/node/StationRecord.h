// One station of the list in hand as the bus carries it to the panel and to scripts:
// the D-Bus struct (ssus), call, location, node number and status ("ON" or "BUSY").
#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>

struct StationEntry;

struct StationRecord
{
    QString call;
    QString location;
    uint id = 0;
    QString status;

    static StationRecord from(const StationEntry &entry);
    // Makes the struct and its list known to Qt's D-Bus marshalling; once, before the
    // object that returns them is put on the bus.
    static void registerType();
};

using StationRecords = QList<StationRecord>;

QDBusArgument &operator<<(QDBusArgument &argument, const StationRecord &record);
const QDBusArgument &operator>>(const QDBusArgument &argument, StationRecord &record);

Q_DECLARE_METATYPE(StationRecord)
