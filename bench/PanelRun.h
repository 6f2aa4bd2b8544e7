// One run of the real dialboard program, as a user meets it: started as its own process
// on the private bus, with a settings file seeded in the temporary configuration home,
// watched and driven through the X server (xdotool, xprop, xwininfo) the way a desktop
// would, and judged afterwards by its exit and by what is in its settings file.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

namespace PanelRunSettings {

// The calls seeded before every run, by node button index.
inline const QStringList SeededCalls = {QStringLiteral("W1AW"), QStringLiteral("K1ABC")};
// The callsign the stand-in reports by default, as the panel's title shows it.
inline const QString PanelTitle = QStringLiteral("Dialboard N0CALL");

}  // namespace PanelRunSettings

class PanelRun
{
public:
    enum class Display { X, Offscreen };

    // Seeds a fresh settings file and starts watching its folder for saves.
    PanelRun();
    ~PanelRun();  // ends the panel if it is still running

    PanelRun(const PanelRun &) = delete;
    PanelRun &operator=(const PanelRun &) = delete;

    // Starts build/dialboard, on the X display or on the offscreen platform.
    bool start(Display display);
    qint64 msSinceStart() const { return m_clock.elapsed(); }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }

    // Waits for the process to end and describes how: "exit 0", "exit 1", "killed by
    // signal 11", or "still running" (the process is then killed).
    QString waitForExit(int timeoutMs);
    bool exitedWith(int status) const;
    // The lines the program wrote to standard error, without its "dialboard: " prefix.
    QStringList errorLines();

    // --- On the X display ------------------------------------------------------------
    // The program's visible top-level windows, each named by its title, "[splash]" for
    // the splash window and "[menu]" for an untitled pop-up.
    QStringList windowNames() const;
    // The first visible window of the program whose title matches, other than `other`,
    // or 0 at the timeout.
    WId waitForWindow(const QRegularExpression &title, int timeoutMs, WId other = 0) const;
    WId waitForPanel(int timeoutMs = 15000) const;
    // Whether the message box on the screen shows exactly this text.
    bool messageBoxShows(WId box, const QString &text) const;
    // Activates the window (unless 0: the one that has the focus) and types keys into
    // it (xdotool key / type).
    void key(WId window, const QString &keys) const;
    void type(WId window, const QString &text) const;
    // Mouse actions on the panel, in pixels from its client area's top-left corner.
    void click(WId panel, int x, int y, int button) const;
    void rightClickButton(WId panel, int index) const;
    // Height of the menu bar: the client height less the small view's 60-pixel area.
    int menuBarHeight(WId panel) const;
    QSize clientSize(WId panel) const;
    // The small view's button area as it is on the screen (the pointer moved away first,
    // so no button is drawn highlighted).
    QImage buttonArea(WId panel) const;

    // --- After the run ---------------------------------------------------------------
    QString settingsPath() const;
    bool settingsUntouched() const;  // byte for byte as seeded
    // Saves of the settings file seen since the run began.
    int saves();
    // What is missing from the saved settings: every key of the full set, the seeded
    // calls, and the calls given here (index -> call). Empty when nothing is missing.
    QString missingFromSaved(const QHash<int, QString> &calls = {}) const;

private:
    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_seed;
    QByteArray m_stderr;
    int m_watch = -1;  // inotify descriptor on the settings folder
    int m_saves = 0;
};
