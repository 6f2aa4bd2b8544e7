// The fault matrix: the real dialboard program, start-up waits and all, run end to end
// against the stand-in server on a private bus while the server is missing, half there,
// hung, killed, replaced, impersonated or closing at an awkward moment. Each scenario
// records what the user sees (message text, window titles, captions compared on screen,
// the exit status) and whether anything in the settings file was lost, and is judged
// against what the panel is meant to do. Runs on an X display with a window manager
// (scenarios that need none use the offscreen platform); one printed table at the end.
//
//   fault_matrix [name-part]    (only the scenarios whose name contains name-part)
#include "BenchReport.h"
#include "PanelRun.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QTest>
#include <csignal>
#include <cstdio>

using BenchReport::note;

namespace {

// What one scenario found.
struct Result
{
    QStringList seen;    // what the user sees, in order
    QString lost;        // what the settings file says afterwards
    QStringList faults;  // expectations not met; none means PASS
    bool skipped = false;

    void expect(bool ok, const QString &fault)
    {
        if (!ok)
            faults << fault;
    }
};

Result notStarted()
{
    Result result;
    result.faults << QStringLiteral("the stand-in server did not start");
    return result;
}

const QRegularExpression MessageBoxTitle(QStringLiteral("^Dialboard$"));
const QRegularExpression DialogTitle(QStringLiteral("^Load Button$"));
const QString NotFound =
    QStringLiteral("Can Not Find EchoLink.\r\nDialboard will not work without EchoLink.");

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

int isConnectedCalls(const SimProcess &sim)
{
    return int(sim.calls().filter(QRegularExpression(QStringLiteral("^IsConnected "))).size());
}

// Started, attached and past its first refresh: on X the titled panel is on the screen;
// offscreen, the server has answered the first 40 questions.
WId waitUntilRunning(PanelRun &run, const SimProcess &sim, PanelRun::Display display, Result &result)
{
    WId panel = 0;
    if (display == PanelRun::Display::X) {
        panel = run.waitForPanel();
        result.expect(panel != 0,
                      QStringLiteral("no panel titled \"%1\" within 15 s").arg(PanelRunSettings::PanelTitle));
    } else {
        result.expect(QTest::qWaitFor([&] { return isConnectedCalls(sim) >= 40; }, 15000),
                      QStringLiteral("no refresh pass within 15 s"));
    }
    return panel;
}

// How a message box's text reads in one line of the table.
QString oneLine(const QString &text)
{
    return QString(text)
        .replace(QStringLiteral("\r\n"), QStringLiteral(" / "))
        .replace(QLatin1Char('\n'), QStringLiteral(" / "));
}

// Records that the box on the screen shows the text, or that it does not.
bool recordBox(PanelRun &run, WId box, const QString &text, Result &result, const QString &when)
{
    const bool shown = run.messageBoxShows(box, text);
    result.seen << QStringLiteral("%1 box \"%2\"%3")
                       .arg(when, oneLine(text), shown ? QString() : QStringLiteral(" NOT shown as such"));
    return shown;
}

// Waits for the program's message box, checks that it shows the text, records when it
// came and what else was on the screen, and answers it with Enter. False when no box
// with that text came.
bool answerMessageBox(PanelRun &run, Result &result, int timeoutMs, const QString &text)
{
    const WId box = run.waitForWindow(MessageBoxTitle, timeoutMs);
    if (!box)
        return false;
    const qint64 at = run.msSinceStart();
    const QStringList windows = run.windowNames();
    const bool shown = recordBox(run, box, text, result, QStringLiteral("at ") + seconds(at));
    result.seen << QStringLiteral("windows: ") + windows.join(QStringLiteral(", "));
    run.key(box, QStringLiteral("Return"));
    return shown;
}

void recordExit(PanelRun &run, Result &result, int timeoutMs)
{
    const QString ending = run.waitForExit(timeoutMs);
    result.seen << ending;
    QStringList errors = run.errorLines();
    for (QString &line : errors)
        if (line.size() > 100)
            line = line.left(97) + QStringLiteral("...");
    if (!errors.isEmpty())
        result.seen << QStringLiteral("stderr: ") + errors.join(QStringLiteral(" | "));
}

// A start-up that cannot attach: the not-found message over the splash, then exit 1 with
// the settings file as it was.
void expectNotFoundEnding(PanelRun &run, Result &result, int boxTimeoutMs)
{
    result.expect(answerMessageBox(run, result, boxTimeoutMs, NotFound),
                  QStringLiteral("no not-found message"));
    recordExit(run, result, 5000);
    result.expect(run.exitedWith(1), QStringLiteral("exit status not 1"));
    result.expect(run.settingsUntouched(), QStringLiteral("settings file changed"));
    result.lost = run.settingsUntouched() ? QStringLiteral("nothing: file as seeded")
                                          : QStringLiteral("settings file rewritten");
}

// After a clean exit: exactly one save at shutdown, of the full set with the calls kept.
void expectSavedOnce(PanelRun &run, Result &result, const QHash<int, QString> &calls = {},
                     int savesBefore = 0)
{
    result.expect(run.exitedWith(0), QStringLiteral("no clean exit"));
    const QString missing = run.missingFromSaved(calls);
    const int saves = run.saves() - savesBefore;
    result.lost = missing.isEmpty()
                      ? QStringLiteral("nothing: 45 keys, calls kept, %1 save(s) at exit").arg(saves)
                      : missing;
    result.expect(missing.isEmpty(), QStringLiteral("settings not saved in full"));
    result.expect(saves == 1, QStringLiteral("%1 saves at shutdown, not 1").arg(saves));
}

// Closes the panel as EchoLink does and checks the one save that follows.
void closeWithEchoLink(PanelRun &run, const SimProcess &sim, Result &result,
                       const QHash<int, QString> &calls = {}, int savesBefore = 0)
{
    sim.control(QStringLiteral("EmitClosing"));
    recordExit(run, result, 3000);
    expectSavedOnce(run, result, calls, savesBefore);
}

// --- The scenarios ----------------------------------------------------------------------

Result serverAbsent()
{
    Result result;
    PanelRun run;
    run.start(PanelRun::Display::X);
    expectNotFoundEnding(run, result, 8000);
    return result;
}

Result halfPresent(const QString &without)
{
    Result result;
    SimProcess sim;
    if (!sim.start({QStringLiteral("--without"), without}))
        return notStarted();
    PanelRun run;
    run.start(PanelRun::Display::X);
    expectNotFoundEnding(run, result, 12000);
    return result;
}

Result withoutSetup()
{
    return halfPresent(QStringLiteral("setup"));
}

Result withoutSysop()
{
    return halfPresent(QStringLiteral("sysop"));
}

// The server holds every call for longer than start-up waits for its first answer.
Result hungAtStart()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    sim.control(QStringLiteral("HangFor"), {20000});
    PanelRun run;
    run.start(PanelRun::Display::X);
    expectNotFoundEnding(run, result, 8000);
    return result;
}

