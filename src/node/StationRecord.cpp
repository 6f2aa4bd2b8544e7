#include "node/StationRecord.h"

#include "node/StationList.h"

#include <QDBusMetaType>

StationRecord StationRecord::from(const StationEntry &entry)
{
    return {entry.callsign, entry.description, uint(entry.id),
            entry.status.isEmpty() ? QStringLiteral("ON") : entry.status};
}

void StationRecord::registerType()
{
    qDBusRegisterMetaType<StationRecord>();
    qDBusRegisterMetaType<StationRecords>();
}

QDBusArgument &operator<<(QDBusArgument &argument, const StationRecord &record)
{
    argument.beginStructure();
    argument << record.call << record.location << record.id << record.status;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, StationRecord &record)
{
    argument.beginStructure();
    argument >> record.call >> record.location >> record.id >> record.status;
    argument.endStructure();
    return argument;
}
