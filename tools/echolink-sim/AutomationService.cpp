#include "AutomationService.h"

#include "Station.h"
#include "automation/AutomationContract.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusPendingCallWatcher>

#include <utility>

namespace {

const QString IntrospectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");

enum class Call { Unknown, Connect, Disconnect, IsConnected, Callsign, Introspect };

// Which call a message to the object makes; Unknown for a member the object does not
// have or arguments of the wrong types.
Call callOf(const ServedObject &object, const QDBusMessage &message)
{
    const QString member = message.member();
    const QString signature = message.signature();
    if (member == QLatin1String("Introspect") && signature.isEmpty()
        && (message.interface().isEmpty() || message.interface() == IntrospectableInterface))
        return Call::Introspect;
    if (object.interfaceName() == QLatin1String(Automation::ApplicationInterface)) {
        if (member == QLatin1String(Automation::ConnectMethod) && signature == QLatin1String("si"))
            return Call::Connect;
        if (member == QLatin1String(Automation::DisconnectMethod) && signature == QLatin1String("s"))
            return Call::Disconnect;
        if (member == QLatin1String(Automation::IsConnectedMethod) && signature == QLatin1String("s"))
            return Call::IsConnected;
    }
    if (object.interfaceName() == QLatin1String(Automation::SetupConfigInterface)
        && member == QLatin1String(Automation::CallsignMethod) && signature.isEmpty())
        return Call::Callsign;
    return Call::Unknown;
}

// How a call appears in the call log; empty for calls that are not logged.
QString logLine(Call call, const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    switch (call) {
    case Call::Connect:
        return QLatin1String("Connect ") + args[0].toString() + QLatin1Char(' ')
               + QString::number(args[1].toInt());
    case Call::Disconnect:
        return QLatin1String("Disconnect ") + args[0].toString();
    case Call::IsConnected:
        return QLatin1String("IsConnected ") + args[0].toString();
    case Call::Callsign:
        return QStringLiteral("Callsign");
    case Call::Unknown:
    case Call::Introspect:
        break;
    }
    return {};
}

}  // namespace

ServedObject::ServedObject(AutomationService &service, const QString &interfaceName,
                                   const QString &membersXml, QObject *parent)
    : QDBusVirtualObject(parent),
      m_service(service),
      m_interfaceName(interfaceName),
      m_membersXml(membersXml)
{
}

QString ServedObject::interfaceXml() const
{
    return QStringLiteral("  <interface name=\"%1\">\n%2  </interface>\n")
        .arg(m_interfaceName, m_membersXml);
}

QString ServedObject::introspectionXml() const
{
    return QStringLiteral(
               "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
               "<node>\n")
           + interfaceXml()
           + QStringLiteral("  <interface name=\"%1\">\n"
                            "    <method name=\"Introspect\">\n"
                            "      <arg name=\"xml_data\" type=\"s\" direction=\"out\"/>\n"
                            "    </method>\n"
                            "  </interface>\n"
                            "</node>\n")
                 .arg(IntrospectableInterface);
}

QString ServedObject::introspect(const QString &) const
{
    // Only used if QtDBus ever introspects without asking handleMessage() first.
    return interfaceXml();
}

bool ServedObject::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    return m_service.receive(*this, message);
}

AutomationService::AutomationService(Station &station, const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_station(station), m_bus(bus)
{
    m_hangTimer.setSingleShot(true);
    m_hangTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_hangTimer, &QTimer::timeout, this, &AutomationService::releaseHeld);
}

bool AutomationService::registerObjects(bool withSetupConfig, bool withSysopConfig)
{
    const QString applicationMembers =
        QStringLiteral("    <method name=\"%1\">\n"
                       "      <arg name=\"call\" type=\"s\" direction=\"in\"/>\n"
                       "      <arg name=\"mode\" type=\"i\" direction=\"in\"/>\n"
                       "    </method>\n"
                       "    <method name=\"%2\">\n"
                       "      <arg name=\"call\" type=\"s\" direction=\"in\"/>\n"
                       "    </method>\n"
                       "    <method name=\"%3\">\n"
                       "      <arg name=\"call\" type=\"s\" direction=\"in\"/>\n"
                       "      <arg type=\"b\" direction=\"out\"/>\n"
                       "    </method>\n"
                       "    <signal name=\"%4\"/>\n")
            .arg(QLatin1String(Automation::ConnectMethod),
                 QLatin1String(Automation::DisconnectMethod),
                 QLatin1String(Automation::IsConnectedMethod),
                 QLatin1String(Automation::ClosingSignal));
    const QString setupConfigMembers = QStringLiteral("    <method name=\"%1\">\n"
                                                      "      <arg type=\"s\" direction=\"out\"/>\n"
                                                      "    </method>\n")
                                           .arg(QLatin1String(Automation::CallsignMethod));

    auto put = [this](const char *path, const char *interfaceName, const QString &members) {
        auto *object = new ServedObject(*this, QLatin1String(interfaceName), members, this);
        return m_bus.registerVirtualObject(QLatin1String(path), object,
                                           QDBusConnection::SingleNode);
    };
    return put(Automation::ApplicationPath, Automation::ApplicationInterface, applicationMembers)
           && (!withSetupConfig
               || put(Automation::SetupConfigPath, Automation::SetupConfigInterface,
                      setupConfigMembers))
           && (!withSysopConfig
               || put(Automation::SysopConfigPath, Automation::SysopConfigInterface, QString()));
}