// Opens Options and picks the first item with the keyboard; the time until the window
// has its new height, or -1 when it did not change within 3 s.
qint64 toggleViewLarge(PanelRun &run, WId panel)
{
    const int before = run.clientSize(panel).height();
    QElapsedTimer clock;
    clock.start();
    run.click(panel, 20, run.menuBarHeight(panel) / 2, 1);
    run.key(0, QStringLiteral("Down Return"));
    while (run.clientSize(panel).height() == before) {
        if (clock.elapsed() > 3000)
            return -1;
        QTest::qWait(10);
    }
    return clock.elapsed();
}

// Every call to IsConnected as the bus carries it.
class IsConnectedWatch
{
public:
    IsConnectedWatch()
    {
        m_monitor.start(
            QStringLiteral("dbus-monitor"),
            {QStringLiteral("--session"), QStringLiteral("type='method_call',member='IsConnected'")});
        m_monitor.waitForStarted(5000);
        m_monitor.waitForReadyRead(3000);  // its own NameAcquired
        m_monitor.readAllStandardOutput();
    }
    ~IsConnectedWatch()
    {
        m_monitor.kill();
        m_monitor.waitForFinished(3000);
    }
    bool waitForCall(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (m_monitor.waitForReadyRead(50)
                && m_monitor.readAllStandardOutput().contains("member=IsConnected"))
                return true;
        }
        return false;
    }

private:
    QProcess m_monitor;
};

