// The running panel as a user starts it, against the stand-in server on a private bus:
// its memory once started, and what it costs while nobody touches it and its refresh
// runs every 5 s (CPU time and voluntary context switches, each of which is a later
// wake-up; in all and by thread), beside the same figures of a bare 40-button window
// and of two bare programs asking the refresh's questions every 5 s (bare_refresh, one
// watching every answer, one only the last), measured over the same interval.
//
//   bench_idle [--quick] [--reader]
//
// --quick watches for 10 s instead of 120 s. --reader measures with assistive technology
// attached: the accessibility bus is up, the programs offer their trees on it, and a
// reader walks the panel's tree once, as a screen reader does when it starts; the figures
// then carry the prefix "reader.".
#include "Atspi.h"
#include "BenchReport.h"
#include "ProcessStats.h"
#include "SimProcess.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <cstdlib>
#include <vector>

using BenchReport::note;

namespace {

// The panel's questions in the stand-in's log; the bare refresh programs ask about calls
// of their own ("BARE...").
int panelQuestions(const SimProcess &sim)
{
    int count = 0;
    for (const QString &line : sim.calls()) {
        if (line.startsWith(QStringLiteral("IsConnected"))
            && !line.startsWith(QStringLiteral("IsConnected BARE")))
            ++count;
    }
    return count;
}

double wakeupsPerSecond(const ProcessStats &before, const ProcessStats &after, double seconds)
{
    return double(ProcessStats::wakeups(before, after)) / seconds;
}

void pause(int ms)
{
    QTest::qWait(ms);
}

// Watches the process for `seconds`, reading its wake-ups every 10 ms, and returns them
// in bursts: wake-ups less than a second apart belong to one burst, and each refresh
// pass, every 5 s, is one burst.
std::vector<long> wakeupBursts(pid_t pid, int seconds)
{
    std::vector<long> bursts;
    QElapsedTimer clock, sinceLast;
    clock.start();
    ProcessStats last = ProcessStats::of(pid);
    while (clock.elapsed() < seconds * 1000) {
        pause(10);
        const ProcessStats now = ProcessStats::of(pid);
        const long wakeups = ProcessStats::wakeups(last, now);
        last = now;
        if (wakeups == 0)
            continue;
        if (bursts.empty() || !sinceLast.isValid() || sinceLast.elapsed() > 1000)
            bursts.push_back(0);
        bursts.back() += wakeups;
        sinceLast.start();
    }
    return bursts;
}

void startProgram(QProcess &process, const QString &path, const QStringList &arguments = {})
{
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(path, arguments);
    if (!process.waitForStarted(5000)) {
        note(QStringLiteral("could not start %1").arg(path));
        std::exit(EXIT_FAILURE);
    }
}

void stopProgram(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(2000);
}

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::WindowManager);
    QApplication app(argc, argv);
    const int seconds = app.arguments().contains(QStringLiteral("--quick")) ? 10 : 120;
    const bool withReader = app.arguments().contains(QStringLiteral("--reader"));
    const auto figure = [withReader](const char *key, double value) {
        BenchReport::figure(withReader ? qPrintable(QStringLiteral("reader.") + QLatin1String(key)) : key,
                            value);
    };

    Atspi::Bus accessibilityBus;
    if (withReader) {
        if (!accessibilityBus.start()) {
            note(accessibilityBus.whyNot());
            return EXIT_FAILURE;
        }
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");  // for the programs started below
    }

    SimProcess sim;
    if (!sim.start()) {
        note(QStringLiteral("the stand-in server did not start"));
        return EXIT_FAILURE;
    }
    QProcess panel, bare, bareRefresh, bareRefreshLast;
    startProgram(panel, QStringLiteral(DIALBOARD_PATH));
    startProgram(bare, QStringLiteral(BARE_WINDOW_PATH));

    // Started means the first refresh has been answered; the start-up's designed waits
    // come before it.
    if (!QTest::qWaitFor([&] { return panelQuestions(sim) >= 40 || panel.state() == QProcess::NotRunning; },
                         60000)
        || panel.state() == QProcess::NotRunning) {
        note(QStringLiteral("the panel did not start against the stand-in"));
        return EXIT_FAILURE;
    }
    if (withReader) {
        const Atspi::Reader reader(accessibilityBus.address());
        Atspi::Node application;
        if (!QTest::qWaitFor([&] { return !(application = reader.application(panel.processId())).isNull(); },
                             10000)) {
            note(QStringLiteral("the panel never offered its tree on the accessibility bus"));
            return EXIT_FAILURE;
        }
        const QList<Atspi::Node> buttons = reader.withRole(application, QStringLiteral("push button"));
        note(QStringLiteral("reader: %1 push buttons in the panel's tree").arg(buttons.size()));
        for (const Atspi::Node &button : buttons)
            reader.name(button);
    }
    // The bare refresh programs tick every 5 s as the panel does, a third of the period
    // apart from it and from each other, so no two ask the stand-in at once.
    pause(1700);
    startProgram(bareRefresh, QStringLiteral(BARE_REFRESH_PATH));
    pause(1700);
    startProgram(bareRefreshLast, QStringLiteral(BARE_REFRESH_PATH), {QStringLiteral("--watch-last")});
    pause(1000);

    const ProcessStats panelBefore = ProcessStats::of(pid_t(panel.processId()));
    const ProcessStats bareBefore = ProcessStats::of(pid_t(bare.processId()));
    const ProcessStats refreshBefore = ProcessStats::of(pid_t(bareRefresh.processId()));
    const ProcessStats refreshLastBefore = ProcessStats::of(pid_t(bareRefreshLast.processId()));
    const int questionsBefore = panelQuestions(sim);
    figure("rss.panel_mib", panelBefore.rssMiB);
    figure("rss.panel_hwm_mib", panelBefore.highWaterMiB);
    figure("rss.bare_mib", bareBefore.rssMiB);

    note(QStringLiteral("idle: watching the panel, a bare window and two bare refresh programs for %1 s")
             .arg(seconds));
    const std::vector<long> bursts = wakeupBursts(pid_t(panel.processId()), seconds);
    const ProcessStats panelAfter = ProcessStats::of(pid_t(panel.processId()));
    const ProcessStats bareAfter = ProcessStats::of(pid_t(bare.processId()));
    const ProcessStats refreshAfter = ProcessStats::of(pid_t(bareRefresh.processId()));
    const ProcessStats refreshLastAfter = ProcessStats::of(pid_t(bareRefreshLast.processId()));
    const int passes = (panelQuestions(sim) - questionsBefore) / 40;
    if (!panelAfter.valid || !bareAfter.valid || !refreshAfter.valid || !refreshLastAfter.valid) {
        note(QStringLiteral("a program ended while being watched"));
        return EXIT_FAILURE;
    }

    const double s = seconds;
    figure("idle.seconds", s);
    figure("idle.panel_wakeups_per_s", wakeupsPerSecond(panelBefore, panelAfter, s));
    figure("idle.panel_main_wakeups_per_s",
           double(panelAfter.mainThreadSwitches - panelBefore.mainThreadSwitches) / s);
    figure("idle.panel_cpu_ms_per_min", (panelAfter.cpuSeconds - panelBefore.cpuSeconds) * 60000.0 / s);
    figure("idle.panel_refresh_passes", passes);
    if (!bursts.empty()) {
        const std::vector<double> perBurst(bursts.begin(), bursts.end());
        note(QStringLiteral("panel wake-ups in bursts of activity (one a refresh pass, and any other): %1")
                 .arg([&] {
                     QStringList counts;
                     for (const long count : bursts)
                         counts << QString::number(count);
                     return counts.join(QLatin1Char(' '));
                 }()));
        figure("idle.panel_bursts", double(bursts.size()));
        figure("idle.panel_burst_median_wakeups", BenchReport::median(perBurst));
        figure("idle.panel_burst_max_wakeups", BenchReport::percentile(perBurst, 1.0));
    }
    figure("idle.bare_wakeups_per_s", wakeupsPerSecond(bareBefore, bareAfter, s));
    figure("idle.bare_cpu_ms_per_min", (bareAfter.cpuSeconds - bareBefore.cpuSeconds) * 60000.0 / s);
    figure("idle.bare_refresh_wakeups_per_s", wakeupsPerSecond(refreshBefore, refreshAfter, s));
    figure("idle.bare_refresh_main_wakeups_per_s",
           double(refreshAfter.mainThreadSwitches - refreshBefore.mainThreadSwitches) / s);
    figure("idle.bare_refresh_last_wakeups_per_s", wakeupsPerSecond(refreshLastBefore, refreshLastAfter, s));
    figure("idle.bare_refresh_last_main_wakeups_per_s",
           double(refreshLastAfter.mainThreadSwitches - refreshLastBefore.mainThreadSwitches) / s);

    // The panel's by thread, as "idle.thread.<name>_wakeups_per_s".
    const QMap<QString, long> byThread = ProcessStats::wakeupsByThreadName(panelBefore, panelAfter);
    for (auto it = byThread.cbegin(); it != byThread.cend(); ++it)
        figure(qPrintable(QStringLiteral("idle.thread.%1_wakeups_per_s").arg(BenchReport::keyPart(it.key()))),
               double(it.value()) / s);

    for (QProcess *program : {&panel, &bare, &bareRefresh, &bareRefreshLast})
        stopProgram(*program);
    return EXIT_SUCCESS;
}
