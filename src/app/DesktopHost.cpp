#include "app/DesktopHost.h"

#include "app/ErrorReport.h"
#include "app/WaitSeconds.h"
#include "app/frmSplash.h"

#include <cstdio>
#include <cstdlib>

DesktopHost::DesktopHost() = default;
DesktopHost::~DesktopHost() = default;

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

void DesktopHost::end(int status)
{
    std::fflush(nullptr);
    std::_Exit(status);
}