// While the server hangs every refresh pass stalls for one bounded call; the panel still
// answers the menu at once, even when asked just as a pass stalls, and its captions stay
// as they were. EchoLink then closes while it is still hung.
Result hungWhileRunning()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    sim.setLinked(QStringLiteral("W1AW"), true);
    PanelRun run;
    run.start(PanelRun::Display::X);
    const WId panel = waitUntilRunning(run, sim, PanelRun::Display::X, result);
    if (!panel)
        return result;
    const QImage before = run.buttonArea(panel);
    IsConnectedWatch watch;
    sim.control(QStringLiteral("HangFor"), {15000});
    QStringList took;
    qint64 worst = 0;
    for (int pass = 0; pass < 2; ++pass) {  // two toggles: back in the small view
        if (!watch.waitForCall(6000)) {
            result.expect(false, QStringLiteral("no refresh pass during the hang"));
            break;
        }
        const qint64 ms = toggleViewLarge(run, panel);
        took << (ms < 0 ? QStringLiteral("no response") : QStringLiteral("%1 ms").arg(ms));
        worst = ms < 0 ? 99999 : std::max(worst, ms);
    }
    const QImage during = run.buttonArea(panel);
    result.seen << QStringLiteral("View Large/Small picked as a pass stalled: %1")
                       .arg(took.join(QStringLiteral(", ")));
    result.seen << QStringLiteral("captions %1; windows: %2")
                       .arg(during == before ? QStringLiteral("unchanged") : QStringLiteral("CHANGED"),
                            run.windowNames().join(QStringLiteral(", ")));
    result.expect(worst <= 1000, QStringLiteral("menu took %1 ms").arg(worst));
    result.expect(during == before, QStringLiteral("captions changed during the hang"));
    result.expect(run.errorLines().isEmpty(), QStringLiteral("message during the hang"));
    result.seen << QStringLiteral("Closing while still hung:");
    closeWithEchoLink(run, sim, result);
    return result;
}

// The server is killed while the panel waits for its answer in the middle of a pass.
Result dyingMidPass()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    sim.setLinked(QStringLiteral("W1AW"), true);
    PanelRun run;
    run.start(PanelRun::Display::X);
    const WId panel = waitUntilRunning(run, sim, PanelRun::Display::X, result);
    if (!panel)
        return result;
    const QImage before = run.buttonArea(panel);
    IsConnectedWatch watch;
    sim.control(QStringLiteral("HangFor"), {6000});  // the next pass waits on its first call
    const bool midPass = watch.waitForCall(6000);
    sim.process().kill();
    sim.process().waitForFinished(3000);
    result.seen << QStringLiteral("stand-in killed %1")
                       .arg(midPass ? QStringLiteral("during a pass") : QStringLiteral("(no pass seen)"));
    QTest::qWait(11000);  // two more passes against no server
    const QImage after = run.buttonArea(panel);
    const QStringList windows = run.windowNames();
    result.seen << QStringLiteral("11 s later: %1, captions %2, windows: %3")
                       .arg(run.isRunning() ? QStringLiteral("running") : QStringLiteral("GONE"),
                            after == before ? QStringLiteral("as before") : QStringLiteral("CHANGED"),
                            windows.join(QStringLiteral(", ")));
    result.expect(midPass, QStringLiteral("no pass caught"));
    result.expect(run.isRunning(), QStringLiteral("panel ended"));
    result.expect(after == before, QStringLiteral("captions changed"));
    result.expect(windows == QStringList{QLatin1Char('"') + PanelRunSettings::PanelTitle + QLatin1Char('"')},
                  QStringLiteral("another window appeared"));
    run.key(panel, QStringLiteral("alt+F4"));
    result.seen << QStringLiteral("closed with Alt+F4:");
    recordExit(run, result, 3000);
    expectSavedOnce(run, result);
    return result;
}

// EchoLink ends and a new one takes the bus name on a connection of its own. The panel's
// calls are addressed to the name, so they reach the newcomer.
Result restartedServer()
{
    Result result;
    auto first = std::make_unique<SimProcess>();
    if (!first->start())
        return notStarted();
    PanelRun run;
    run.start(PanelRun::Display::X);
    const WId panel = waitUntilRunning(run, *first, PanelRun::Display::X, result);
    if (!panel)
        return result;
    const QImage before = run.buttonArea(panel);
    first->process().kill();
    first->process().waitForFinished(3000);
    first.reset();
    SimProcess second;
    if (!second.start())
        return notStarted();
    second.setLinked(QStringLiteral("W1AW"), true);
    QElapsedTimer clock;
    clock.start();
    const bool refreshed = QTest::qWaitFor([&] { return isConnectedCalls(second) >= 40; }, 12000);
    const qint64 took = clock.elapsed();
    const QImage after = run.buttonArea(panel);
    result.seen << QStringLiteral("new server: a full pass reached it after %1, W1AW linked there %2")
                       .arg(seconds(took))
                       .arg(after != before ? QStringLiteral("shows on its button")
                                            : QStringLiteral("does NOT show"));
    result.expect(refreshed, QStringLiteral("no refresh reached the new server"));
    result.expect(after != before, QStringLiteral("captions did not follow the new server"));
    // The panel subscribed to Closing by EchoLink's name, not by the old owner's
    // connection, so the new owner's Closing reaches it.
    result.seen << QStringLiteral("Closing from the new server:");
    closeWithEchoLink(run, second, result);
    return result;
}

