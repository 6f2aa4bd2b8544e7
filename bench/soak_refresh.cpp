// Soak of the caption refresh: many passes of LoadNodeButtons against the stand-in
// server, with nodes linked and dropped at random between passes through the server's
// control object. After every pass each caption must match what the server holds; after
// warm-up (the first 30 % of the passes, while allocator pools and Qt's caches fill) the
// resident set may not grow by more than 1 MiB.
//
//   soak_refresh [passes] [seed]      (10000 passes by default; the seed is printed)
#include "BenchReport.h"
#include "PanelDriver.h"
#include "ProcessStats.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "common/Product.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QTimer>
#include <array>
#include <unistd.h>

using BenchReport::figure;
using BenchReport::note;

namespace {

constexpr int CheckEvery = 100;
constexpr double AllowedGrowthMiB = 1.0;
constexpr int CallCount = frmMain::NodeButtonCount;

// Ordinary calls and awkward ones; some appear twice, two entries are empty.
std::array<QString, CallCount> soakCalls()
{
    const QStringList awkward = {QString(),
                                 QStringLiteral(" "),
                                 QStringLiteral("&"),
                                 QStringLiteral("*LEAD"),
                                 QStringLiteral("ÆØÅ-Ünïcode"),
                                 QStringLiteral("a\"quote'"),
                                 QString(300, QLatin1Char('X')),
                                 QStringLiteral("W1AW"),
                                 QStringLiteral("w1aw "),
                                 QString()};
    std::array<QString, CallCount> calls;
    for (int i = 0; i < CallCount; ++i)
        calls[i] = i < awkward.size() ? awkward[i] : QStringLiteral("K%1XYZ").arg(i % 25);
    return calls;
}

double rssMiB()
{
    return ProcessStats::of(getpid()).rssMiB;
}

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(Product::name());
    QApplication::setApplicationName(Product::name());
    const QStringList args = app.arguments();
    const int passes = args.size() > 1 ? args[1].toInt() : 10000;
    const quint32 seed = args.size() > 2 ? args[2].toUInt() : QRandomGenerator::system()->generate();
    QRandomGenerator random(seed);
    const int warmUpPasses = std::max(CheckEvery, passes * 3 / 10 / CheckEvery * CheckEvery);
    note(QStringLiteral("soak: %1 passes, seed %2").arg(passes).arg(seed));

    SimProcess sim;
    if (!sim.start()) {
        note(QStringLiteral("the stand-in server did not start"));
        return EXIT_FAILURE;
    }
    TestHost host;
    frmMain w(host);
    if (!PanelDriver::load(w)) {
        note(QStringLiteral("the panel did not start against the stand-in"));
        return EXIT_FAILURE;
    }
    // Passes start here only, so each one asks after the links were changed.
    PanelDriver::timer(w, "ButtonLoad")->stop();
    const std::array<QString, CallCount> calls = soakCalls();
    QMap<int, QString> table;
    for (int i = 0; i < CallCount; ++i)
        table[i] = calls[i];
    PanelDriver::setCalls(w, table);
    w.show();
    sim.clearCalls();

    QHash<QString, bool> linked;  // what the server holds
    int failures = 0;
    double warmRss = 0, peakRss = 0;
    QElapsedTimer clock;
    clock.start();
    for (int pass = 1; pass <= passes; ++pass) {
        for (int flips = random.bounded(4); flips > 0; --flips) {
            const QString call = calls[random.bounded(CallCount)];
            if (call.isEmpty())
                continue;  // an empty call is never linked
            linked[call] = !linked.value(call);
            sim.setLinked(call, linked[call]);
        }
        if (!PanelDriver::refresh(w) && ++failures <= 5)
            note(QStringLiteral("pass %1 did not end").arg(pass));

        for (int i = 0; i < CallCount; ++i) {
            const QString &call = calls[i];
            const QString expected = linked.value(call) ? QLatin1Char('*') + call : call;
            if (w.caption(i) != expected && ++failures <= 5)
                note(QStringLiteral("pass %1: button %2 shows \"%3\", expected \"%4\"")
                         .arg(pass)
                         .arg(i)
                         .arg(w.caption(i).left(40), expected.left(40)));
        }
        if (pass % CheckEvery == 0) {
            qsizetype asked = 0;
            for (const QString &line : sim.calls())
                asked += line.startsWith(QStringLiteral("IsConnected ")) ? 1 : 0;
            if (asked != qsizetype(CheckEvery) * CallCount && ++failures <= 5)
                note(QStringLiteral("passes up to %1: the server saw %2 questions, not %3")
                         .arg(pass)
                         .arg(asked)
                         .arg(CheckEvery * CallCount));
            sim.clearCalls();
            const double rss = rssMiB();
            if (pass % std::max(CheckEvery, passes / 10) == 0)
                note(QStringLiteral("pass %1: resident %2 MiB").arg(pass).arg(rss, 0, 'f', 2));
            if (pass == warmUpPasses)
                warmRss = rss;
            if (pass >= warmUpPasses)
                peakRss = std::max(peakRss, rss);
        }
    }
    const double endRss = rssMiB();
    figure("soak.passes", passes);
    figure("soak.seconds", double(clock.elapsed()) / 1000.0);
    figure("soak.failures", failures);
    figure("soak.rss_warm_mib", warmRss);
    figure("soak.rss_end_mib", endRss);
    figure("soak.rss_growth_mib", std::max(peakRss, endRss) - warmRss);
    const bool ok =
        failures == 0 && host.endings.isEmpty() && std::max(peakRss, endRss) - warmRss <= AllowedGrowthMiB;
    note(ok ? QStringLiteral("soak passed") : QStringLiteral("soak FAILED"));
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
