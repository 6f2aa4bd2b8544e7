// Cost of loading and saving the full set of 45 settings keys, and of one always-on-top
// tick. Runs in a temporary configuration home of its own; the tick is measured on the
// display the program would use (offscreen when there is none).
//
//   bench_settings [rounds]      (default 200)
#include "panel/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Median wall time of one call, in microseconds.
double medianMicroseconds(int rounds, const std::function<void()> &call)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        call();
        times.push_back(clock.nsecsElapsed() / 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    frmMain w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    for (int i = 0; i < Module1::NodeButtonCount; ++i)
        Module1::NodeCalls[i] = QStringLiteral("CALL-%1,\"x\"").arg(i);

    const double put = medianMicroseconds(rounds, [&w] { w.PutRegSettings(); });
    const double get = medianMicroseconds(rounds, [&w] { w.GetRegSettings(); });
    w.mnuOnTop->setChecked(true);
    const double tick = medianMicroseconds(rounds, [&w] {
        w.OnTop_Timer();
        QCoreApplication::processEvents();
    });

    std::printf("platform %s, %d rounds, medians:\n", qPrintable(QGuiApplication::platformName()), rounds);
    std::printf("  PutRegSettings (45 keys)  %8.1f us\n", put);
    std::printf("  GetRegSettings (45 keys)  %8.1f us\n", get);
    std::printf("  OnTop tick                %8.1f us\n", tick);
    return 0;
}