// The unique bus name of the given process, empty when it has none.
QString busNameOf(qint64 pid)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    for (const QString &name : bus->registeredServiceNames().value())
        if (name.startsWith(QLatin1Char(':')) && bus->servicePid(name).value() == uint(pid))
            return name;
    return {};
}

// Closing sent by someone other than EchoLink, to everyone and to the panel alone.
Result spoofedClosing()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    PanelRun run;
    run.start(PanelRun::Display::Offscreen);
    waitUntilRunning(run, sim, PanelRun::Display::Offscreen, result);
    QDBusMessage closing = QDBusMessage::createSignal(QString::fromLatin1(Automation::ApplicationPath),
                                                      QString::fromLatin1(Automation::ApplicationInterface),
                                                      QString::fromLatin1(Automation::ClosingSignal));
    QDBusConnection::sessionBus().send(closing);
    const QString panelName = busNameOf(run.pid());
    closing = QDBusMessage::createTargetedSignal(panelName, QString::fromLatin1(Automation::ApplicationPath),
                                                 QString::fromLatin1(Automation::ApplicationInterface),
                                                 QString::fromLatin1(Automation::ClosingSignal));
    QDBusConnection::sessionBus().send(closing);
    QTest::qWait(2000);
    result.seen << QStringLiteral("broadcast and targeted (%1) spoofs: panel %2")
                       .arg(panelName,
                            run.isRunning() ? QStringLiteral("still running") : QStringLiteral("ENDED"));
    result.expect(!panelName.isEmpty(), QStringLiteral("panel's bus name not found"));
    result.expect(run.isRunning(), QStringLiteral("a spoofed Closing ended the panel"));
    if (!run.isRunning()) {
        recordExit(run, result, 1000);
        return result;
    }
    result.seen << QStringLiteral("then EchoLink's own Closing:");
    closeWithEchoLink(run, sim, result);
    return result;
}

// Closing before the panel has attached: it is subscribed to nothing yet, so the event
// passes unseen; the server has gone by the time the panel looks for it.
Result closingDuringSplash()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    PanelRun run;
    run.start(PanelRun::Display::X);
    QTest::qWait(1500);
    sim.control(QStringLiteral("EmitClosing"));
    result.seen << QStringLiteral("Closing at %1, windows: %2; unseen (not yet subscribed), EchoLink gone:")
                       .arg(seconds(run.msSinceStart()), run.windowNames().join(QStringLiteral(", ")));
    expectNotFoundEnding(run, result, 8000);
    return result;
}

// Closing in the four seconds between attaching and reading the callsign: the panel ends
// at once, without ever having loaded, so without saving.
Result closingDuringAttachWait()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    PanelRun run;
    run.start(PanelRun::Display::Offscreen);
    QTest::qWait(5000);
    sim.control(QStringLiteral("EmitClosing"));
    result.seen << QStringLiteral("Closing at %1:").arg(seconds(run.msSinceStart()));
    recordExit(run, result, 3000);
    result.expect(run.exitedWith(0), QStringLiteral("no clean exit"));
    result.expect(run.settingsUntouched() && run.saves() == 0, QStringLiteral("settings written"));
    result.lost = run.settingsUntouched() && run.saves() == 0
                      ? QStringLiteral("nothing: file as seeded, 0 saves")
                      : QStringLiteral("settings file rewritten");
    return result;
}

// Opens the Load Button dialog on a button and replaces its text; Enter when `commit`.
WId editCall(PanelRun &run, WId panel, int index, const QString &text, bool commit, Result &result)
{
    run.rightClickButton(panel, index);
    const WId dialog = run.waitForWindow(DialogTitle, 3000);
    result.expect(dialog != 0, QStringLiteral("no Load Button dialog"));
    if (!dialog)
        return 0;
    run.key(dialog, QStringLiteral("ctrl+a"));
    run.type(dialog, text);
    if (commit)
        run.key(dialog, QStringLiteral("Return"));
    return dialog;
}

