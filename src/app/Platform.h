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
    WaylandOnly,  // only a Wayland compositor: position and on-top are not available
};

// What the three variables call for.
Choice choose(const QByteArray &qpaPlatform, const QByteArray &display,
              const QByteArray &waylandDisplay);

// Applies the choice to this process from its environment: sets QT_QPA_PLATFORM for X11
// and says on stderr what the user needs to know. False when there is no display at all
// (the message is printed); the program then ends.
bool prepare();

}  // namespace Platform
