// The panel's host on the desktop: the real splash window, the real responsive wait, and
// failures reported on stderr and in a message box. A failure that ends the panel ends
// the process at once, with nothing saved; tests replace end() to stay alive.
#pragma once

#include "panel/PanelHost.h"

#include <memory>

class frmSplash;

class DesktopHost : public PanelHost
{
public:
    DesktopHost();
    ~DesktopHost() override;

    void showSplash() override;
    void closeSplash() override;
    void waitSeconds(int seconds) override;
    void report(const QString &text, const QString &line) override;
    void fail(const QString &text, const QString &line) override;

    frmSplash *splash() const { return m_splash.get(); }

protected:
    // Ends the process at once with `status`: no handlers, no destructors, nothing saved.
    virtual void end(int status);

private:
    std::unique_ptr<frmSplash> m_splash;
};
