#include "automation/EchoLinkObjects.h"

#include "automation/AutomationContract.h"

using namespace Automation;

namespace {

// The bus library's own signal, raised inside this process when the connection ends.
const QString LocalPath = QStringLiteral("/org/freedesktop/DBus/Local");
const QString LocalInterface = QStringLiteral("org.freedesktop.DBus.Local");
const QString DisconnectedSignal = QStringLiteral("Disconnected");

}  // namespace

EchoLinkApplication::EchoLinkApplication(const QDBusConnection &connection, QObject *parent)
    : QObject(parent), AutomationObject(connection, QString::fromLatin1(ApplicationPath),
                                        QString::fromLatin1(ApplicationInterface))
{
    bus().connect(QString::fromLatin1(ServiceName), path(), interface(), QString::fromLatin1(ClosingSignal),
                  this, SLOT(onClosing()));
    bus().connect(QString(), LocalPath, LocalInterface, DisconnectedSignal, this, SLOT(onDisconnected()));
}

EchoLinkApplication::~EchoLinkApplication()
{
    bus().disconnect(QString::fromLatin1(ServiceName), path(), interface(),
                     QString::fromLatin1(ClosingSignal), this, SLOT(onClosing()));
    bus().disconnect(QString(), LocalPath, LocalInterface, DisconnectedSignal, this, SLOT(onDisconnected()));
}

void EchoLinkApplication::onClosing()
{
    Q_EMIT Closing();
}

void EchoLinkApplication::onDisconnected()
{
    Q_EMIT BusLost();
}

QDBusPendingCall EchoLinkApplication::Connect(const QString &node, qint32 mode, int timeoutMs) const
{
    return callAsync(QString::fromLatin1(ConnectMethod), {node, mode}, timeoutMs);
}

QDBusPendingCall EchoLinkApplication::Disconnect(const QString &node, int timeoutMs) const
{
    return callAsync(QString::fromLatin1(DisconnectMethod), {node}, timeoutMs);
}

QDBusPendingCall EchoLinkApplication::IsConnected(const QString &node, int timeoutMs) const
{
    return callAsync(QString::fromLatin1(IsConnectedMethod), {node}, timeoutMs);
}

bool EchoLinkApplication::linkedIn(const QDBusPendingCall &isConnected)
{
    return firstArgument<bool>(answerOf(isConnected), QString::fromLatin1(IsConnectedMethod));
}

EchoLinkSetupConfig::EchoLinkSetupConfig(const QDBusConnection &bus)
    : AutomationObject(bus, QString::fromLatin1(SetupConfigPath), QString::fromLatin1(SetupConfigInterface))
{}

QString EchoLinkSetupConfig::Callsign() const
{
    return firstArgument<QString>(call(QString::fromLatin1(CallsignMethod)),
                                  QString::fromLatin1(CallsignMethod));
}

EchoLinkSysopConfig::EchoLinkSysopConfig(const QDBusConnection &bus)
    : AutomationObject(bus, QString::fromLatin1(SysopConfigPath), QString::fromLatin1(SysopConfigInterface))
{}
