#include "ContractServer.h"

#include "automation/AutomationContract.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVirtualObject>
#include <QTimer>

#include <optional>

namespace {

const QString Introspectable = QStringLiteral("org.freedesktop.DBus.Introspectable");

QString method(const char *name, const QString &arguments)
{
    return QStringLiteral("    <method name=\"%1\">\n%2    </method>\n").arg(QLatin1String(name), arguments);
}

QString argument(const char *name, const char *type, const char *direction)
{
    return QStringLiteral("      <arg name=\"%1\" type=\"%2\" direction=\"%3\"/>\n")
        .arg(QLatin1String(name), QLatin1String(type), QLatin1String(direction));
}

bool is(const QDBusMessage &message, const char *member, const char *signature)
{
    return message.member() == QLatin1String(member) && message.signature() == QLatin1String(signature);
}

}  // namespace

// One automation object. It answers only its introspection itself; every call of the
// contract goes to the server's handler.
class ContractServer::Object : public QDBusVirtualObject
{
public:
    Object(ContractServer &server, const char *interfaceName, QString membersXml)
        : QDBusVirtualObject(&server), m_server(server), m_interfaceName(QLatin1String(interfaceName)),
          m_membersXml(std::move(membersXml))
    {}

    QString interfaceName() const { return m_interfaceName; }

    QString interfaceXml() const
    {
        return QStringLiteral("  <interface name=\"%1\">\n%2  </interface>\n")
            .arg(m_interfaceName, m_membersXml);
    }

    // The whole introspection document of the object.
    QString introspectionXml() const
    {
        return QStringLiteral(
                   "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n")
               + interfaceXml() + QStringLiteral("  <interface name=\"%1\">\n").arg(Introspectable)
               + method("Introspect", argument("xml_data", "s", "out"))
               + QStringLiteral("  </interface>\n</node>\n");
    }

