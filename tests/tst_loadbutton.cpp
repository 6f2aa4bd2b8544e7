// The Load Button dialog, driven from inside its modal loop as an operator would use it.
#include "PanelDriver.h"
#include "SimProcess.h"
#include "TestEnvironment.h"
#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace PanelDriver;

namespace {

QString settingsFile()
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard/Dialboard.conf");
}

QByteArray settingsBytes()
{
    QFile file(settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QLineEdit *tbCall(frmLoadButtons *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("tbCall"));
}

QPushButton *cmdOK(frmLoadButtons *dialog)
{
    return dialog->findChild<QPushButton *>(QStringLiteral("cmdOK"));
}

QString tableCall(const frmMain &w, int index)
{
    return w.currentSettings().calls[index].value_or(QStringLiteral("<none>"));
}

QString storedCall(int index)
{
    QSettings settings(QStringLiteral("Dialboard"), QStringLiteral("Dialboard"));
    return settings.value(QStringLiteral("Settings/NodeCall%1").arg(index)).toString();
}

}  // namespace

class tst_loadbutton : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void opensWithTheEntryTrimmed();
    void okStoresTrimmedUpperCaseAndSavesEverything();
    void blankTextUnassignsTheButton();
    void enterInTheTextBoxIsOk();
    void closeAndEscapeChangeNothing();
    void onlyTheRightButtonOpensIt();
    void unicodeAndLongCalls();
    void linkMarkReturnsAtTheNextRefresh();
    void answerForTheCallBeforeAnEditLeavesItUnmarked_data();
    void answerForTheCallBeforeAnEditLeavesItUnmarked();
    void refreshKeepsTickingWhileOpen();
    void failedSaveIsReportedAndThePanelKeepsRunning();
    // Last: the shutdown it causes ends every event loop this process runs after it.
    void closingWhileOpenShutsDownWithoutCommitting();

private:
    TestHost host;
};

void tst_loadbutton::init()
{
    QDir(TestEnvironment::configHome()).removeRecursively();
}

void tst_loadbutton::opensWithTheEntryTrimmed()
{
    frmMain w(host);
    setCalls(w, {{5, QStringLiteral("  k1 abc  ")}});
    w.move(300, 300);
    w.show();
    QString shown;
    bool focused = false, selected = true;
    QVERIFY(editButton(w, 5, [&](frmLoadButtons *dialog) {
        shown = tbCall(dialog)->text();
        focused = tbCall(dialog)->hasFocus();
        QTest::qWait(20);
        selected = tbCall(dialog)->hasSelectedText();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Load Button"));
        QCOMPARE(dialog->ButtonIndex(), 5);
        QCOMPARE(dialog->size(), QSize(3270 / 15, 555 / 15));
        QCOMPARE(tbCall(dialog)->geometry(), QRect(12, 8, 137, 21));
        QCOMPARE(cmdOK(dialog)->geometry(), QRect(164, 8, 45, 21));
        QVERIFY(!cmdOK(dialog)->isDefault() && !cmdOK(dialog)->autoDefault());
        QVERIFY(!dialog->windowIcon().isNull());
        QVERIFY(!(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(dialog->parentWidget(), &w);
        QVERIFY((dialog->geometry().center() - w.geometry().center()).manhattanLength() <= 2);
    }));
    QCOMPARE(shown, QStringLiteral("k1 abc"));
    QVERIFY(focused);
    QVERIFY(!selected);

    QCOMPARE(tableCall(w, 5), QStringLiteral("  k1 abc  "));
}

void tst_loadbutton::okStoresTrimmedUpperCaseAndSavesEverything()
{
    frmMain w(host);
    w.show();
    QVERIFY(editButton(w, 7, [](frmLoadButtons *dialog) {
        QTest::keyClicks(tbCall(dialog), QStringLiteral("  w1aw / ec  "));
        QTest::mouseClick(cmdOK(dialog), Qt::LeftButton);
    }));
    QCOMPARE(tableCall(w, 7), QStringLiteral("W1AW / EC"));
    QCOMPARE(w.caption(7), QStringLiteral("W1AW / EC"));
    QCOMPARE(storedCall(7), QStringLiteral("W1AW / EC"));
    QSettings settings(QStringLiteral("Dialboard"), QStringLiteral("Dialboard"));
    settings.beginGroup(QStringLiteral("Settings"));
    QCOMPARE(settings.childKeys().size(), 45);
}

void tst_loadbutton::blankTextUnassignsTheButton()
{
    frmMain w(host);
    setCalls(w, {{0, QStringLiteral("W1AW")}});
    w.show();
    QVERIFY(editButton(w, 0, [](frmLoadButtons *dialog) {
        tbCall(dialog)->setText(QStringLiteral("    "));
        QTest::mouseClick(cmdOK(dialog), Qt::LeftButton);
    }));
    QCOMPARE(tableCall(w, 0), QString());
    QCOMPARE(w.caption(0), QString());
    QVERIFY(QFile::exists(settingsFile()));
    QCOMPARE(storedCall(0), QString());
}

void tst_loadbutton::enterInTheTextBoxIsOk()
{
    frmMain w(host);
    w.show();
    QVERIFY(editButton(w, 39, [](frmLoadButtons *dialog) {
        QTest::keyClicks(tbCall(dialog), QStringLiteral("k1abc"));
        QTest::keyClick(tbCall(dialog), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    }));
    QCOMPARE(tableCall(w, 39), QStringLiteral("K1ABC"));
    QCOMPARE(storedCall(39), QStringLiteral("K1ABC"));
}

// Neither the title bar's close nor Escape commits or writes anything.
void tst_loadbutton::closeAndEscapeChangeNothing()
{
    frmMain w(host);
    setCalls(w, {{3, QStringLiteral("W1AW")}});
    w.PutRegSettings();
    const QByteArray before = settingsBytes();
    QVERIFY(!before.isEmpty());
    w.show();

    bool openAfterEscape = false;
    QVERIFY(editButton(w, 3, [&](frmLoadButtons *dialog) {
        QTest::keyClicks(tbCall(dialog), QStringLiteral("X"));
        QTest::keyClick(tbCall(dialog), Qt::Key_Escape);
        openAfterEscape = dialog->isVisible();
        dialog->close();
    }));
    QVERIFY(openAfterEscape);
    QCOMPARE(tableCall(w, 3), QStringLiteral("W1AW"));
    QCOMPARE(w.caption(3), QString());  // untouched
    QCOMPARE(settingsBytes(), before);
}

void tst_loadbutton::onlyTheRightButtonOpensIt()
{
    frmMain w(host);
    w.show();
    for (const Qt::MouseButton mouseButton : {Qt::LeftButton, Qt::MiddleButton}) {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                opened = true;
                modal->close();
            }
        });
        QTest::mouseClick(button(w, 4), mouseButton);
        QTest::qWait(20);
        QVERIFY(!opened);
    }
}

