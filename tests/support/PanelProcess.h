// The built panel (dialboard) as a process of the test: started with the test's
// environment or one of the test's choosing, its output forwarded to the test's unless the
// test asks for it, its windows found on the X display, and ended with the test.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QWidget>

class PanelProcess : public QProcess
{
public:
    PanelProcess();
    ~PanelProcess() override;  // stops the panel

    // Writes a settings file into this configuration home, as a user's stored settings.
    static bool seedSettings(const QString &configHome, const QByteArray &settings);

    // Starts the panel with the test's environment and these variables set over it, and
    // the arguments given with setArguments(), and waits until the process runs; false
    // when it did not start.
    bool start(const QMap<QString, QString> &variables = {});
    // The same with exactly this environment.
    bool startWith(const QProcessEnvironment &environment);
    // Kills the panel if it still runs and waits for it to end.
    void stop();

    // The panel's visible window with exactly this title; 0 when there is none.
    WId window(const QString &title) const;
    // Waits until the panel shows a window with exactly this title, framed by the window
    // manager; 0 when it did not within timeoutMs.
    WId waitForWindow(const QString &title, int timeoutMs) const;
};
