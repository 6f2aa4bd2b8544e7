#include "automation/StationListEntry.h"

#include <QDBusMetaType>

QDBusArgument &operator<<(QDBusArgument &argument, const StationListEntry &entry)
{
    argument.beginStructure();
    argument << entry.call << entry.location << entry.node << entry.status;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, StationListEntry &entry)
{
    argument.beginStructure();
    argument >> entry.call >> entry.location >> entry.node >> entry.status;
    argument.endStructure();
    return argument;
}

void registerStationListTypes()
{
    qDBusRegisterMetaType<StationListEntry>();
    qDBusRegisterMetaType<StationListEntries>();
}

StationListEntries readStationList(const QVariant &value, bool *ok)
{
    if (ok)
        *ok = false;
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return {};
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(ssus)"))
        return {};
    StationListEntries list;
    argument.beginArray();
    while (!argument.atEnd() && list.size() < StationListEntry::MaxCount) {
        StationListEntry entry;
        argument >> entry;
        entry.call.truncate(StationListEntry::MaxCallLength);
        entry.location.truncate(StationListEntry::MaxLocationLength);
        entry.status.truncate(StationListEntry::MaxStatusLength);
        list.append(std::move(entry));
    }
    // Entries past the most kept are left unread (the argument is a copy of the message's);
    // ending the array frees what reading it took.
    argument.endArray();
    if (ok)
        *ok = true;
    return list;
}
