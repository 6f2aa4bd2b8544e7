// Typing in the Load Button dialog with 10,000 stations in EchoLink's list: how long each
// key holds the panel's event loop (the key's handling, the completion's filtering and
// the popup's layout and painting, up to the loop being free again), and how long the
// dialog's opening holds it when the list comes in (read, sorted, handed to the
// completer). The panel runs against the stand-in on a private bus, as in the tests; keys
// go to the dialog's window as the window system delivers them. Times are on the clock:
// on a shared machine they include whatever else ran meanwhile; the opening's stall is
// given also less the time the CPU was taken by others.
//
//   bench_completion [--quick]
#include "BenchReport.h"
#include "Heartbeat.h"
#include "PanelDriver.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "common/Product.h"
#include "panel/StationCompletion.h"
#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <cstdlib>
#include <cstring>

using BenchReport::figure;
using BenchReport::median;
using BenchReport::note;
using BenchReport::percentile;

namespace {

constexpr int StationCount = 10000;

[[noreturn]] void giveUp(const QString &why)
{
    note(why);
    std::exit(EXIT_FAILURE);
}

// A list shaped like the directory's: callsigns of many countries, links and repeaters,
// a few conferences, each with a location.
StationListEntries manyStations()
{
    static const char *const prefixes[] = {"W", "K", "N", "VE", "G", "DL", "JA", "VK", "F", "I", "EA", "PA"};
    static const char *const places[] = {"Newington, CT", "Hartford", "Boston", "Toronto", "London",
                                         "Berlin",        "Tokyo",    "Sydney", "Paris",   "Madrid"};
    QRandomGenerator random(18);
    StationListEntries stations;
    stations.reserve(StationCount);
    for (int i = 0; i < StationCount; ++i) {
        QString call;
        if (i % 20 == 0) {
            call = QStringLiteral("*CONF%1*").arg(i);
        } else {
            call = QLatin1String(prefixes[random.bounded(int(std::size(prefixes)))])
                   + QString::number(random.bounded(10));
            for (int letters = 2 + random.bounded(2); letters > 0; --letters)
                call += QChar(u'A' + random.bounded(26));
            const int kind = random.bounded(4);
            if (kind == 1)
                call += QStringLiteral("-L");
            else if (kind == 2)
                call += QStringLiteral("-R");
        }
        stations.append({call, QLatin1String(places[random.bounded(int(std::size(places)))]),
                         quint32(100000 + i), i % 7 == 0 ? QStringLiteral("BUSY") : QStringLiteral("ON")});
    }
    return stations;
}

// One key to the dialog's window, then every event it caused: the time the loop was held.
double keyMs(frmLoadButtons *dialog, Qt::Key key, const QString &text = QString())
{
    QElapsedTimer clock;
    clock.start();
    if (text.isEmpty())
        QTest::keyClick(dialog->windowHandle(), key);
    else
        QTest::keyClick(dialog->windowHandle(), text.at(0).toLatin1());
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return double(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::WindowManager);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(Product::name());
    QApplication::setApplicationName(Product::name());
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;

    SimProcess sim;
    if (!sim.start())
        giveUp(QStringLiteral("the stand-in did not start"));
    sim.setStations(manyStations());
    TestHost host;
    frmMain w(host);
    if (!PanelDriver::load(w))
        giveUp(QStringLiteral("the panel did not start"));
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        giveUp(QStringLiteral("the panel's window was not shown"));

    // What a user types: a few letters of a call, a look down the list, then the box
    // cleared for the next one.
    const QStringList words = {QStringLiteral("w1"),  QStringLiteral("k"),    QStringLiteral("ve3"),
                               QStringLiteral("*c"),  QStringLiteral("n0ab"), QStringLiteral("dl"),
                               QStringLiteral("g4x"), QStringLiteral("ja1"),  QStringLiteral("vk2"),
                               QStringLiteral("pa")};
    const int rounds = quick ? 3 : 10;
    std::vector<double> keys, openings, ownOpenings;
    int popupsShown = 0;
    Heartbeat heartbeat;
    for (int round = 0; round < rounds; ++round) {
        bool ready = false;
        const bool opened =
            PanelDriver::editButton(w, round % frmMain::NodeButtonCount, [&](frmLoadButtons *dialog) {
                auto *completion = dialog->findChild<StationCompletion *>();
                heartbeat.reset();
                ready = completion && QTest::qWaitFor([completion] { return completion->isReady(); }, 3000);
                openings.push_back(heartbeat.longestMs());
                ownOpenings.push_back(heartbeat.longestOwnMs());
                auto *box = dialog->findChild<QLineEdit *>(QStringLiteral("tbCall"));
                box->clear();
                for (const QString &word : words) {
                    for (const QChar c : word)
                        keys.push_back(keyMs(dialog, Qt::Key_unknown, QString(c)));
                    if (QApplication::activePopupWidget())
                        ++popupsShown;
                    for (int i = 0; i < 3; ++i)
                        keys.push_back(keyMs(dialog, Qt::Key_Down));
                    keys.push_back(keyMs(dialog, Qt::Key_Escape));
                    // Down filled the box with a call: it is emptied key by key.
                    while (!box->text().isEmpty())
                        keys.push_back(keyMs(dialog, Qt::Key_Backspace));
                }
            });
        if (!opened || !ready)
            giveUp(QStringLiteral("the dialog did not open with its completion"));
    }

    if (popupsShown < rounds * int(words.size()) / 2)
        giveUp(QStringLiteral("the completion popup showed for only %1 words").arg(popupsShown));
    note(QStringLiteral("%1 stations, %2 keys typed in %3 dialogs, the popup open after %4 of %5 words")
             .arg(StationCount)
             .arg(keys.size())
             .arg(rounds)
             .arg(popupsShown)
             .arg(rounds * words.size()));
    figure("completion.stations", StationCount);
    figure("completion.key_median_ms", median(keys));
    figure("completion.key_p99_ms", percentile(keys, 0.99));
    figure("completion.key_max_ms", percentile(keys, 1.0));
    figure("completion.open_stall_max_ms", percentile(openings, 1.0));
    figure("completion.open_stall_own_max_ms", percentile(ownOpenings, 1.0));
    return EXIT_SUCCESS;
}
