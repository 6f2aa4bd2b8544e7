#include "node/NodeBus.h"

#include "automation/AutomationContract.h"
#include "node/Node.h"
#include "node/StationList.h"

StationObject::StationObject(Node &node, QObject *parent) : QObject(parent), m_node(node)
{}

QStringList StationObject::Links() const
{
    return m_node.links();
}

void StationObject::Transmit(bool on)
{
    const Node::Refusal refusal = m_node.transmit(on);
    if (!refusal.errorName.isEmpty())
        sendErrorReply(refusal.errorName, refusal.message);
}

void StationObject::SendChat(const QString &text)
{
    const Node::Refusal refusal = m_node.sendChat(text);
    if (!refusal.errorName.isEmpty())
        sendErrorReply(refusal.errorName, refusal.message);
}

bool StationObject::IsTransmitting() const
{
    return m_node.isTransmitting();
}

QList<StationListEntry> StationObject::Stations() const
{
    QList<StationListEntry> records;
    const QList<StationEntry> &entries = m_node.stationList().entries();
    records.reserve(entries.size());
    for (const StationEntry &entry : entries)
        records.append({entry.callsign, entry.description, quint32(entry.id),
                        entry.status.isEmpty() ? QStringLiteral("ON") : entry.status});
    return records;
}

QString StationObject::DirectoryStatus() const
{
    return m_node.directoryStatus();
}

NodeBus::NodeBus(Node &node, const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_node(node), m_bus(bus),
      // Every call is carried out and answered at once.
      m_contract(bus, [this](const ContractServer::Call &call) { m_contract.carryOut(call, m_node); }),
      m_station(node)
{
    registerStationListTypes();
}

bool NodeBus::registerObjects()
{
    return m_contract.registerObjects()
           && m_bus.registerObject(QLatin1String(Automation::StationPath), &m_station,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
}

QString NodeBus::ownName()
{
    return m_contract.ownName();
}
