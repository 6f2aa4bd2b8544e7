// What the panel makes of EchoLink's /Station extras, against the stand-in: the Load
// Button dialog completing calls from the station list (driven with real key input, which
// the completion popup takes past the dialog's own handling), and a failed try to link
// told on the button that made it. Against an EchoLink without them, the panel is as ever.
#include "PanelDriver.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"
#include "automation/EchoLinkStation.h"
#include "panel/NodeButton.h"
#include "panel/StationCompletion.h"
#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCompleter>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QLineEdit>
#include <QTest>

using namespace PanelDriver;

namespace {

StationListEntries someStations()
{
    return {{QStringLiteral("W1AW"), QStringLiteral("Newington, CT"), 12345, QStringLiteral("ON")},
            {QStringLiteral("K1ABC-R"), QStringLiteral("Hartford"), 2001, QStringLiteral("ON")},
            {QStringLiteral("W1ABC-L"), QStringLiteral("Boston"), 3001, QStringLiteral("BUSY")},
            {QStringLiteral("*ECHOTEST*"), QStringLiteral("Conference"), 9999, QStringLiteral("ON")}};
}

QLineEdit *tbCall(frmLoadButtons *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("tbCall"));
}

// Keys as the window system delivers them: to the dialog's window, whence Qt hands them
// to the open popup or else to the focused text box.
void press(frmLoadButtons *dialog, Qt::Key key)
{
    QTest::keyClick(dialog->windowHandle(), key);
}

void type(frmLoadButtons *dialog, const QString &text)
{
    for (const QChar c : text)
        QTest::keyClick(dialog->windowHandle(), c.toLatin1());
}

bool waitForCompletion(frmLoadButtons *dialog)
{
    auto *completion = dialog->findChild<StationCompletion *>();
    return completion && QTest::qWaitFor([completion] { return completion->isReady(); }, 2000);
}

QAbstractItemView *popupOf(frmLoadButtons *dialog)
{
    QCompleter *completer = tbCall(dialog)->completer();
    return completer ? completer->popup() : nullptr;
}

bool popupShown(frmLoadButtons *dialog)
{
    QAbstractItemView *popup = popupOf(dialog);
    return popup && popup->isVisible();
}

QString tableCall(const frmMain &w, int index)
{
    return w.currentSettings().calls[index].value_or(QStringLiteral("<none>"));
}

QAccessibleInterface *accessible(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

}  // namespace

class tst_completion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void typingShowsMatchingStationsAndEnterPicksOne();
    void enterWithNoStationPickedCommitsTheTypedText();
    void escapeClosesThePopupFirst();
    void noCompletionWithoutAListInTime_data();
    void noCompletionWithoutAListInTime();
    void stationListIsReadWithinBounds();
    void failedLinkIsToldOnItsButton_data();
    void failedLinkIsToldOnItsButton();
    void lastTryLastsUntilTheNextClickOrLink();
    void failureFromAnotherSenderIsDropped();

private:
    bool startPanel(frmMain &w, const QStringList &simArguments = {});

    TestHost host;
    std::unique_ptr<SimProcess> sim;
};

void tst_completion::init()
{
    QDir(TestEnvironment::configHome()).removeRecursively();
    sim = std::make_unique<SimProcess>();
}

void tst_completion::cleanup()
{
    sim.reset();
}

