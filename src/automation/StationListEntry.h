// One station of the list an EchoLink has in hand, as Stations() sends it on the bus
// (a(ssus): call, location, node number, status "ON" or "BUSY"), and the bounded reader
// a client uses on such an answer.
#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>

struct StationListEntry
{
    QString call;
    QString location;
    quint32 node = 0;
    QString status;

    // Longest texts a reader keeps; the rest of a longer text is dropped.
    static constexpr int MaxCallLength = 64;
    static constexpr int MaxLocationLength = 256;
    static constexpr int MaxStatusLength = 16;
    // Most entries a reader keeps from one list; the directory lists far fewer.
    static constexpr int MaxCount = 100000;

    bool operator==(const StationListEntry &other) const
    {
        return call == other.call && location == other.location && node == other.node
               && status == other.status;
    }
};
Q_DECLARE_METATYPE(StationListEntry)

using StationListEntries = QList<StationListEntry>;

QDBusArgument &operator<<(QDBusArgument &argument, const StationListEntry &entry);
const QDBusArgument &operator>>(const QDBusArgument &argument, StationListEntry &entry);

// Makes the entry and the list known to the bus library, as (ssus) and a(ssus).
void registerStationListTypes();

// The entries of an a(ssus) argument of a received message: at most MaxCount of them,
// each text cut to its longest. Anything else (wrong type, a value not an array of
// that structure) gives an empty list and `ok` false.
StationListEntries readStationList(const QVariant &argument, bool *ok = nullptr);