void tst_loadbutton::unicodeAndLongCalls()
{
    frmMain w(host);
    w.show();
    QVERIFY(editButton(w, 1, [](frmLoadButtons *dialog) {
        tbCall(dialog)->insert(QStringLiteral("öz-çé"));
        QTest::keyClick(tbCall(dialog), Qt::Key_Return);
    }));
    QCOMPARE(tableCall(w, 1), QStringLiteral("ÖZ-ÇÉ"));
    QCOMPARE(storedCall(1), QStringLiteral("ÖZ-ÇÉ"));

    const QString longCall = QString(10000, QLatin1Char('a'));
    QVERIFY(editButton(w, 2, [&](frmLoadButtons *dialog) {
        tbCall(dialog)->setText(longCall);
        QTest::keyClick(tbCall(dialog), Qt::Key_Return);
    }));
    QCOMPARE(tableCall(w, 2), longCall.toUpper());
    QCOMPARE(storedCall(2), longCall.toUpper());
}

// The edited button shows its call without "*" until the next refresh puts it back.
void tst_loadbutton::linkMarkReturnsAtTheNextRefresh()
{
    SimProcess sim;
    QVERIFY(sim.start());
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{9, QStringLiteral("W1AW")}});
    sim.setLinked(QStringLiteral("W1AW"), true);
    QVERIFY(refresh(w));
    QCOMPARE(w.caption(9), QStringLiteral("*W1AW"));
    w.show();
    QVERIFY(
        editButton(w, 9, [](frmLoadButtons *dialog) { QTest::keyClick(tbCall(dialog), Qt::Key_Return); }));
    QCOMPARE(w.caption(9), QStringLiteral("W1AW"));
    QVERIFY(refresh(w));
    QCOMPARE(w.caption(9), QStringLiteral("*W1AW"));
}

void tst_loadbutton::answerForTheCallBeforeAnEditLeavesItUnmarked_data()
{
    QTest::addColumn<QString>("entered");
    QTest::newRow("another call") << QStringLiteral("K1ABC");
    QTest::newRow("the same call") << QStringLiteral("W1AW");
}

