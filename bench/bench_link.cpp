// Cost of the panel's bus traffic against the stand-in server on a private bus, each
// beside the floor measured in the same run:
//  - one caption refresh (LoadNodeButtons) against 40 bare synchronous IsConnected calls;
//  - a left click on an unlinked button until its Connect has been answered, against one
//    bare IsConnected call;
//  - a refresh while the server hangs, against the call time-out.
// The measured and the floor samples are taken in alternation so that drift in the
// machine's load affects both alike.
#include "BenchReport.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

using BenchReport::figure;
using BenchReport::median;
using BenchReport::note;
using BenchReport::percentile;
using Module1::NodeCalls;

namespace {

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// One bare round trip: the same question the panel asks, without the panel's code.
bool bareIsConnected(const QString &call)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(Automation::ServiceName), QString::fromLatin1(Automation::ApplicationPath),
        QString::fromLatin1(Automation::ApplicationInterface),
        QString::fromLatin1(Automation::IsConnectedMethod));
    message << call;
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(message, QDBus::Block, Automation::CallTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

double timeBareRoundTrips(int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        if (!bareIsConnected(NodeCalls[i % Module1::NodeButtonCount])) {
            note(QStringLiteral("a bare IsConnected call failed"));
            std::exit(EXIT_FAILURE);
        }
    }
    return msSince(timer);
}

void refreshAgainstFloor(frmMain &w, int passes)
{
    std::vector<double> pass, floor;
    for (int i = 0; i < 20; ++i) {  // warm-up
        w.LoadNodeButtons();
        timeBareRoundTrips(Module1::NodeButtonCount);
    }
    for (int i = 0; i < passes; ++i) {
        QElapsedTimer timer;
        timer.start();
        w.LoadNodeButtons();
        pass.push_back(msSince(timer));
        floor.push_back(timeBareRoundTrips(Module1::NodeButtonCount));
    }
    note(QStringLiteral("refresh: %1 passes").arg(passes));
    figure("refresh.median_ms", median(pass));
    figure("refresh.p90_ms", percentile(pass, 0.9));
    figure("floor40.median_ms", median(floor));
    figure("floor40.p90_ms", percentile(floor, 0.9));
}

void clickAgainstRoundTrip(frmMain &w, SimProcess &sim, int clicks)
{
    const int index = 5;
    QPushButton *button = w.cmdRemoteNode[index];
    std::vector<double> click, roundTrip;
    sim.clearCalls();
    for (int i = 0; i < clicks + 10; ++i) {
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(button, Qt::LeftButton);  // unlinked: Connect
        const double connectMs = msSince(timer);
        QTest::mouseClick(button, Qt::LeftButton);  // linked again: Disconnect
        const double bareMs = timeBareRoundTrips(1);
        if (i >= 10) {  // the first ten are warm-up
            click.push_back(connectMs);
            roundTrip.push_back(bareMs);
        }
    }
    const qsizetype connects = sim.calls().count(QStringLiteral("Connect %1 0").arg(NodeCalls[index]));
    if (connects != clicks + 10) {
        note(QStringLiteral("expected %1 Connect calls at the server, saw %2").arg(clicks + 10).arg(connects));
        std::exit(EXIT_FAILURE);
    }
    note(QStringLiteral("click: %1 clicks, each answered by Connect at the server").arg(clicks));
    figure("click.median_ms", median(click));
    figure("click.p90_ms", percentile(click, 0.9));
    figure("roundtrip.median_ms", median(roundTrip));
}

void hungServerRefresh(frmMain &w, SimProcess &sim, int passes)
{
    std::vector<double> pass;
    for (int i = 0; i < passes; ++i) {
        const int hangMs = 1500;
        sim.control(QStringLiteral("HangFor"), {hangMs});
        QElapsedTimer timer;
        timer.start();
        w.LoadNodeButtons();
        pass.push_back(msSince(timer));
        // Let the hang end and the held call be answered before the next pass.
        QTest::qWait(hangMs - int(msSince(timer)) + 100);
    }
    note(QStringLiteral("hung server: %1 passes, each during a 1.5 s hang").arg(passes));
    figure("hung.median_ms", median(pass));
    figure("hung.max_ms", percentile(pass, 1.0));
    figure("hung.bound_ms", Automation::CallTimeoutMs);
}

}  // namespace

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));

    SimProcess sim;
    if (!sim.start()) {
        note(QStringLiteral("the stand-in server did not start"));
        return EXIT_FAILURE;
    }
    for (int i = 0; i < Module1::NodeButtonCount; ++i)
        NodeCalls[i] = i % 8 == 7 ? QString() : QStringLiteral("N%1CALL").arg(i);
    for (int i = 0; i < Module1::NodeButtonCount; i += 3)
        sim.setLinked(NodeCalls[i], true);
    sim.setLinked(NodeCalls[5], false);

    frmMain w;
    w.ELo = std::make_unique<EchoLinkApplication>(QDBusConnection::sessionBus());
    w.show();

    refreshAgainstFloor(w, quick ? 50 : 300);
    clickAgainstRoundTrip(w, sim, quick ? 50 : 300);
    hungServerRefresh(w, sim, quick ? 2 : 5);
    return EXIT_SUCCESS;
}
