// What the node's environment says about a desktop: whether a window could be shown at
// all, and whether the node was started from the desktop (a display, and no terminal to
// read its standard error).
#pragma once

#include <QProcessEnvironment>
#include <QString>

class DisplayEnvironment
{
public:
    explicit DisplayEnvironment(QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());

    // True when Qt's platform can show a window: DISPLAY for X11, WAYLAND_DISPLAY for
    // Wayland, or QT_QPA_PLATFORM naming a platform that needs neither (offscreen,
    // minimal, eglfs, vnc...).
    bool hasDisplay() const;
    // Why not, for the log, when hasDisplay() is false.
    QString noDisplayReason() const;
    // A display a user looks at (not the offscreen or minimal platform), and standard
    // error not a terminal: nobody reads what the node prints, so an error that ends it
    // is shown in a message box as well.
    bool startedFromDesktop() const;

private:
    QProcessEnvironment m_environment;
};
