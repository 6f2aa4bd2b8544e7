// The reference station itself (block 127.10.12.0/24): two of them, A at .1 and B at .2,
// each on Debian's EchoLink library in its own process, link over loopback; what one sends
// (chat, info, a tone, bye) the other reports.
#include "LoopbackBlock.h"
#include "ReferenceStation.h"

#include <QTest>

namespace {

const QString Block = loopbackBlock(12);
constexpr int LinkMs = 10000;

struct LinkedPair
{
    ReferenceStation a{Block + QStringLiteral(".1"), QStringLiteral("AA1REF")};
    ReferenceStation b{Block + QStringLiteral(".2"), QStringLiteral("BB2REF")};

    // Starts both (B takes every caller) and has A call B.
    bool link(const QStringList &optionsA = {}, const QStringList &optionsB = {})
    {
        if (!a.start(optionsA) || !b.start(optionsB + QStringList{QStringLiteral("--accept-all")}))
            return false;
        a.send(QStringLiteral("call %1 %2").arg(b.address(), b.callsign()));
        return !a.waitFor(QStringLiteral("state BB2REF connected"), LinkMs).isEmpty()
               && !b.waitFor(QStringLiteral("state AA1REF connected"), LinkMs).isEmpty();
    }
};

// "heard CALL HZ DBFS" as its two figures.
QPair<double, double> heardFigures(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '));
    return {words.value(2).toDouble(), words.value(3).toDouble()};
}

}  // namespace

