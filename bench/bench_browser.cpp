// The node window's station browser with 10,000 stations in the list: how long each
// keystroke in its search box holds the window's event loop, filtering and repainting
// included. Keys come as a quick typist types them (one every 80 ms, from a timer, so the
// window paints in between as it would); a 1 ms heartbeat timer runs throughout, and a
// keystroke's stall is the longest gap between two heartbeats from that key to the next,
// on the clock and less the time the CPU was taken by others (the machine may be shared:
// the clock counts time other processes took, the other figure does not).
// A fresh list of 10,000 stations arriving while a filter is typed is measured the same
// way. Prints key=value figures (milliseconds).
#include "BenchReport.h"
#include "Heartbeat.h"
#include "node/StationList.h"
#include "node/window/StationBrowser.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <functional>

#include <vector>

namespace {

constexpr int Stations = 10000;
constexpr int KeyIntervalMs = 80;

QList<StationEntry> makeStations(quint32 seed)
{
    static const char *const Places[] = {"Newington CT", "Boston MA",  "Omaha NE",   "Hartford CT",
                                         "London",       "Sydney NSW", "Toronto ON", "Berlin",
                                         "Tokyo",        "Denver CO",  "Austin TX",  "Paris",
                                         "Madrid",       "Rome",       "Oslo",       "Cape Town"};
    static const char *const Prefixes[] = {"W", "K", "N", "VE", "G", "DL", "JA", "VK", "F", "EA", "I", "LA"};
    QRandomGenerator random(seed);
    QList<StationEntry> list;
    list.reserve(Stations);
    for (int i = 0; i < Stations; ++i) {
        StationEntry entry;
        QString call = QLatin1String(Prefixes[random.bounded(12)]) + QString::number(random.bounded(10));
        for (int letters = 1 + random.bounded(3); letters > 0; --letters)
            call += QChar(u'A' + random.bounded(26));
        switch (random.bounded(10)) {
        case 0:
            call = QLatin1Char('*') + call + QStringLiteral("CONF*");
            break;
        case 1:
        case 2:
            call += QStringLiteral("-L");
            break;
        case 3:
        case 4:
            call += QStringLiteral("-R");
            break;
        default:
            break;
        }
        entry.callsign = call;
        entry.description = QLatin1String(Places[random.bounded(16)]);
        entry.status = random.bounded(8) == 0 ? QStringLiteral("BUSY") : QStringLiteral("ON");
        entry.id = 1000 + i * 7 + int(random.bounded(7));
        list << entry;
    }
    return list;
}

struct Stalls
{
    std::vector<double> clock;  // the longest heartbeat gap of each step
    std::vector<double> own;    // the longest, less the time the CPU was taken by others
};

// The longest heartbeat gap while work(step) runs once per interval for steps steps.
Stalls stallsOf(int steps, const std::function<void(int)> &work)
{
    Stalls stalls{std::vector<double>(steps, 0.0), std::vector<double>(steps, 0.0)};
    int step = -1;
    Heartbeat heartbeat;
    QTimer keys;
    keys.setTimerType(Qt::PreciseTimer);
    keys.setInterval(KeyIntervalMs);
    QEventLoop loop;
    QObject::connect(&keys, &QTimer::timeout, &loop, [&] {
        if (step >= 0) {
            stalls.clock[step] = heartbeat.longestMs();
            stalls.own[step] = heartbeat.longestOwnMs();
        }
        if (++step == steps) {
            loop.quit();
            return;
        }
        heartbeat.reset();
        work(step);
    });
    keys.start();
    loop.exec();
    return stalls;
}

void report(const char *name, const Stalls &stalls)
{
    const QByteArray key(name);
    BenchReport::figure(key + "_median_ms", BenchReport::median(stalls.clock));
    BenchReport::figure(key + "_p95_ms", BenchReport::percentile(stalls.clock, 0.95));
    BenchReport::figure(key + "_max_ms", *std::max_element(stalls.clock.begin(), stalls.clock.end()));
    BenchReport::figure(key + "_own_median_ms", BenchReport::median(stalls.own));
    BenchReport::figure(key + "_own_max_ms", *std::max_element(stalls.own.begin(), stalls.own.end()));
}

// The offscreen platform warns at every change of the window's size hints; on a
// desktop nothing is printed, so neither is it here.
void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QLatin1String("propagateSizeHints")))
        qt_message_output(type, context, message);
}

}  // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietOffscreen);
    QApplication app(argc, argv);
    StationBrowser browser;
    browser.resize(700, 600);
    browser.show();
    if (!QTest::qWaitForWindowExposed(&browser))
        return 1;
    const QList<StationEntry> first = makeStations(1);
    const QList<StationEntry> second = makeStations(2);
    browser.setStations(first);
    QTest::qWait(200);
    auto *box = static_cast<QLineEdit *>(browser.searchBox());
    box->setFocus();
    BenchReport::note(QStringLiteral("%1 stations, platform %2, a key every %3 ms")
                          .arg(Stations)
                          .arg(QGuiApplication::platformName())
                          .arg(KeyIntervalMs));

    // Typed and rubbed out again (\b): calls, a place, node numbers, the conference mark.
    QString typing;
    for (const QString &word : {QStringLiteral("w1a"), QStringLiteral("new"), QStringLiteral("10"),
                                QStringLiteral("*"), QStringLiteral("ja5"), QStringLiteral("-r")})
        typing += word + QString(word.size(), QLatin1Char('\b'));
    const int rounds = 5;
    const Stalls keys = stallsOf(int(typing.size()) * rounds, [&](int step) {
        const QChar c = typing[step % typing.size()];
        if (c == QLatin1Char('\b'))
            QTest::keyClick(box, Qt::Key_Backspace);
        else
            QTest::keyClick(box, c.toLatin1());
    });
    report("browser_keystroke_stall", keys);

    // Fresh lists while a filter stands: the other list, then the first again.
    QTest::keyClicks(box, QStringLiteral("w"));
    const Stalls refresh = stallsOf(20, [&](int step) { browser.setStations(step % 2 ? first : second); });
    report("browser_list_refresh_stall", refresh);
    return 0;
}