    // Only used if QtDBus ever introspects without asking handleMessage() first.
    QString introspect(const QString &) const override { return interfaceXml(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        return m_server.receive(*this, message);
    }

private:
    ContractServer &m_server;
    QString m_interfaceName;
    QString m_membersXml;
};

ContractServer::ContractServer(const QDBusConnection &bus, Handler handler, QObject *parent)
    : QObject(parent), m_bus(bus), m_handler(std::move(handler))
{}

bool ContractServer::registerObjects(bool withSetupConfig, bool withSysopConfig)
{
    using namespace Automation;
    const QString application =
        method(ConnectMethod, argument("call", "s", "in") + argument("mode", "i", "in"))
        + method(DisconnectMethod, argument("call", "s", "in"))
        + method(IsConnectedMethod, argument("call", "s", "in") + argument("connected", "b", "out"))
        + QStringLiteral("    <signal name=\"%1\"/>\n").arg(QLatin1String(ClosingSignal));
    const QString setupConfig = method(CallsignMethod, argument("callsign", "s", "out"));
    auto put = [this](const char *path, const char *interfaceName, const QString &members) {
        return m_bus.registerVirtualObject(QLatin1String(path), new Object(*this, interfaceName, members),
                                           QDBusConnection::SingleNode);
    };
    return put(ApplicationPath, ApplicationInterface, application)
           && (!withSetupConfig || put(SetupConfigPath, SetupConfigInterface, setupConfig))
           && (!withSysopConfig || put(SysopConfigPath, SysopConfigInterface, QString()));
}

QString ContractServer::ownName()
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

bool ContractServer::receive(const Object &object, const QDBusMessage &message)
{
    using namespace Automation;
    const bool introspect = message.member() == QLatin1String("Introspect") && message.signature().isEmpty()
                            && (message.interface().isEmpty() || message.interface() == Introspectable);
    if (!introspect && !message.interface().isEmpty() && message.interface() != object.interfaceName())
        return false;  // Properties, Peer and the like: QtDBus answers those
    const QList<QVariant> args = message.arguments();
    std::optional<Call> call;
    if (introspect) {
        call = Call{Call::Kind::Introspect, {}, 0, message, object.introspectionXml()};
    } else if (object.interfaceName() == QLatin1String(ApplicationInterface)) {
        if (is(message, ConnectMethod, "si"))
            call = Call{Call::Kind::Connect, args[0].toString(), args[1].toInt(), message, {}};
        else if (is(message, DisconnectMethod, "s"))
            call = Call{Call::Kind::Disconnect, args[0].toString(), 0, message, {}};
        else if (is(message, IsConnectedMethod, "s"))
            call = Call{Call::Kind::IsConnected, args[0].toString(), 0, message, {}};
    } else if (object.interfaceName() == QLatin1String(SetupConfigInterface)
               && is(message, CallsignMethod, "")) {
        call = Call{Call::Kind::Callsign, {}, 0, message, {}};
    }
    if (!call) {
        if (message.isReplyRequired())
            m_bus.send(message.createErrorReply(
                QDBusError::UnknownMethod,
                QStringLiteral("No method %1 with signature \"%2\" on interface %3")
                    .arg(message.member(), message.signature(), object.interfaceName())));
        return true;
    }
    m_handler(*call);
    return true;
}

void ContractServer::reply(const Call &call, const QVariant &value)
{
    if (!call.message.isReplyRequired())
        return;
    if (call.kind == Call::Kind::Introspect)
        m_bus.send(call.message.createReply(call.introspection));
    else
        m_bus.send(value.isValid() ? call.message.createReply(value) : call.message.createReply());
}

void ContractServer::fail(const Call &call, const QString &errorName, const QString &message)
{
    if (call.message.isReplyRequired())
        m_bus.send(call.message.createErrorReply(errorName, message));
}

void ContractServer::carryOut(const Call &call, ContractStation &station)
{
    switch (call.kind) {
    case Call::Kind::Connect: {
        const ContractStation::Refusal refusal = station.connectTo(call.call);
        if (refusal.errorName.isEmpty())
            reply(call);
        else
            fail(call, refusal.errorName, refusal.message);
        return;
    }
    case Call::Kind::Disconnect:
        station.disconnect(call.call);
        reply(call);
        return;
    case Call::Kind::IsConnected:
        reply(call, station.isConnected(call.call));
        return;
    case Call::Kind::Callsign:
        reply(call, station.callsign());
        return;
    case Call::Kind::Introspect:
        reply(call);
        return;
    }
}

QString ContractServer::describe(const Call &call)
{
    switch (call.kind) {
    case Call::Kind::Connect:
        return QLatin1String("Connect ") + call.call + QLatin1Char(' ') + QString::number(call.mode);
    case Call::Kind::Disconnect:
        return QLatin1String("Disconnect ") + call.call;
    case Call::Kind::IsConnected:
        return QLatin1String("IsConnected ") + call.call;
    case Call::Kind::Callsign:
        return QStringLiteral("Callsign");
    case Call::Kind::Introspect:
        break;
    }
    return {};
}

void ContractServer::closeAndQuit()
{
    if (m_closing)
        return;
    m_closing = true;
    m_bus.send(QDBusMessage::createSignal(QLatin1String(Automation::ApplicationPath),
                                          QLatin1String(Automation::ApplicationInterface),
                                          QLatin1String(Automation::ClosingSignal)));
    quitSoon();
}

void ContractServer::quitSoon()
{
    if (m_quitting)
        return;
    m_quitting = true;
    // First let an answer being given now be sent, then make one round trip to the bus:
    // messages leave in order, so once the bus has answered, everything sent before it
    // (the Closing signal, that answer) has reached the bus and the process may end.
    QTimer::singleShot(0, this, [this] {
        const QDBusMessage getId = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(getId, 1000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, qApp, &QCoreApplication::quit);
    });
}
