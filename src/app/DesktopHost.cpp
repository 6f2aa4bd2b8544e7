#include "app/DesktopHost.h"

#include "app/ErrorReport.h"
#include "app/WaitSeconds.h"
#include "app/frmSplash.h"

#include <QDBusError>
#include <cstdio>
#include <cstdlib>

namespace {

// One connection per address: hosts given the same address share it.
QString connectionName(const QString &address)
{
    return QStringLiteral("echolink ") + address;
}

}  // namespace

DesktopHost::DesktopHost(const QString &echoLinkBusAddress) : m_echoLinkBusAddress(echoLinkBusAddress)
{}

DesktopHost::~DesktopHost()
{
    if (m_echoLinkBus && !m_echoLinkBusAddress.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName(m_echoLinkBusAddress));
}

void DesktopHost::showSplash()
{
    m_splash = std::make_unique<frmSplash>();
    m_splash->show();
}

void DesktopHost::closeSplash()
{
    m_splash.reset();
}

void DesktopHost::waitSeconds(int seconds)
{
    WaitTimer::WaitSeconds(seconds);
}

void DesktopHost::report(const QString &text, const QString &line)
{
    ErrorReport::report(text, line);
}

void DesktopHost::fail(const QString &text, const QString &line)
{
    report(text, line);
    end(EXIT_FAILURE);
}

QDBusConnection DesktopHost::echoLinkBus()
{
    if (m_echoLinkBus)
        return *m_echoLinkBus;
    if (m_echoLinkBusAddress.isEmpty()) {
        m_echoLinkBus = QDBusConnection::sessionBus();
        return *m_echoLinkBus;
    }
    // The bus authenticates the connecting user by id: a bus of another user (a
    // forwarded socket to a machine where the user's id differs) answers with no reply.
    m_echoLinkBus = QDBusConnection::connectToBus(m_echoLinkBusAddress, connectionName(m_echoLinkBusAddress));
    if (!m_echoLinkBus->isConnected()) {
        const QDBusError error = m_echoLinkBus->lastError();
        std::fprintf(stderr, "dialboard: cannot connect to the bus at %s: %s (%s)\n",
                     qUtf8Printable(m_echoLinkBusAddress), qUtf8Printable(error.message()),
                     qUtf8Printable(error.name()));
        std::fflush(stderr);
    }
    return *m_echoLinkBus;
}

void DesktopHost::end(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}