// OK is pressed while a refresh that asked about the button's linked call W1AW still
// waits for its answers: the answer that comes in after the edit is not shown on the
// edited button, whatever call it now has; the other buttons take theirs.
void tst_loadbutton::answerForTheCallBeforeAnEditLeavesItUnmarked()
{
    QFETCH(QString, entered);
    SimProcess sim;
    QVERIFY(sim.start());
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{9, QStringLiteral("W1AW")}, {10, QStringLiteral("W1AW")}});
    sim.setLinked(QStringLiteral("W1AW"), true);
    sim.setLinked(QStringLiteral("K1ABC"), true);
    QVERIFY(refresh(w));
    QCOMPARE(w.caption(9), QStringLiteral("*W1AW"));
    w.show();

    sim.control(QStringLiteral("SetReplyDelay"), {300});
    QSignalSpy ended(&w, &frmMain::LoadNodeButtonsEnded);
    w.LoadNodeButtons();
    bool inFlight = false;
    QVERIFY(editButton(w, 9, [&](frmLoadButtons *dialog) {
        inFlight = w.isRefreshing() && ended.isEmpty();
        tbCall(dialog)->setText(entered);
        QTest::keyClick(tbCall(dialog), Qt::Key_Return);
    }));
    QVERIFY(inFlight);
    QVERIFY(ended.count() > 0 || ended.wait(3000));
    QCOMPARE(w.caption(9), entered);
    QCOMPARE(w.caption(10), QStringLiteral("*W1AW"));

    QVERIFY(refresh(w));
    QCOMPARE(w.caption(9), QLatin1Char('*') + entered);
}

void tst_loadbutton::refreshKeepsTickingWhileOpen()
{
    SimProcess sim;
    QVERIFY(sim.start());
    frmMain w(host);
    QVERIFY(load(w));
    timer(w, "ButtonLoad")->setInterval(50);
    w.show();
    int callsWhileOpen = 0;
    QVERIFY(editButton(w, 0, [&](frmLoadButtons *) {
        sim.clearCalls();
        QTest::qWait(300);
        callsWhileOpen = sim.calls().size();
    }));
    QVERIFY2(callsWhileOpen >= 80, qPrintable(QString::number(callsWhileOpen)));
}

// With the settings folder replaced by a plain file, the save after OK fails: the
// operator sees a report, and the new call stays in the table and on the button.
void tst_loadbutton::failedSaveIsReportedAndThePanelKeepsRunning()
{
    QDir().mkpath(TestEnvironment::configHome());
    QFile blocker(TestEnvironment::configHome() + QStringLiteral("/Dialboard"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    frmMain w(host);
    w.show();
    QString report;
    QVERIFY(editButton(w, 6, [&](frmLoadButtons *dialog) {
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                report = box->text();
                box->accept();
            }
        });
        QTest::keyClicks(tbCall(dialog), QStringLiteral("k1abc"));
        QTest::keyClick(tbCall(dialog), Qt::Key_Return);
    }));
    QVERIFY2(report.contains(settingsFile()), qPrintable(report));
    QCOMPARE(tableCall(w, 6), QStringLiteral("K1ABC"));
    QCOMPARE(w.caption(6), QStringLiteral("K1ABC"));
    QVERIFY(w.isVisible());
    QVERIFY(QFile::remove(blocker.fileName()));
}

// EchoLink closing while the dialog is open: the dialog goes without committing its text,
// and the panel shuts down once, saving what it had.
void tst_loadbutton::closingWhileOpenShutsDownWithoutCommitting()
{
    SimProcess sim;
    QVERIFY(sim.start());
    frmMain w(host);
    QVERIFY(load(w));
    setCalls(w, {{4, QStringLiteral("W1AW")}});
    w.show();
    bool closedByEchoLink = false;
    QVERIFY(editButton(w, 4, [&](frmLoadButtons *dialog) {
        QTest::keyClicks(tbCall(dialog), QStringLiteral("k1abc"));
        sim.control(QStringLiteral("EmitClosing"));
        closedByEchoLink = QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 3000) || w.hasEnded();
    }));
    QVERIFY(closedByEchoLink);
    QVERIFY(w.hasEnded());
    QVERIFY(!w.findChild<EchoLinkApplication *>());
    QCOMPARE(tableCall(w, 4), QStringLiteral("W1AW"));
    QCOMPARE(storedCall(4), QStringLiteral("W1AW"));
    QVERIFY(QFile::remove(settingsFile()));
    w.close();
    QVERIFY(!QFile::exists(settingsFile()));  // shut down once: no second save
}

DIALBOARD_TEST_MAIN(tst_loadbutton, Offscreen)
#include "tst_loadbutton.moc"
