#include "StationObject.h"

#include "Station.h"
#include "automation/AutomationContract.h"

#include <QDBusMessage>
#include <QTimer>

StationObject::StationObject(Station &station, const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_station(station), m_bus(bus)
{
    registerStationListTypes();
    connect(&m_station, &Station::linkFailed, this,
            [this](const QString &call, const QString &reason, const QString &text) {
                emitSignal(Automation::LinkFailedSignal, {call, reason, text});
            });
    connect(&m_station, &Station::linkStateChanged, this, [this](const QString &call, const QString &state) {
        emitSignal(Automation::LinkStateChangedSignal, {call, state});
    });
}

bool StationObject::registerObject()
{
    return m_bus.registerObject(QLatin1String(Automation::StationPath),
                                QLatin1String(Automation::StationInterface), this,
                                QDBusConnection::ExportAllSlots);
}

QList<StationListEntry> StationObject::Stations()
{
    if (m_replyDelayMs == 0 || !calledFromDBus())
        return m_stations;
    setDelayedReply(true);
    const QDBusMessage reply = message().createReply(QVariant::fromValue(m_stations));
    QTimer::singleShot(m_replyDelayMs, Qt::PreciseTimer, this, [this, reply] { m_bus.send(reply); });
    return {};
}

void StationObject::emitSignal(const char *name, const QVariantList &arguments)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(QLatin1String(Automation::StationPath),
                                   QLatin1String(Automation::StationInterface), QLatin1String(name));
    signal.setArguments(arguments);
    m_bus.send(signal);
}
