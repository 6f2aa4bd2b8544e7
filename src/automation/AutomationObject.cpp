#include "automation/AutomationObject.h"

#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"

#include <QDBusError>

namespace {

void throwUnlessReply(const QDBusMessage &request, const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage)
        throw AutomationError(QStringLiteral("%1 %2.%3 failed: %4 (%5)")
                                  .arg(request.path(), request.interface(), request.member(),
                                       reply.errorMessage(), reply.errorName()));
}

}  // namespace

AutomationObject::AutomationObject(const QDBusConnection &bus, const QString &path, const QString &interface)
    : m_bus(bus), m_path(path), m_interface(interface)
{
    QDBusMessage introspect = QDBusMessage::createMethodCall(
        QString::fromLatin1(Automation::ServiceName), m_path,
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    introspect.setAutoStartService(false);
    const QDBusMessage reply = send(introspect);
    const QString description = firstArgument<QString>(reply, QStringLiteral("Introspect of %1").arg(m_path));
    if (!description.contains(QStringLiteral("<interface name=\"%1\"").arg(m_interface)))
        throw AutomationError(QStringLiteral("%1 has no object %2 with interface %3")
                                  .arg(QString::fromLatin1(Automation::ServiceName), m_path, m_interface));
}

QDBusMessage AutomationObject::message(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(Automation::ServiceName),
                                                          m_path, m_interface, method);
    message.setArguments(arguments);
    // EchoLink is started once, at attachment, or not at all: a call never starts it, so
    // one that crashed stays gone and the panel's calls fail.
    message.setAutoStartService(false);
    return message;
}

QDBusMessage AutomationObject::call(const QString &method, const QVariantList &arguments) const
{
    return send(message(method, arguments));
}

QDBusPendingCall AutomationObject::callAsync(const QString &method, const QVariantList &arguments,
                                             int timeoutMs) const
{
    // On a lost bus the pending call finishes at once with an error answer.
    return m_bus.asyncCall(message(method, arguments), timeoutMs);
}

QDBusMessage AutomationObject::send(const QDBusMessage &message) const
{
    if (!m_bus.isConnected())
        throw AutomationError(
            QStringLiteral("not connected to EchoLink's bus: %1").arg(m_bus.lastError().message()));
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, Automation::CallTimeoutMs);
    throwUnlessReply(message, reply);
    return reply;
}

QDBusMessage AutomationObject::answerOf(const QDBusPendingCall &call)
{
    if (call.isError())
        throw AutomationError(QStringLiteral("automation call failed: %1 (%2)")
                                  .arg(call.error().message(), call.error().name()));
    return call.reply();
}

template <typename T> T firstArgument(const QDBusMessage &reply, const QString &what)
{
    const QVariantList arguments = reply.arguments();
    if (arguments.isEmpty() || arguments.first().metaType() != QMetaType::fromType<T>())
        throw AutomationError(QStringLiteral("unexpected answer to %1").arg(what));
    return arguments.first().value<T>();
}

template QString firstArgument<QString>(const QDBusMessage &, const QString &);
template bool firstArgument<bool>(const QDBusMessage &, const QString &);