bool tst_completion::startPanel(frmMain &w, const QStringList &simArguments)
{
    if (!sim->start(simArguments))
        return false;
    sim->setStations(someStations());
    if (!load(w))
        return false;
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

// "w1" shows the two W1 stations with their locations; Down picks the first and then the
// next, filling the box; Enter on a picked one only fills the box and closes the popup;
// Enter again is OK. A click on a row fills the box as well.
void tst_completion::typingShowsMatchingStationsAndEnterPicksOne()
{
    frmMain w(host);
    QVERIFY(startPanel(w));
    QStringList rows;
    QString accessibleRow, afterDown, afterPick;
    bool openAfterPick = false, popupAfterPick = true;
    QVERIFY(editButton(w, 5, [&](frmLoadButtons *dialog) {
        QVERIFY(waitForCompletion(dialog));
        type(dialog, QStringLiteral("w1"));
        QVERIFY(QTest::qWaitFor([&] { return popupShown(dialog); }, 2000));
        QAbstractItemView *popup = popupOf(dialog);
        for (int row = 0; row < popup->model()->rowCount(); ++row)
            rows << popup->model()->index(row, 0).data().toString();
        QAccessibleInterface *list = accessible(popup);
        for (int i = 0; list && i < list->childCount(); ++i) {
            if (list->child(i)->text(QAccessible::Name).startsWith(QLatin1String("W1ABC-L")))
                accessibleRow = list->child(i)->text(QAccessible::Name);
        }
        press(dialog, Qt::Key_Down);
        afterDown = tbCall(dialog)->text();
        press(dialog, Qt::Key_Down);
        press(dialog, Qt::Key_Return);
        afterPick = tbCall(dialog)->text();
        openAfterPick = dialog->isVisible();
        popupAfterPick = popupShown(dialog);
        press(dialog, Qt::Key_Return);
    }));
    QCOMPARE(rows, QStringList({QStringLiteral("W1ABC-L \u2014 Boston"),
                                QStringLiteral("W1AW \u2014 Newington, CT")}));
    QCOMPARE(accessibleRow, QStringLiteral("W1ABC-L \u2014 Boston"));
    QCOMPARE(afterDown, QStringLiteral("W1ABC-L"));
    QCOMPARE(afterPick, QStringLiteral("W1AW"));
    QVERIFY(openAfterPick);
    QVERIFY(!popupAfterPick);
    QCOMPARE(tableCall(w, 5), QStringLiteral("W1AW"));

    QString afterClick;
    QVERIFY(editButton(w, 6, [&](frmLoadButtons *dialog) {
        QVERIFY(waitForCompletion(dialog));
        QVERIFY(!tbCall(dialog)->accessibleDescription().isEmpty());
        type(dialog, QStringLiteral("*"));
        QVERIFY(QTest::qWaitFor([&] { return popupShown(dialog); }, 2000));
        QAbstractItemView *popup = popupOf(dialog);
        QCOMPARE(popup->model()->rowCount(), 1);
        const QRect row = popup->visualRect(popup->model()->index(0, 0));
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, row.center());
        afterClick = tbCall(dialog)->text();
        QVERIFY(!popupShown(dialog));
        press(dialog, Qt::Key_Return);
    }));
    QCOMPARE(afterClick, QStringLiteral("*ECHOTEST*"));
    QCOMPARE(tableCall(w, 6), QStringLiteral("*ECHOTEST*"));
}

// With the popup open and nothing picked, Enter is OK on the typed text.
void tst_completion::enterWithNoStationPickedCommitsTheTypedText()
{
    frmMain w(host);
    QVERIFY(startPanel(w));
    bool popupBeforeEnter = false;
    QVERIFY(editButton(w, 2, [&](frmLoadButtons *dialog) {
        QVERIFY(waitForCompletion(dialog));
        type(dialog, QStringLiteral("w1a"));
        popupBeforeEnter = QTest::qWaitFor([&] { return popupShown(dialog); }, 2000);
        press(dialog, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    }));
    QVERIFY(popupBeforeEnter);
    QCOMPARE(tableCall(w, 2), QStringLiteral("W1A"));
}

// Escape closes the popup and leaves the dialog and the text; a second Escape does what
// it always does in the dialog: nothing.
void tst_completion::escapeClosesThePopupFirst()
{
    frmMain w(host);
    QVERIFY(startPanel(w));
    setCalls(w, {{3, QStringLiteral("N0ONE")}});
    bool popupBefore = false, popupAfter = true, openAfterFirst = false, openAfterSecond = false;
    QString text;
    QVERIFY(editButton(w, 3, [&](frmLoadButtons *dialog) {
        QVERIFY(waitForCompletion(dialog));
        tbCall(dialog)->clear();
        type(dialog, QStringLiteral("k"));
        popupBefore = QTest::qWaitFor([&] { return popupShown(dialog); }, 2000);
        press(dialog, Qt::Key_Escape);
        popupAfter = popupShown(dialog);
        openAfterFirst = dialog->isVisible();
        text = tbCall(dialog)->text();
        press(dialog, Qt::Key_Escape);
        openAfterSecond = dialog->isVisible();
    }));
    QVERIFY(popupBefore);
    QVERIFY(!popupAfter);
    QVERIFY(openAfterFirst);
    QVERIFY(openAfterSecond);
    QCOMPARE(text, QStringLiteral("k"));
    QCOMPARE(tableCall(w, 3), QStringLiteral("N0ONE"));
}

void tst_completion::noCompletionWithoutAListInTime_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<int>("replyDelayMs");
    QTest::addColumn<bool>("emptyList");
    QTest::newRow("answer after the time-out") << QStringList() << 700 << false;
    QTest::newRow("EchoLink without /Station")
        << QStringList({QStringLiteral("--without"), QStringLiteral("station")}) << 0 << false;
    QTest::newRow("empty list") << QStringList() << 0 << true;
}

