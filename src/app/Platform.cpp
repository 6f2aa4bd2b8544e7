#include "app/Platform.h"

#include <QtGlobal>
#include <cstdio>

namespace Platform {

Choice choose(const QByteArray &qpaPlatform, const QByteArray &display,
              const QByteArray &waylandDisplay)
{
    if (!qpaPlatform.isEmpty())
        return Choice::UsersChoice;
    if (!display.isEmpty())
        return Choice::X11;
    if (!waylandDisplay.isEmpty())
        return Choice::WaylandOnly;
    return Choice::NoDisplay;
}

bool prepare()
{
    const QByteArray waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    switch (choose(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), waylandDisplay)) {
    case Choice::NoDisplay:
        std::fputs("dialboard: no display. Start it from a desktop session, or set DISPLAY "
                   "(for instance run it under xvfb-run).\n",
                   stderr);
        return false;
    case Choice::X11:
        // With a Wayland session as well, Wayland stays the fallback should the X
        // server named by DISPLAY not answer.
        qputenv("QT_QPA_PLATFORM", waylandDisplay.isEmpty() ? "xcb" : "xcb;wayland");
        return true;
    case Choice::WaylandOnly:
        std::fputs("dialboard: running on Wayland without an X server (XWayland); the stored "
                   "window position and Always On Top are not available there.\n",
                   stderr);
        return true;
    case Choice::UsersChoice:
        break;
    }
    return true;
}

}  // namespace Platform