// The baseline for the dialog cases: a confirmed edit saves at once, Closing saves again.
Result editThenClosing()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    PanelRun run;
    run.start(PanelRun::Display::X);
    const WId panel = waitUntilRunning(run, sim, PanelRun::Display::X, result);
    if (!panel || !editCall(run, panel, 1, QStringLiteral("k9xyz "), true, result))
        return result;
    const bool saved = QTest::qWaitFor(
        [&] {
            return run.missingFromSaved({{1, QStringLiteral("K9XYZ")}}).isEmpty();
        },
        2000);
    result.seen << QStringLiteral("button 1 edited to \"k9xyz \" + Enter: %1, %2 save(s), windows: %3")
                       .arg(saved ? QStringLiteral("file has K9XYZ") : QStringLiteral("file NOT updated"))
                       .arg(run.saves())
                       .arg(run.windowNames().join(QStringLiteral(", ")));
    result.expect(saved && run.saves() == 1, QStringLiteral("the edit was not saved once at once"));
    closeWithEchoLink(run, sim, result, {{1, QStringLiteral("K9XYZ")}}, run.saves());
    return result;
}

Result closingWithDialogOpen()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    PanelRun run;
    run.start(PanelRun::Display::X);
    const WId panel = waitUntilRunning(run, sim, PanelRun::Display::X, result);
    if (!panel || !editCall(run, panel, 1, QStringLiteral("K9XYZ"), false, result))
        return result;
    result.seen << QStringLiteral("dialog up with \"K9XYZ\" typed, windows: %1; Closing:")
                       .arg(run.windowNames().join(QStringLiteral(", ")));
    sim.control(QStringLiteral("EmitClosing"));
    QTest::qWait(300);
    const QStringList after = run.windowNames();
    result.seen << QStringLiteral("0.3 s later windows: %1")
                       .arg(after.isEmpty() ? QStringLiteral("none") : after.join(QStringLiteral(", ")));
    recordExit(run, result, 3000);
    expectSavedOnce(run, result);  // NodeCall1 still K1ABC: the uncommitted edit is not saved
    return result;
}

// A save after an edit fails (the settings folder is a file), and EchoLink closes while
// the report of that failure is on the screen.
Result closingWithMessageBoxOpen()
{
    Result result;
    SimProcess sim;
    if (!sim.start())
        return notStarted();
    PanelRun run;
    run.start(PanelRun::Display::X);
    const WId panel = waitUntilRunning(run, sim, PanelRun::Display::X, result);
    if (!panel)
        return result;
    const QString folder = QFileInfo(run.settingsPath()).path();
    QDir().rename(folder, folder + QStringLiteral(".aside"));
    QFile blocker(folder);
    blocker.open(QIODevice::WriteOnly);
    blocker.close();

    editCall(run, panel, 2, QStringLiteral("K9NEW"), true, result);
    const WId firstBox = run.waitForWindow(MessageBoxTitle, 3000);
    result.expect(firstBox != 0, QStringLiteral("no report of the failed save"));
    if (!firstBox)
        return result;
    // Both reports of a failed save read the same; the program also writes the reason
    // to standard error, in one line.
    static const QRegularExpression saveLine(QStringLiteral("^cannot save the settings: "));
    const auto saveReport = [&run] {
        return QStringLiteral("Dialboard could not save its settings.\r\n")
               + run.errorLines().filter(saveLine).value(0).remove(saveLine);
    };
    result.expect(recordBox(run, firstBox, saveReport(), result, QStringLiteral("after the edit,")),
                  QStringLiteral("report of the failed save not shown"));
    sim.control(QStringLiteral("EmitClosing"));
    QTest::qWait(1500);
    result.seen << QStringLiteral("Closing; 1.5 s later windows: %1")
                       .arg(run.windowNames().join(QStringLiteral(", ")));
    // Answer whatever boxes are up, newest first, until the program ends.
    for (int answered = 0; run.isRunning() && answered < 3; ++answered) {
        WId box = run.waitForWindow(MessageBoxTitle, 1000, firstBox);
        if (!box)
            box = run.waitForWindow(MessageBoxTitle, 1000);
        if (!box)
            break;
        if (box != firstBox)
            recordBox(run, box, saveReport(), result, QStringLiteral("then"));
        result.seen << QStringLiteral("Enter");
        run.key(box, QStringLiteral("Return"));
        QTest::qWait(500);
    }
    recordExit(run, result, 3000);
    result.expect(!run.isRunning(), QStringLiteral("panel did not end"));
    result.expect(run.exitedWith(1), QStringLiteral("exit status not 1 after a failed save"));

    QFile::remove(folder);
    QDir().rename(folder + QStringLiteral(".aside"), folder);
    result.lost =
        run.settingsUntouched()
            ? QStringLiteral("the edit K9NEW, which the disk refused (reported twice); seeded file intact")
            : QStringLiteral("seeded settings file DAMAGED");
    result.expect(run.settingsUntouched(), QStringLiteral("seeded settings file changed"));
    return result;
}

