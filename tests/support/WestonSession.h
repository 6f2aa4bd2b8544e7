// A Wayland session for tests: a headless weston compositor in a private runtime
// directory, with XWayland when asked, as a current desktop runs one.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class WestonSession
{
public:
    WestonSession() = default;
    ~WestonSession();

    // True when weston, Xwayland and Qt's Wayland platform are installed.
    static bool installed();

    // Starts the compositor and waits until its socket is up, and with XWayland until
    // the X server listens. False when it did not; whyNot() then says what happened.
    bool start(bool withXWayland);
    void stop();
    QString whyNot() const { return m_whyNot; }

    // What a client of this session gets: XDG_RUNTIME_DIR, WAYLAND_DISPLAY and, with
    // XWayland, DISPLAY.
    QString runtimeDir() const { return m_runtime.path(); }
    QString waylandDisplay() const;
    QString xDisplay() const { return m_xDisplay; }

    // Writes a PNG of the compositor's whole output (weston-screenshooter).
    bool saveScreenshot(const QString &path) const;

private:
    QTemporaryDir m_runtime;
    QProcess m_weston;
    QString m_log;
    QString m_xDisplay;
    QString m_whyNot;
};