// No completion at all: typing shows no popup and Enter is OK, as in the dialog without
// a station list.
void tst_completion::noCompletionWithoutAListInTime()
{
    QFETCH(QStringList, simArguments);
    QFETCH(int, replyDelayMs);
    QFETCH(bool, emptyList);
    frmMain w(host);
    QVERIFY(startPanel(w, simArguments));
    if (emptyList)
        sim->setStations({});
    sim->control(QStringLiteral("SetReplyDelay"), {replyDelayMs});
    bool completes = true, popup = true;
    QVERIFY(editButton(w, 8, [&](frmLoadButtons *dialog) {
        QTest::qWait(qMax(replyDelayMs, 200) + 300);
        completes = dialog->findChild<StationCompletion *>()->isReady() || tbCall(dialog)->completer();
        type(dialog, QStringLiteral("w1"));
        QTest::qWait(50);
        popup = QApplication::activePopupWidget() != nullptr;
        press(dialog, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    }));
    QVERIFY(!completes);
    QVERIFY(!popup);
    QCOMPARE(tableCall(w, 8), QStringLiteral("W1"));
}

// Texts are cut to their longest and a list of stations to its most, whatever is sent.
void tst_completion::stationListIsReadWithinBounds()
{
    QVERIFY(sim->start());
    StationListEntries huge(StationListEntry::MaxCount + 5,
                     {QStringLiteral("W1AW"), QStringLiteral("Newington"), 1, QStringLiteral("ON")});
    huge[0] = {QString(1000, QLatin1Char('C')), QString(100000, QLatin1Char('L')), 7,
               QString(100, QLatin1Char('S'))};
    sim->setStations(huge);
    EchoLinkStation station(QDBusConnection::sessionBus());
    QDBusPendingCallWatcher watcher(station.Stations(5000));
    watcher.waitForFinished();
    const StationListEntries read = EchoLinkStation::stationsIn(watcher);
    QCOMPARE(read.size(), StationListEntry::MaxCount);
    QCOMPARE(read[0].call.size(), StationListEntry::MaxCallLength);
    QCOMPARE(read[0].location.size(), StationListEntry::MaxLocationLength);
    QCOMPARE(read[0].status.size(), StationListEntry::MaxStatusLength);
    QCOMPARE(read[0].node, 7u);
    QCOMPARE(read[1], huge[1]);
}

void tst_completion::failedLinkIsToldOnItsButton_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("told");
    QTest::newRow("not-found") << QStringLiteral("not-found") << QString()
                               << QStringLiteral("no such station");
    QTest::newRow("no-answer") << QStringLiteral("no-answer") << QString() << QStringLiteral("no answer");
    QTest::newRow("refused, with words")
        << QStringLiteral("refused") << QStringLiteral("Sorry, no links\nright now")
        << QStringLiteral("refused: Sorry, no links right now");
    QTest::newRow("refused") << QStringLiteral("refused") << QString() << QStringLiteral("refused");
    QTest::newRow("dropped") << QStringLiteral("dropped") << QString() << QStringLiteral("dropped");
}

