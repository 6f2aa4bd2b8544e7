// The panel's host on the desktop: the real splash window, the real responsive wait,
// failures reported on stderr and in a message box, and EchoLink's bus (the session bus,
// or the one at the address given). A failure that ends the panel ends the process at
// once, with nothing saved; tests replace end() to stay alive.
#pragma once

#include "panel/PanelHost.h"

#include <QDBusConnection>
#include <memory>
#include <optional>

class frmSplash;

class DesktopHost : public PanelHost
{
public:
    // echoLinkBusAddress: a D-Bus address ("unix:path=..."); empty for the session bus.
    explicit DesktopHost(const QString &echoLinkBusAddress = QString());
    ~DesktopHost() override;

    void showSplash() override;
    void closeSplash() override;
    void waitSeconds(int seconds) override;
    void report(const QString &text, const QString &line) override;
    void fail(const QString &text, const QString &line) override;
    // Connects on first use; a connection that fails is said on stderr once, and the
    // attachment then fails as it does without EchoLink.
    QDBusConnection echoLinkBus() override;

    frmSplash *splash() const { return m_splash.get(); }

protected:
    // Ends the process at once with `status`: no handlers, no destructors, nothing saved.
    virtual void end(int status);

private:
    std::unique_ptr<frmSplash> m_splash;
    QString m_echoLinkBusAddress;
    std::optional<QDBusConnection> m_echoLinkBus;
};
