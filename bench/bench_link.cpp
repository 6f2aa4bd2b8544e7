// Cost of the panel's bus traffic against the stand-in server on a private bus, each
// beside the floor measured in the same run:
//  - one caption refresh (LoadNodeButtons until LoadNodeButtonsEnded) against 40 bare
//    IsConnected round trips in flight together, and 40 made one after another;
//  - a left click on an unlinked button until its Connect has been answered, against one
//    bare IsConnected round trip;
//  - a refresh while the server hangs, against the call time-out;
//  - the longest stall of the panel's event loop during a pass against a server that
//    answers every call 100 ms after it arrived, against the event loop without a pass.
// The measured and the floor samples are taken in alternation so that drift in the
// machine's load affects both alike. Every wait runs the event loop itself (never a
// sleep), so the panel's answers are taken as soon as they arrive.
//
//   bench_link [--quick]
#include "BenchReport.h"
#include "Heartbeat.h"
#include "PanelDriver.h"
#include "ProcessStats.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"
#include "common/Product.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <unistd.h>

using BenchReport::figure;
using BenchReport::median;
using BenchReport::note;
using BenchReport::percentile;

namespace {

constexpr int CallCount = frmMain::NodeButtonCount;

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

[[noreturn]] void giveUp(const QString &why)
{
    note(why);
    std::exit(EXIT_FAILURE);
}

QString callOf(int index)
{
    return index % 8 == 7 ? QString() : QStringLiteral("N%1CALL").arg(index);
}

// The same question the panel asks, without the panel's code.
QDBusMessage isConnectedMessage(const QString &call)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(Automation::ServiceName), QString::fromLatin1(Automation::ApplicationPath),
        QString::fromLatin1(Automation::ApplicationInterface),
        QString::fromLatin1(Automation::IsConnectedMethod));
    message << call;
    return message;
}

// `count` bare questions, each sent once the one before it has been answered.
double timeRoundTripsInTurn(int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            isConnectedMessage(callOf(i % CallCount)), QDBus::Block, Automation::CallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            giveUp(QStringLiteral("a bare IsConnected call failed"));
    }
    return msSince(timer);
}

// 40 bare questions sent together, the answers taken by the event loop as they come.
double timeRoundTripsInFlight()
{
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    int left = CallCount;
    bool failed = false;
    std::vector<std::unique_ptr<QDBusPendingCallWatcher>> watchers;
    for (int i = 0; i < CallCount; ++i) {
        watchers.push_back(std::make_unique<QDBusPendingCallWatcher>(QDBusConnection::sessionBus().asyncCall(
            isConnectedMessage(callOf(i)), Automation::CallTimeoutMs)));
        QObject::connect(watchers.back().get(), &QDBusPendingCallWatcher::finished, &loop,
                         [&](QDBusPendingCallWatcher *call) {
                             failed = failed || call->isError();
                             if (--left == 0)
                                 loop.quit();
                         });
    }
    loop.exec();
    if (failed)
        giveUp(QStringLiteral("a bare IsConnected call failed"));
    return msSince(timer);
}