// The button whose call is exactly the one EchoLink names tells why, in its tooltip and
// its accessible description (tst_atspi hears the change as a screen reader does); its
// caption stays, and a button with the same call in other letters is not the one.
void tst_completion::failedLinkIsToldOnItsButton()
{
    QFETCH(QString, reason);
    QFETCH(QString, text);
    QFETCH(QString, told);
    frmMain w(host);
    QVERIFY(startPanel(w));
    setCalls(w, {{2, QStringLiteral("w1aw")}, {3, QStringLiteral("W1AW")}});
    QVERIFY(refresh(w));
    auto *failed = static_cast<NodeButton *>(button(w, 2));
    sim->failLink(QStringLiteral("w1aw"), reason, text);
    QVERIFY(QTest::qWaitFor([&] { return !failed->lastTry().isEmpty(); }, 3000));
    QVERIFY2(failed->toolTip().contains(QStringLiteral("Last try: ") + told.toHtmlEscaped()),
             qPrintable(failed->toolTip()));
    QCOMPARE(accessible(failed)->text(QAccessible::Description),
             QStringLiteral("not linked. Last try: ") + told);
    QCOMPARE(w.caption(2), QStringLiteral("w1aw"));
    QCOMPARE(static_cast<NodeButton *>(button(w, 3))->lastTry(), QString());
}

// The next click on the button ends what it tells, and so does the next link to its call,
// whoever makes it.
void tst_completion::lastTryLastsUntilTheNextClickOrLink()
{
    frmMain w(host);
    QVERIFY(startPanel(w, {QStringLiteral("--connect-delay"), QStringLiteral("60000")}));
    setCalls(w, {{0, QStringLiteral("K1ABC-R")}});
    auto *b = static_cast<NodeButton *>(button(w, 0));
    sim->failLink(QStringLiteral("K1ABC-R"), QLatin1String(Automation::NoAnswerReason), {});
    QVERIFY(QTest::qWaitFor([&] { return !b->lastTry().isEmpty(); }, 3000));
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(b->lastTry(), QString());
    QVERIFY(!b->toolTip().contains(QStringLiteral("Last try")));
    QCOMPARE(accessible(b)->text(QAccessible::Description), QStringLiteral("not linked"));

    sim->failLink(QStringLiteral("K1ABC-R"), QLatin1String(Automation::NotFoundReason), {});
    QVERIFY(QTest::qWaitFor([&] { return b->lastTry() == QLatin1String("no such station"); }, 3000));
    sim->setLinked(QStringLiteral("K1ABC-R"), true);
    QVERIFY(QTest::qWaitFor([&] { return b->lastTry().isEmpty(); }, 3000));
}

// Only the owner of EchoLink's bus name is heard: the same signal sent by another
// connection changes nothing.
void tst_completion::failureFromAnotherSenderIsDropped()
{
    frmMain w(host);
    QVERIFY(startPanel(w));
    setCalls(w, {{1, QStringLiteral("W1AW")}});
    QDBusConnection other =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("spoofer"));
    QDBusMessage spoof = QDBusMessage::createSignal(QLatin1String(Automation::StationPath),
                                                    QLatin1String(Automation::StationInterface),
                                                    QLatin1String(Automation::LinkFailedSignal));
    spoof.setArguments({QStringLiteral("W1AW"), QStringLiteral("refused"), QStringLiteral("spoofed")});
    QVERIFY(other.send(spoof));
    // A real failure sent after it arrives after it: once that is told, the spoof was not.
    sim->failLink(QStringLiteral("W1AW"), QLatin1String(Automation::DroppedReason), {});
    auto *b = static_cast<NodeButton *>(button(w, 1));
    QVERIFY(QTest::qWaitFor([&] { return !b->lastTry().isEmpty(); }, 3000));
    QTest::qWait(100);
    QCOMPARE(b->lastTry(), QStringLiteral("dropped"));
    QDBusConnection::disconnectFromBus(QStringLiteral("spoofer"));
}

DIALBOARD_TEST_MAIN(tst_completion, Offscreen)
#include "tst_completion.moc"
