// Cost of loading and saving the full set of 45 settings keys, and of one always-on-top
// tick. Runs in a temporary configuration home of its own; the tick is measured on the
// display the program would use (offscreen when there is none).
//
//   bench_settings [rounds]      (default 200)
#include "PanelDriver.h"
#include "common/Product.h"
#include "panel/frmMain.h"
#include "settings/PanelSettings.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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
        times.push_back(double(clock.nsecsElapsed()) / 1000.0);
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

    TestHost host;
    frmMain w(host);
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    QMap<int, QString> calls;
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        calls[i] = QStringLiteral("CALL-%1,\"x\"").arg(i);
    PanelDriver::setCalls(w, calls);

    // A save, and a load as at start-up: the store opened (the file read), the 45 values
    // taken from it and applied to the panel.
    const double put = medianMicroseconds(rounds, [&w] { w.PutRegSettings(); });
    const double get = medianMicroseconds(rounds, [&w] {
        const SettingsStore store(Product::name(), QStringLiteral("Settings"));
        w.applySettings(PanelSettings::read(store));
    });
    PanelDriver::menuItem(w, "mnuOnTop")->trigger();
    QTimer *onTop = PanelDriver::timer(w, "OnTop");
    const double tick = medianMicroseconds(rounds, [onTop] {
        QMetaObject::invokeMethod(onTop, "timeout", Qt::DirectConnection);
        QCoreApplication::processEvents();
    });

    std::printf("platform %s, %d rounds, medians:\n", qPrintable(QGuiApplication::platformName()), rounds);
    std::printf("  PutRegSettings (45 keys)  %8.1f us\n", put);
    std::printf("  GetRegSettings (45 keys)  %8.1f us\n", get);
    std::printf("  OnTop tick                %8.1f us\n", tick);
    return host.endings.isEmpty() && onTop->isActive() ? 0 : 1;
}
