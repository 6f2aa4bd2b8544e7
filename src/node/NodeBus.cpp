#include "NodeBus.h"

#include "Node.h"
#include "automation/AutomationContract.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QTimer>

namespace {

const QString Introspectable = QStringLiteral("org.freedesktop.DBus.Introspectable");

QString method(const char *name, const QString &arguments)
{
    return QStringLiteral("    <method name=\"%1\">\n%2    </method>\n")
        .arg(QLatin1String(name), arguments);
}

QString argument(const char *name, const char *type, const char *direction)
{
    return QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"%3\"/>\n")
        .arg(QLatin1String(name), QLatin1String(type), QLatin1String(direction));
}

bool is(const QDBusMessage &message, const char *member, const char *signature)
{
    return message.member() == QLatin1String(member)
           && message.signature() == QLatin1String(signature);
}

}  // namespace

ContractObject::ContractObject(NodeBus &bus, QString interfaceName, QString membersXml,
                               QObject *parent)
    : QDBusVirtualObject(parent),
      m_bus(bus),
      m_interfaceName(std::move(interfaceName)),
      m_membersXml(std::move(membersXml))
{
}

QString ContractObject::interfaceXml() const
{
    return QStringLiteral("  <interface name=\"%1\">\n%2  </interface>\n")
        .arg(m_interfaceName, m_membersXml);
}

QString ContractObject::introspectionXml() const
{
    return QStringLiteral(
               "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n")
           + interfaceXml()
           + QStringLiteral("  <interface name=\"%1\">\n").arg(Introspectable)
           + method("Introspect", argument("xml_data", "s", "out"))
           + QStringLiteral("  </interface>\n</node>\n");
}

QString ContractObject::introspect(const QString &) const
{
    return interfaceXml();
}

bool ContractObject::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    return m_bus.receive(*this, message);
}

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
    : QObject(parent), m_node(node), m_bus(bus), m_station(node)
{
}

bool NodeBus::registerObjects()
{
    using namespace Automation;
    const QString application =
        method(ConnectMethod, argument("call", "s", "in") + argument("mode", "i", "in"))
        + method(DisconnectMethod, argument("call", "s", "in"))
        + method(IsConnectedMethod, argument("call", "s", "in") + argument("connected", "b", "out"))
        + QStringLiteral("    <signal name=\"%1\"/>\n").arg(QLatin1String(ClosingSignal));
    const QString setupConfig = method(CallsignMethod, argument("callsign", "s", "out"));
    auto put = [this](const char *path, const char *interfaceName, const QString &members) {
        auto *object = new ContractObject(*this, QLatin1String(interfaceName), members, this);
        return m_bus.registerVirtualObject(QLatin1String(path), object, QDBusConnection::SingleNode);
    };
    return put(ApplicationPath, ApplicationInterface, application)
           && put(SetupConfigPath, SetupConfigInterface, setupConfig)
           && put(SysopConfigPath, SysopConfigInterface, QString())
           && m_bus.registerObject(QLatin1String(StationPath), &m_station,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
}

QString NodeBus::ownName()
{
    const QString name = QLatin1String(Automation::ServiceName);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> owned =
        m_bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (!owned.isValid())
        return QStringLiteral("cannot own %1: %2").arg(name, owned.error().message());
    if (owned.value() != QDBusConnectionInterface::ServiceRegistered)
        return QStringLiteral("the bus name %1 is taken: another EchoLink, stand-in or node owns it")
            .arg(name);
    return {};
}

bool NodeBus::receive(const ContractObject &object, const QDBusMessage &message)
{
    const bool introspect = message.member() == QLatin1String("Introspect")
                            && (message.interface().isEmpty() || message.interface() == Introspectable);
    if (!introspect && !message.interface().isEmpty() && message.interface() != object.interfaceName())
        return false;  // Properties, Peer and the like: QtDBus answers those
    const QDBusMessage reply = answer(object, message);
    if (message.isReplyRequired())
        m_bus.send(reply);
    return true;
}

QDBusMessage NodeBus::answer(const ContractObject &object, const QDBusMessage &message)
{
    using namespace Automation;
    const QList<QVariant> args = message.arguments();
    if (message.member() == QLatin1String("Introspect") && message.signature().isEmpty())
        return message.createReply(object.introspectionXml());
    if (object.interfaceName() == QLatin1String(ApplicationInterface)) {
        if (is(message, ConnectMethod, "si")) {
            const StationLinks::Answer result = m_node.connectTo(args[0].toString());
            if (result.outcome == StationLinks::Outcome::Refused)
                return message.createErrorReply(result.errorName, result.message);
            return message.createReply();
        }
        if (is(message, DisconnectMethod, "s")) {
            m_node.disconnect(args[0].toString());
            return message.createReply();
        }
        if (is(message, IsConnectedMethod, "s"))
            return message.createReply(m_node.isConnected(args[0].toString()));
    }
    if (object.interfaceName() == QLatin1String(SetupConfigInterface) && is(message, CallsignMethod, ""))
        return message.createReply(m_node.callsign());
    return message.createErrorReply(
        QDBusError::UnknownMethod,
        QStringLiteral("No method %1 with signature \"%2\" on interface %3")
            .arg(message.member(), message.signature(), object.interfaceName()));
}

void NodeBus::closeAndQuit()
{
    m_bus.send(QDBusMessage::createSignal(QLatin1String(Automation::ApplicationPath),
                                          QLatin1String(Automation::ApplicationInterface),
                                          QLatin1String(Automation::ClosingSignal)));
    // Messages leave in order: once the bus daemon has answered this call, Closing has
    // reached it too, and the process may end.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ping, 1000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, qApp, &QCoreApplication::quit);
}
