// The running panel as a user starts it, against the stand-in server on a private bus:
// its memory once started, and what it costs while nobody touches it (CPU time and
// voluntary context switches, each of which is a later wake-up), beside the same
// figures of a bare 40-button window measured over the same interval.
//
//   bench_idle [--quick] [--reader]
//
// --quick watches for 10 s instead of 60 s. --reader measures with assistive technology
// attached: the accessibility bus is up, both programs offer their trees on it, and a
// reader walks the panel's tree once, as a screen reader does when it starts; the figures
// then carry the prefix "reader.".
#include "Atspi.h"
#include "BenchReport.h"
#include "ProcessStats.h"
#include "SimProcess.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <cstdlib>

using BenchReport::note;

namespace {

int isConnectedCalls(const SimProcess &sim)
{
    int count = 0;
    for (const QString &line : sim.calls())
        count += line.startsWith(QStringLiteral("IsConnected")) ? 1 : 0;
    return count;
}

void startProgram(QProcess &process, const QString &path)
{
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(path, {});
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
    const int seconds = app.arguments().contains(QStringLiteral("--quick")) ? 10 : 60;
    const bool withReader = app.arguments().contains(QStringLiteral("--reader"));
    const auto figure = [withReader](const char *key, double value) {
        BenchReport::figure(withReader ? qPrintable(QStringLiteral("reader.") + QLatin1String(key)) : key, value);
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
    QProcess panel, bare;
    startProgram(panel, QStringLiteral(DIALBOARD_PATH));
    startProgram(bare, QStringLiteral(BARE_WINDOW_PATH));

    // Started means the first refresh has been answered; the start-up's designed waits
    // come before it.
    if (!QTest::qWaitFor([&] { return isConnectedCalls(sim) >= 40 || panel.state() == QProcess::NotRunning; },
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
    QTest::qWait(2000);

    const ProcessStats panelBefore = ProcessStats::of(pid_t(panel.processId()));
    const ProcessStats bareBefore = ProcessStats::of(pid_t(bare.processId()));
    const int callsBefore = isConnectedCalls(sim);
    figure("rss.panel_mib", panelBefore.rssMiB);
    figure("rss.panel_hwm_mib", panelBefore.highWaterMiB);
    figure("rss.bare_mib", bareBefore.rssMiB);

    note(QStringLiteral("idle: watching the panel and a bare window for %1 s").arg(seconds));
    QTest::qWait(seconds * 1000);
    const ProcessStats panelAfter = ProcessStats::of(pid_t(panel.processId()));
    const ProcessStats bareAfter = ProcessStats::of(pid_t(bare.processId()));
    const int passes = (isConnectedCalls(sim) - callsBefore) / 40;
    if (!panelAfter.valid || !bareAfter.valid) {
        note(QStringLiteral("the panel or the bare window ended while being watched"));
        return EXIT_FAILURE;
    }

    const double s = seconds;
    figure("idle.seconds", s);
    figure("idle.panel_wakeups_per_s", double(panelAfter.voluntarySwitches - panelBefore.voluntarySwitches) / s);
    figure("idle.panel_main_wakeups_per_s",
           double(panelAfter.mainThreadSwitches - panelBefore.mainThreadSwitches) / s);
    figure("idle.panel_cpu_ms_per_min", (panelAfter.cpuSeconds - panelBefore.cpuSeconds) * 60000.0 / s);
    figure("idle.panel_refresh_passes", passes);
    figure("idle.bare_wakeups_per_s", double(bareAfter.voluntarySwitches - bareBefore.voluntarySwitches) / s);
    figure("idle.bare_cpu_ms_per_min", (bareAfter.cpuSeconds - bareBefore.cpuSeconds) * 60000.0 / s);

    stopProgram(panel);
    stopProgram(bare);
    return EXIT_SUCCESS;
}