class tst_reference : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Linked both ways, station info on linking, chat and info in either direction, and
    // bye from A ending the link at both ends.
    void linkCarriesTextAndEnds()
    {
        LinkedPair pair;
        QVERIFY(pair.link({QStringLiteral("--info"), QStringLiteral("Station A\\nNewington")}));
        QVERIFY(pair.b.lines().contains(QStringLiteral("incoming AA1REF %1 SPEEX").arg(pair.a.address())));
        QCOMPARE(pair.b.waitFor(QStringLiteral("info AA1REF"), LinkMs),
                 QStringLiteral("info AA1REF Station A\\nNewington"));
        QCOMPARE(pair.a.waitFor(QStringLiteral("info BB2REF"), LinkMs),
                 QStringLiteral("info BB2REF Reference station"));

        pair.a.send(QStringLiteral("chat hello from A"));
        QCOMPARE(pair.b.waitFor(QStringLiteral("chat AA1REF"), LinkMs),
                 QStringLiteral("chat AA1REF AA1REF>hello from A\\n\\n"));
        pair.b.send(QStringLiteral("chat and from B"));
        QCOMPARE(pair.a.waitFor(QStringLiteral("chat BB2REF"), LinkMs),
                 QStringLiteral("chat BB2REF BB2REF>and from B\\n\\n"));
        pair.b.send(QStringLiteral("info Busy\\nback soon"));
        QCOMPARE(pair.a.waitFor(QStringLiteral("info BB2REF"), LinkMs),
                 QStringLiteral("info BB2REF Busy\\nback soon"));
        pair.a.send(QStringLiteral("info Ready"));
        QCOMPARE(pair.b.waitFor(QStringLiteral("info AA1REF"), LinkMs), QStringLiteral("info AA1REF Ready"));
        QCOMPARE(ReferenceStation::unescape(QStringLiteral("Busy\\nback \\x7f\\\\")),
                 QByteArray("Busy\nback \x7f\\"));

        pair.a.send(QStringLiteral("bye"));
        QVERIFY(!pair.a.waitFor(QStringLiteral("state BB2REF disconnected"), LinkMs).isEmpty());
        QVERIFY(!pair.b.waitFor(QStringLiteral("state AA1REF bye"), LinkMs).isEmpty());
        QVERIFY(!pair.b.waitFor(QStringLiteral("state AA1REF disconnected"), LinkMs).isEmpty());
    }

    // Without --accept-all a caller waits, reported, until the station accepts.
    void callerWaitsForAccept()
    {
        ReferenceStation a(Block + QStringLiteral(".1"), QStringLiteral("AA1REF"));
        ReferenceStation b(Block + QStringLiteral(".2"), QStringLiteral("BB2REF"));
        QVERIFY(a.start() && b.start());
        a.send(QStringLiteral("call %1 BB2REF").arg(b.address()));
        QVERIFY(!b.waitFor(QStringLiteral("incoming AA1REF"), LinkMs).isEmpty());
        QVERIFY(!a.waitFor(QStringLiteral("state BB2REF connecting"), LinkMs).isEmpty());
        QVERIFY(!b.lines().join(QLatin1Char('\n')).contains(QStringLiteral("state ")));
        b.send(QStringLiteral("accept"));
        QVERIFY(!b.waitFor(QStringLiteral("state AA1REF connected"), LinkMs).isEmpty());
        QVERIFY(!a.waitFor(QStringLiteral("state BB2REF connected"), LinkMs).isEmpty());
    }

    // Chat, a tone and bye go to every link: A and C both linked with B hear B's.
    void commandsReachEveryLink()
    {
        LinkedPair pair;
        QVERIFY(pair.link());
        ReferenceStation c(Block + QStringLiteral(".4"), QStringLiteral("CC3REF"));
        QVERIFY(c.start());
        c.send(QStringLiteral("call %1 BB2REF").arg(pair.b.address()));
        QVERIFY(!c.waitFor(QStringLiteral("state BB2REF connected"), LinkMs).isEmpty());

        pair.b.send(QStringLiteral("chat to all"));
        for (ReferenceStation *far : {&pair.a, &c})
            QCOMPARE(far->waitFor(QStringLiteral("chat BB2REF"), LinkMs),
                     QStringLiteral("chat BB2REF BB2REF>to all\\n\\n"));
        pair.b.send(QStringLiteral("tone 700 -10"));
        for (ReferenceStation *far : {&pair.a, &c}) {
            QVERIFY(!far->waitFor(QStringLiteral("heard BB2REF"), LinkMs).isEmpty());
            const QString line = far->waitFor(QStringLiteral("heard BB2REF"), LinkMs);
            const auto [hz, dbfs] = heardFigures(line);
            QVERIFY2(qAbs(hz - 700.0) <= 50.0 && qAbs(dbfs + 10.0) <= 3.0, qPrintable(line));
        }
        pair.b.send(QStringLiteral("bye"));
        for (ReferenceStation *far : {&pair.a, &c})
            QVERIFY(!far->waitFor(QStringLiteral("state BB2REF disconnected"), LinkMs).isEmpty());
    }

    // Commands it cannot carry out are answered with an error line; the station goes on.
    void refusesBadCommands()
    {
        LinkedPair pair;
        QVERIFY(pair.link());
        const QStringList bad{QStringLiteral("dial 1234"),
                              QStringLiteral("call %1").arg(pair.b.address()),
                              QStringLiteral("call 127.10.12.999 BADADDR"),
                              QStringLiteral("call %1 BB2REF").arg(pair.b.address()),
                              QStringLiteral("tone 5000 -20"),
                              QStringLiteral("tone 1000 3"),
                              QStringLiteral("tone 1000")};
        for (const QString &command : bad) {
            pair.a.send(command);
            QVERIFY2(!pair.a.waitFor(QStringLiteral("error "), LinkMs).isEmpty(), qPrintable(command));
        }
        pair.a.send(QStringLiteral("chat still here"));
        QVERIFY(!pair.b.waitFor(QStringLiteral("chat AA1REF AA1REF>still here"), LinkMs).isEmpty());
    }

    // A 1 kHz tone at -20 dBFS from A is heard at B at its frequency and level, in the
    // codec the two agreed (Speex unless one offers GSM only); it stops when the tone does.
    void toneIsHeard_data()
    {
        QTest::addColumn<QStringList>("optionsA");
        QTest::addColumn<QStringList>("optionsB");
        QTest::addColumn<QString>("codec");
        QTest::newRow("speex") << QStringList() << QStringList() << QStringLiteral("SPEEX");
        QTest::newRow("caller gsm only")
            << QStringList{QStringLiteral("--gsm-only")} << QStringList() << QStringLiteral("GSM");
        QTest::newRow("called gsm only")
            << QStringList() << QStringList{QStringLiteral("--gsm-only")} << QStringLiteral("GSM");
    }
    void toneIsHeard()
    {
        QFETCH(QStringList, optionsA);
        QFETCH(QStringList, optionsB);
        QFETCH(QString, codec);
        LinkedPair pair;
        QVERIFY(pair.link(optionsA, optionsB));
        pair.a.send(QStringLiteral("tone 1000 -20"));
        QVERIFY(!pair.b.waitFor(QStringLiteral("audio AA1REF on"), LinkMs).isEmpty());
        QCOMPARE(pair.b.waitFor(QStringLiteral("codec AA1REF"), LinkMs),
                 QStringLiteral("codec AA1REF ") + codec);
        // The first report may hold part of a second; the next ones are whole.
        QVERIFY(!pair.b.waitFor(QStringLiteral("heard AA1REF"), LinkMs).isEmpty());
        for (int i = 0; i < 2; ++i) {
            const QString line = pair.b.waitFor(QStringLiteral("heard AA1REF"), LinkMs);
            const auto [hz, dbfs] = heardFigures(line);
            QVERIFY2(qAbs(hz - 1000.0) <= 50.0 && qAbs(dbfs + 20.0) <= 3.0, qPrintable(line));
        }
        pair.a.send(QStringLiteral("tone off"));
        QVERIFY(!pair.b.waitFor(QStringLiteral("audio AA1REF off"), LinkMs).isEmpty());
        QVERIFY(!pair.a.lines().join(QLatin1Char('\n')).contains(QStringLiteral("audio BB2REF")));
    }
};

QTEST_GUILESS_MAIN(tst_reference)
#include "tst_reference.moc"
