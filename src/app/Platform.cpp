#include "app/Platform.h"

#include <QGuiApplication>
#include <cstdio>

namespace Platform {

Choice choose(const QByteArray &qpaPlatform, const QByteArray &display, const QByteArray &waylandDisplay)
{
    if (!qpaPlatform.isEmpty())
        return Choice::UsersChoice;
    if (!display.isEmpty())
        return Choice::X11;
    if (!waylandDisplay.isEmpty())
        return Choice::WaylandOnly;
    return Choice::NoDisplay;
}

Choice prepare()
{
    const QByteArray waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    const Choice choice = choose(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), waylandDisplay);
    if (choice == Choice::NoDisplay) {
        std::fputs("dialboard: no display. Start it from a desktop session, or set DISPLAY "
                   "(for instance run it under xvfb-run).\n",
                   stderr);
    } else if (choice == Choice::X11) {
        // On a Wayland session, Wayland stays the fallback should the X server named by
        // DISPLAY not answer.
        qputenv("QT_QPA_PLATFORM", waylandDisplay.isEmpty() ? "xcb" : "xcb;wayland");
    }
    return choice;
}

void reportLimits(Choice choice)
{
    if (choice == Choice::UsersChoice
        || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    std::fputs("dialboard: running on Wayland without an X server (XWayland); the stored "
               "window position and Always On Top are not available there.\n",
               stderr);
}

}  // namespace Platform
