// Chooses the window system the panel runs on, before the application object exists.
//
// On a Wayland session a window cannot place itself or stay above others, so the stored
// position and Always On Top would silently do nothing. When the user has not chosen a
// platform and an X server is reachable (XWayland sets DISPLAY), the panel runs on X11,
// where both work. A user's own QT_QPA_PLATFORM is always respected.
#pragma once

#include <QByteArray>

namespace Platform {

enum class Choice {
    NoDisplay,    // nothing to show a window on
    UsersChoice,  // QT_QPA_PLATFORM is set: left as it is
    X11,          // an X server is reachable: run on it
    WaylandOnly,  // only a Wayland compositor
};

// What the three variables call for.
Choice choose(const QByteArray &qpaPlatform, const QByteArray &display, const QByteArray &waylandDisplay);

// Applies the choice to this process from its environment, before the application
// object exists: sets QT_QPA_PLATFORM for X11. With no display at all it prints why the
// program cannot start; the program then ends.
Choice prepare();

// Once the application object exists: when the panel ended up on Wayland without the
// user asking for it, says once on stderr what is not available there.
void reportLimits(Choice choice);

}  // namespace Platform
