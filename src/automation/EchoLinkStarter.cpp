#include "automation/EchoLinkStarter.h"

#include "automation/AutomationContract.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QStringList>

namespace EchoLinkStarter {

namespace {

// StartServiceByName's flags argument: none are defined.
constexpr quint32 NoFlags = 0;

// One question to the bus itself, answered or failed within `timeoutMs`; the event loop
// runs meanwhile.
QDBusMessage ask(const QDBusConnection &bus, const QString &method, const QVariantList &arguments,
                 int timeoutMs)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                          QStringLiteral("/org/freedesktop/DBus"),
                                                          QStringLiteral("org.freedesktop.DBus"), method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    QDBusPendingCallWatcher watcher(bus.asyncCall(message, timeoutMs));
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return watcher.reply();
}

QString failure(const QDBusMessage &reply)
{
    return QStringLiteral("%1 (%2)").arg(reply.errorMessage(), reply.errorName());
}

}  // namespace

Result startIfActivatable(const QDBusConnection &bus, int startTimeoutMs)
{
    if (!bus.isConnected())
        return {Outcome::NotInstalled, QString()};  // attaching reports the missing bus
    const QString name = QString::fromLatin1(Automation::ServiceName);

    const QDBusMessage owned = ask(bus, QStringLiteral("NameHasOwner"), {name}, Automation::CallTimeoutMs);
    if (owned.type() != QDBusMessage::ReplyMessage)
        return {Outcome::NotInstalled, failure(owned)};
    if (owned.arguments().value(0).toBool())
        return {Outcome::Running, QString()};

    const QDBusMessage activatable =
        ask(bus, QStringLiteral("ListActivatableNames"), {}, Automation::CallTimeoutMs);
    if (activatable.type() != QDBusMessage::ReplyMessage)
        return {Outcome::NotInstalled, failure(activatable)};
    if (!activatable.arguments().value(0).toStringList().contains(name))
        return {Outcome::NotInstalled, QString()};

    // Answered once the started program owns the name (or it already did), or with an
    // error when it exits first or the bus gives up on it.
    const QDBusMessage started =
        ask(bus, QStringLiteral("StartServiceByName"), {name, NoFlags}, startTimeoutMs);
    if (started.type() != QDBusMessage::ReplyMessage)
        return {Outcome::StartFailed, failure(started)};
    return {Outcome::Started, QString()};
}

}  // namespace EchoLinkStarter