bool AutomationService::receive(const ServedObject &object, const QDBusMessage &message)
{
    const Call call = callOf(object, message);
    if (call != Call::Introspect && !message.interface().isEmpty()
        && message.interface() != object.interfaceName())
        return false;  // Properties, Peer and the like: QtDBus answers those

    HeldCall held{message, &object, false};
    const QString line = logLine(call, message);
    if (!line.isEmpty()) {
        m_calls.append(line);
        if (m_successesLeft == 0)
            held.fail = true;
        else if (m_successesLeft > 0)
            --m_successesLeft;
    }
    // Calls received while earlier ones are still held wait behind them, to keep the order.
    if (!m_hangUntil.hasExpired() || !m_held.isEmpty())
        m_held.append(held);
    else if (m_replyDelayMs > 0 && !line.isEmpty())
        QTimer::singleShot(m_replyDelayMs, Qt::PreciseTimer, this, [this, held] { answer(held); });
    else
        answer(held);
    return true;
}

void AutomationService::failAfter(int n)
{
    m_successesLeft = qMax(0, n);
}

void AutomationService::hangFor(int ms)
{
    if (ms <= 0)
        return;
    const QDeadlineTimer until(ms, Qt::PreciseTimer);
    if (!m_hangUntil.hasExpired() && m_hangUntil > until)
        return;  // an earlier hang lasts longer
    m_hangUntil = until;
    m_hangTimer.start(int(m_hangUntil.remainingTime()));
}

void AutomationService::releaseHeld()
{
    if (!m_hangUntil.hasExpired()) {  // the timer may fire a little early
        m_hangTimer.start(int(m_hangUntil.remainingTime()));
        return;
    }
    const QList<HeldCall> held = std::exchange(m_held, {});
    for (const HeldCall &call : held)
        answer(call);
}

void AutomationService::answer(const HeldCall &call)
{
    const QDBusMessage reply =
        call.fail ? call.message.createErrorReply(
                        QDBusError::Failed, QStringLiteral("EchoLink stand-in: call set to fail"))
                  : carryOut(*call.object, call.message);
    if (call.message.isReplyRequired())
        m_bus.send(reply);
}

QDBusMessage AutomationService::carryOut(const ServedObject &object,
                                         const QDBusMessage &message)
{
    const QList<QVariant> args = message.arguments();
    switch (callOf(object, message)) {
    case Call::Connect:
        m_station.startLink(args[0].toString());
        return message.createReply();
    case Call::Disconnect:
        m_station.drop(args[0].toString());
        return message.createReply();
    case Call::IsConnected:
        return message.createReply(m_station.isLinked(args[0].toString()));
    case Call::Callsign:
        return message.createReply(m_station.callsign());
    case Call::Introspect:
        return message.createReply(object.introspectionXml());
    case Call::Unknown:
        break;
    }
    return message.createErrorReply(
        QDBusError::UnknownMethod,
        QStringLiteral("No method %1 with signature \"%2\" on interface %3")
            .arg(message.member(), message.signature(), object.interfaceName()));
}

void AutomationService::raiseClosingAndQuit()
{
    if (m_closing)
        return;
    m_closing = true;
    m_bus.send(QDBusMessage::createSignal(QLatin1String(Automation::ApplicationPath),
                                          QLatin1String(Automation::ApplicationInterface),
                                          QLatin1String(Automation::ClosingSignal)));
    quitSoon();
}

void AutomationService::quitSoon()
{
    if (m_quitting)
        return;
    m_quitting = true;
    // First let the answer to the control call now running be sent, then make one round
    // trip to the bus: messages leave in order, so once the bus has answered, everything
    // sent before it (the Closing signal, that answer) has reached the bus.
    QTimer::singleShot(0, this, [this] {
        const QDBusMessage getId = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(getId), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, qApp, &QCoreApplication::quit);
    });
}
