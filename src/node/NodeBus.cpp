#include "NodeBus.h"

#include "Node.h"
#include "automation/AutomationContract.h"

StationObject::StationObject(Node &node, QObject *parent) : QObject(parent), m_node(node) {}

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

QString StationObject::DirectoryStatus() const
{
    return m_node.directoryStatus();
}

NodeBus::NodeBus(Node &node, const QDBusConnection &bus, QObject *parent)
    : QObject(parent),
      m_node(node),
      m_bus(bus),
      m_contract(bus, [this](const ContractServer::Call &call) { answer(call); }),
      m_station(node)
{
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

// Every call is answered at once.
void NodeBus::answer(const ContractServer::Call &call)
{
    using Kind = ContractServer::Call::Kind;
    switch (call.kind) {
    case Kind::Connect: {
        const StationLinks::Answer result = m_node.connectTo(call.call);
        if (result.outcome == StationLinks::Outcome::Refused)
            m_contract.fail(call, result.errorName, result.message);
        else
            m_contract.reply(call);
        return;
    }
    case Kind::Disconnect:
        m_node.disconnect(call.call);
        m_contract.reply(call);
        return;
    case Kind::IsConnected:
        m_contract.reply(call, m_node.isConnected(call.call));
        return;
    case Kind::Callsign:
        m_contract.reply(call, m_node.callsign());
        return;
    case Kind::Introspect:
        m_contract.reply(call);
        return;
    }
}