struct Scenario
{
    const char *name;
    bool needsDisplay;
    Result (*run)();
};

const Scenario Scenarios[] = {
    {"server absent", true, serverAbsent},
    {"half-present: --without setup", true, withoutSetup},
    {"half-present: --without sysop", true, withoutSysop},
    {"hung at start", true, hungAtStart},
    {"hung while running", true, hungWhileRunning},
    {"dying mid-pass (kill -9)", true, dyingMidPass},
    {"restarted, new connection", true, restartedServer},
    {"spoofed Closing", false, spoofedClosing},
    {"Closing in the 3 s splash wait", true, closingDuringSplash},
    {"Closing in the 4 s attach wait", false, closingDuringAttachWait},
    {"edit committed, then Closing", true, editThenClosing},
    {"Closing, Load Button dialog open", true, closingWithDialogOpen},
    {"Closing, message box open", true, closingWithMessageBoxOpen},
};

// Breaks text into lines of at most `width` characters, at spaces where it can.
QStringList wrapped(const QString &text, int width)
{
    QStringList lines;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        while (line.size() > width) {
            lines << line.left(width);
            line = line.mid(width);
        }
    }
    lines << line;
    return lines;
}

void printRow(const QStringList &cells)
{
    static const int widths[] = {32, 70, 30, 7};
    QList<QStringList> columns;
    qsizetype height = 0;
    for (int c = 0; c < cells.size(); ++c) {
        columns << wrapped(cells[c], widths[c]);
        height = std::max(height, columns.last().size());
    }
    for (qsizetype line = 0; line < height; ++line) {
        QString out;
        for (int c = 0; c < cells.size(); ++c)
            out += columns[c].value(line).leftJustified(widths[c]) + QStringLiteral(" | ");
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        std::printf("%s\n", qPrintable(out));
    }
}

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::WindowManager);
    QApplication app(argc, argv);
    const QString only = app.arguments().value(1);
    QElapsedTimer total;
    total.start();

    int failed = 0, ran = 0;
    QList<QStringList> rows;
    for (const Scenario &scenario : Scenarios) {
        if (!QString::fromLatin1(scenario.name).contains(only, Qt::CaseInsensitive))
            continue;
        QElapsedTimer clock;
        clock.start();
        note(QStringLiteral("scenario: %1").arg(QLatin1String(scenario.name)));
        Result result;
        if (scenario.needsDisplay && !haveDisplay())
            result.skipped = true;
        else
            result = scenario.run();
        const QString verdict = result.skipped            ? QStringLiteral("SKIP (no display)")
                                : result.faults.isEmpty() ? QStringLiteral("PASS")
                                                          : QStringLiteral("FAIL");
        QString seen = result.seen.join(QStringLiteral("; "))
                           .replace(TestEnvironment::configHome(), QStringLiteral("$XDG_CONFIG_HOME"));
        if (!result.faults.isEmpty())
            seen += QStringLiteral(" -- FAULT: ") + result.faults.join(QStringLiteral("; "));
        note(QStringLiteral("  %1 in %2: %3").arg(verdict, seconds(clock.elapsed()), seen));
        rows << QStringList{QLatin1String(scenario.name), seen, result.lost, verdict};
        ++ran;
        failed += result.faults.isEmpty() ? 0 : 1;
    }

    std::printf("\n");
    printRow({QStringLiteral("scenario"), QStringLiteral("what the user sees"), QStringLiteral("lost"),
              QStringLiteral("verdict")});
    std::printf("%s\n", qPrintable(QString(150, QLatin1Char('-'))));
    for (const QStringList &row : std::as_const(rows)) {
        printRow(row);
        std::printf("%s\n", qPrintable(QString(150, QLatin1Char('-'))));
    }
    BenchReport::figure("fault.scenarios", ran);
    BenchReport::figure("fault.failed", failed);
    BenchReport::figure("fault.seconds", double(total.elapsed()) / 1000.0);
    return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