// Runs the event loop for `ms`.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// One refresh, from the call to the signal that it is over.
double timePass(frmMain &w)
{
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    bool ended = false;
    const auto connection = QObject::connect(&w, &frmMain::LoadNodeButtonsEnded, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    w.LoadNodeButtons();
    if (!ended)
        loop.exec();
    QObject::disconnect(connection);
    if (!ended)
        giveUp(QStringLiteral("a refresh did not end within 10 s"));
    return msSince(timer);
}

// Voluntary context switches of this process's threads (each a later wake-up) while
// `run` runs, in all and by thread name.
struct Wakeups
{
    double all = 0;
    QMap<QString, double> byThread;
};

Wakeups wakeupsOf(const std::function<void()> &run)
{
    const ProcessStats before = ProcessStats::of(getpid());
    run();
    const ProcessStats after = ProcessStats::of(getpid());
    Wakeups wakeups;
    wakeups.all = double(ProcessStats::wakeups(before, after));
    const QMap<QString, long> byName = ProcessStats::wakeupsByThreadName(before, after);
    for (auto it = byName.cbegin(); it != byName.cend(); ++it)
        wakeups.byThread[it.key()] = double(it.value());
    return wakeups;
}

// Median wake-ups per run, printed as "<key>.wakeups" and "<key>.wakeups.<thread>".
void wakeupFigures(const char *key, const std::vector<Wakeups> &runs)
{
    std::vector<double> all;
    QMap<QString, std::vector<double>> byThread;
    for (const Wakeups &run : runs) {
        all.push_back(run.all);
        for (auto it = run.byThread.cbegin(); it != run.byThread.cend(); ++it)
            byThread[it.key()].push_back(it.value());
    }
    figure(qPrintable(QStringLiteral("%1.wakeups").arg(QLatin1String(key))), median(all));
    for (auto it = byThread.cbegin(); it != byThread.cend(); ++it)
        figure(qPrintable(
                   QStringLiteral("%1.wakeups.%2").arg(QLatin1String(key), BenchReport::keyPart(it.key()))),
               median(it.value()));
}

void refreshAgainstFloors(frmMain &w, int passes)
{
    std::vector<double> pass, inTurn, inFlight;
    std::vector<Wakeups> passWakeups, inTurnWakeups, inFlightWakeups;
    for (int i = 0; i < 20; ++i) {  // warm-up
        timePass(w);
        timeRoundTripsInTurn(CallCount);
        timeRoundTripsInFlight();
    }
    for (int i = 0; i < passes; ++i) {
        passWakeups.push_back(wakeupsOf([&] { pass.push_back(timePass(w)); }));
        inFlightWakeups.push_back(wakeupsOf([&] { inFlight.push_back(timeRoundTripsInFlight()); }));
        inTurnWakeups.push_back(wakeupsOf([&] { inTurn.push_back(timeRoundTripsInTurn(CallCount)); }));
    }
    note(QStringLiteral("refresh: %1 passes").arg(passes));
    figure("refresh.median_ms", median(pass));
    figure("refresh.p90_ms", percentile(pass, 0.9));
    figure("inflight40.median_ms", median(inFlight));
    figure("inflight40.p90_ms", percentile(inFlight, 0.9));
    figure("floor40.median_ms", median(inTurn));
    figure("floor40.p90_ms", percentile(inTurn, 0.9));
    note(QStringLiteral("wake-ups of this process's threads (voluntary context switches), median of each:"));
    wakeupFigures("refresh", passWakeups);
    wakeupFigures("inflight40", inFlightWakeups);
    wakeupFigures("floor40", inTurnWakeups);
}

// Clicks, then asks the stand-in for its call log until `expected` is in it. The log is
// asked on the panel's own connection, after the click's calls, and the stand-in answers
// in order, so the log that shows the call comes after the call's own answer.
double clickUntilServed(frmMain &w, SimProcess &sim, int index, const QString &expected)
{
    sim.clearCalls();
    QElapsedTimer timer;
    timer.start();
    QTest::mouseClick(PanelDriver::button(w, index), Qt::LeftButton);
    while (!sim.calls().contains(expected)) {
        QCoreApplication::processEvents();
        if (timer.elapsed() > 3000)
            giveUp(QStringLiteral("\"%1\" never reached the server").arg(expected));
    }
    return msSince(timer);
}

void clickAgainstRoundTrip(frmMain &w, SimProcess &sim, int clicks)
{
    const int index = 5;
    const QString call = callOf(index);
    std::vector<double> click, roundTrip;
    for (int i = 0; i < clicks + 10; ++i) {
        const double connectMs = clickUntilServed(w, sim, index, QStringLiteral("Connect %1 0").arg(call));
        clickUntilServed(w, sim, index, QStringLiteral("Disconnect %1").arg(call));
        const double bareMs = timeRoundTripsInTurn(1);
        if (i >= 10) {  // the first ten are warm-up
            click.push_back(connectMs);
            roundTrip.push_back(bareMs);
        }
    }
    note(QStringLiteral("click: %1 clicks, each until its Connect was answered").arg(clicks));
    figure("click.median_ms", median(click));
    figure("click.p90_ms", percentile(click, 0.9));
    figure("roundtrip.median_ms", median(roundTrip));
}

void hungServerRefresh(frmMain &w, SimProcess &sim, int passes)
{
    const int hangMs = 1500;
    std::vector<double> pass, stall;
    Heartbeat heartbeat;
    for (int i = 0; i < passes; ++i) {
        sim.control(QStringLiteral("HangFor"), {hangMs});
        QElapsedTimer timer;
        timer.start();
        heartbeat.reset();
        pass.push_back(timePass(w));
        stall.push_back(heartbeat.longestOwnMs());
        // Let the hang end and the held calls be answered before the next pass.
        runFor(hangMs - int(timer.elapsed()) + 100);
    }
    note(QStringLiteral("hung server: %1 passes, each during a 1.5 s hang").arg(passes));
    figure("hung.median_ms", median(pass));
    figure("hung.max_ms", percentile(pass, 1.0));
    figure("hung.bound_ms", Automation::CallTimeoutMs);
    figure("hung.stall_own_max_ms", percentile(stall, 1.0));
}

// Passes one after another against a server that answers each call 100 ms after it
// arrived: for each pass the longest time the event loop did not run. The floor is the
// same heartbeat over an equal time with no pass running, taken after each pass.
void stallAgainstSlowServer(frmMain &w, SimProcess &sim, int passes)
{
    const int replyDelayMs = 100;
    sim.control(QStringLiteral("SetReplyDelay"), {replyDelayMs});
    Heartbeat heartbeat;
    std::vector<double> pass, stall, ownStall, idle, ownIdle;
    timePass(w);  // warm-up
    for (int i = 0; i < passes; ++i) {
        heartbeat.reset();
        pass.push_back(timePass(w));
        stall.push_back(heartbeat.longestMs());
        ownStall.push_back(heartbeat.longestOwnMs());
        heartbeat.reset();
        runFor(int(pass.back()));
        idle.push_back(heartbeat.longestMs());
        ownIdle.push_back(heartbeat.longestOwnMs());
    }
    sim.control(QStringLiteral("SetReplyDelay"), {0});
    note(QStringLiteral("slow server: %1 passes, every call answered after %2 ms")
             .arg(passes)
             .arg(replyDelayMs));
    figure("slow.reply_delay_ms", replyDelayMs);
    figure("slow.pass_median_ms", median(pass));
    figure("slow.stall_median_ms", median(stall));
    figure("slow.stall_p90_ms", percentile(stall, 0.9));
    figure("slow.stall_max_ms", percentile(stall, 1.0));
    figure("slow.stall_own_max_ms", percentile(ownStall, 1.0));
    figure("slow.idle_median_ms", median(idle));
    figure("slow.idle_p90_ms", percentile(idle, 0.9));
    figure("slow.idle_max_ms", percentile(idle, 1.0));
    figure("slow.idle_own_max_ms", percentile(ownIdle, 1.0));
}

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(Product::name());
    QApplication::setApplicationName(Product::name());
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));

    SimProcess sim;
    if (!sim.start())
        giveUp(QStringLiteral("the stand-in server did not start"));

    TestHost host;
    frmMain w(host);
    if (!PanelDriver::load(w))
        giveUp(QStringLiteral("the panel did not start against the stand-in"));
    // Passes start here only, not on the 5 s timer as well.
    PanelDriver::timer(w, "ButtonLoad")->stop();
    QMap<int, QString> calls;
    for (int i = 0; i < CallCount; ++i)
        calls[i] = callOf(i);
    PanelDriver::setCalls(w, calls);
    for (int i = 0; i < CallCount; i += 3)
        sim.setLinked(callOf(i), true);
    sim.setLinked(callOf(5), false);
    w.show();

    refreshAgainstFloors(w, quick ? 50 : 300);
    clickAgainstRoundTrip(w, sim, quick ? 50 : 300);
    hungServerRefresh(w, sim, quick ? 2 : 10);
    stallAgainstSlowServer(w, sim, quick ? 10 : 30);
    return host.endings.isEmpty() ? EXIT_SUCCESS : EXIT_FAILURE;
}
