#include "automation/EchoLinkStation.h"

#include "automation/AutomationContract.h"
#include "automation/AutomationError.h"
#include "automation/AutomationObject.h"

#include <QDBusMessage>

using namespace Automation;

EchoLinkStation::EchoLinkStation(const QDBusConnection &bus, QObject *parent) : QObject(parent), m_bus(bus)
{
    subscribe(true);
}

EchoLinkStation::~EchoLinkStation()
{
    subscribe(false);
}

void EchoLinkStation::subscribe(bool on)
{
    const QString service = QString::fromLatin1(ServiceName);
    const QString path = QString::fromLatin1(StationPath);
    const QString interface = QString::fromLatin1(StationInterface);
    const QString failed = QString::fromLatin1(LinkFailedSignal);
    const QString changed = QString::fromLatin1(LinkStateChangedSignal);
    const char *onFailed = SLOT(onLinkFailed(QString, QString, QString));
    const char *onChanged = SLOT(onLinkStateChanged(QString, QString));
    if (on) {
        m_bus.connect(service, path, interface, failed, this, onFailed);
        m_bus.connect(service, path, interface, changed, this, onChanged);
    } else {
        m_bus.disconnect(service, path, interface, failed, this, onFailed);
        m_bus.disconnect(service, path, interface, changed, this, onChanged);
    }
}

QDBusPendingCall EchoLinkStation::Stations(int timeoutMs) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(ServiceName), QString::fromLatin1(StationPath),
        QString::fromLatin1(StationInterface), QString::fromLatin1(StationsMethod));
    // Like every call after the attach step: an EchoLink that has ended stays ended.
    message.setAutoStartService(false);
    return m_bus.asyncCall(message, timeoutMs);
}

StationListEntries EchoLinkStation::stationsIn(const QDBusPendingCall &stations)
{
    const QDBusMessage answer = AutomationObject::answerOf(stations);
    bool ok = false;
    StationListEntries list = readStationList(answer.arguments().value(0), &ok);
    if (!ok)
        throw AutomationError(QStringLiteral("unexpected answer to %1").arg(QLatin1String(StationsMethod)));
    return list;
}

void EchoLinkStation::onLinkFailed(const QString &call, const QString &reason, const QString &text)
{
    Q_EMIT LinkFailed(call.left(MaxCallLength), reason.left(MaxReasonLength), text.left(MaxTextLength));
}

void EchoLinkStation::onLinkStateChanged(const QString &call, const QString &state)
{
    Q_EMIT LinkStateChanged(call.left(MaxCallLength), state.left(MaxReasonLength));
}
