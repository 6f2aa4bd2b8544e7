// What the panel needs from the program around it: the splash window and the responsive
// wait during start-up, the report of a failure, and the bus EchoLink is on. The program gives the real ones;
// a test may give waits that return at once, or an ending that keeps the process alive.
#pragma once

#include <QDBusConnection>
#include <QString>

class PanelHost
{
public:
    virtual ~PanelHost() = default;

    virtual void showSplash() = 0;
    virtual void closeSplash() = 0;
    // Blocks for whole seconds while window events go on being dispatched.
    virtual void waitSeconds(int seconds) = 0;
    // A failure the panel survives: one line on stderr and a critical message box.
    virtual void report(const QString &text, const QString &line) = 0;
    // A failure that ends the panel: reported as above, then the process ends with a
    // non-zero status, without unload or save. Returns only where the ending was
    // replaced (tests); the caller then stops what it was doing.
    virtual void fail(const QString &text, const QString &line) = 0;
    // The bus EchoLink is on: the session bus, unless the program was given another.
    virtual QDBusConnection echoLinkBus() { return QDBusConnection::sessionBus(); }
};
