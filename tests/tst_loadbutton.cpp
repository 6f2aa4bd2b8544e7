// The Load Button dialog, driven from inside its modal loop as an operator would use it.
#include "LoadButtonDriver.h"
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

using Module1::NodeCalls;

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

QString storedCall(int index)
{
    QSettings settings(QStringLiteral("Dialboard"), QStringLiteral("Dialboard"));
    return settings.value(QStringLiteral("Settings/NodeCall%1").arg(index)).toString();
}

}  // namespace

class tst_loadbutton : public QObject {
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
    void refreshKeepsTickingWhileOpen();
    void failedSaveIsReportedAndThePanelKeepsRunning();
    // Last: the shutdown it causes ends every event loop this process runs after it.
    void closingWhileOpenShutsDownWithoutCommitting();
};

void tst_loadbutton::init()
{
    for (QString &call : NodeCalls)
        call.clear();
    QDir(TestEnvironment::configHome()).removeRecursively();
}

void tst_loadbutton::opensWithTheEntryTrimmed()
{
    NodeCalls[5] = QStringLiteral("  k1 abc  ");
    frmMain w;
    w.move(300, 300);
    w.show();
    QString shown;
    bool focused = false, selected = true;
    QVERIFY(editButton(w, 5, [&](frmLoadButtons *dialog) {
        shown = dialog->tbCall->text();
        focused = dialog->tbCall->hasFocus();
        QTest::qWait(20);
        selected = dialog->tbCall->hasSelectedText();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Load Button"));
        QCOMPARE(dialog->size(), QSize(3270 / 15, 555 / 15));
        QCOMPARE(dialog->tbCall->geometry(), QRect(12, 8, 137, 21));
        QCOMPARE(dialog->cmdOK->geometry(), QRect(164, 8, 45, 21));
        QVERIFY(!dialog->cmdOK->isDefault() && !dialog->cmdOK->autoDefault());
        QVERIFY(!dialog->windowIcon().isNull());
        QVERIFY(!(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(dialog->parentWidget(), &w);
        QVERIFY((dialog->geometry().center() - w.geometry().center()).manhattanLength() <= 2);
    }));
    QCOMPARE(shown, QStringLiteral("k1 abc"));
    QVERIFY(focused);
    QVERIFY(!selected);
    QCOMPARE(Module1::ButtonIndex, qint16(5));
    QCOMPARE(NodeCalls[5], QStringLiteral("  k1 abc  "));
}

void tst_loadbutton::okStoresTrimmedUpperCaseAndSavesEverything()
{
    frmMain w;
    w.show();
    QVERIFY(editButton(w, 7, [](frmLoadButtons *dialog) {
        QTest::keyClicks(dialog->tbCall, QStringLiteral("  w1aw / ec  "));
        QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    }));
    QCOMPARE(NodeCalls[7], QStringLiteral("W1AW / EC"));
    QCOMPARE(w.caption(7), QStringLiteral("W1AW / EC"));
    QCOMPARE(storedCall(7), QStringLiteral("W1AW / EC"));
    QSettings settings(QStringLiteral("Dialboard"), QStringLiteral("Dialboard"));
    settings.beginGroup(QStringLiteral("Settings"));
    QCOMPARE(settings.childKeys().size(), 45);
}

void tst_loadbutton::blankTextUnassignsTheButton()
{
    NodeCalls[0] = QStringLiteral("W1AW");
    frmMain w;
    w.setCaption(0, QStringLiteral("W1AW"));
    w.show();
    QVERIFY(editButton(w, 0, [](frmLoadButtons *dialog) {
        dialog->tbCall->setText(QStringLiteral("    "));
        QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    }));
    QCOMPARE(NodeCalls[0], QString());
    QCOMPARE(w.caption(0), QString());
    QVERIFY(QFile::exists(settingsFile()));
    QCOMPARE(storedCall(0), QString());
}

void tst_loadbutton::enterInTheTextBoxIsOk()
{
    frmMain w;
    w.show();
    QVERIFY(editButton(w, 39, [](frmLoadButtons *dialog) {
        QTest::keyClicks(dialog->tbCall, QStringLiteral("k1abc"));
        QTest::keyClick(dialog->tbCall, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    }));
    QCOMPARE(NodeCalls[39], QStringLiteral("K1ABC"));
    QCOMPARE(storedCall(39), QStringLiteral("K1ABC"));
}

// Neither the title bar's close nor Escape commits or writes anything.
void tst_loadbutton::closeAndEscapeChangeNothing()
{
    NodeCalls[3] = QStringLiteral("W1AW");
    frmMain w;
    w.setCaption(3, QStringLiteral("W1AW"));
    w.PutRegSettings();
    const QByteArray before = settingsBytes();
    QVERIFY(!before.isEmpty());
    w.show();

    bool openAfterEscape = false;
    QVERIFY(editButton(w, 3, [&](frmLoadButtons *dialog) {
        QTest::keyClicks(dialog->tbCall, QStringLiteral("X"));
        QTest::keyClick(dialog->tbCall, Qt::Key_Escape);
        openAfterEscape = dialog->isVisible();
        dialog->close();
    }));
    QVERIFY(openAfterEscape);
    QCOMPARE(NodeCalls[3], QStringLiteral("W1AW"));
    QCOMPARE(w.caption(3), QStringLiteral("W1AW"));
    QCOMPARE(settingsBytes(), before);
}

void tst_loadbutton::onlyTheRightButtonOpensIt()
{
    frmMain w;
    w.show();
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton}) {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                opened = true;
                modal->close();
            }
        });
        QTest::mouseClick(w.cmdRemoteNode[4], button);
        QTest::qWait(20);
        QVERIFY(!opened);
    }
}

void tst_loadbutton::unicodeAndLongCalls()
{
    frmMain w;
    w.show();
    QVERIFY(editButton(w, 1, [](frmLoadButtons *dialog) {
        dialog->tbCall->insert(QStringLiteral("öz-çé"));
        QTest::keyClick(dialog->tbCall, Qt::Key_Return);
    }));
    QCOMPARE(NodeCalls[1], QStringLiteral("ÖZ-ÇÉ"));
    QCOMPARE(storedCall(1), QStringLiteral("ÖZ-ÇÉ"));

    const QString longCall = QString(10000, QLatin1Char('a'));
    QVERIFY(editButton(w, 2, [&](frmLoadButtons *dialog) {
        dialog->tbCall->setText(longCall);
        QTest::keyClick(dialog->tbCall, Qt::Key_Return);
    }));
    QCOMPARE(NodeCalls[2], longCall.toUpper());
    QCOMPARE(storedCall(2), longCall.toUpper());
}

// The edited button shows its call without "*" until the next refresh puts it back.
void tst_loadbutton::linkMarkReturnsAtTheNextRefresh()
{
    SimProcess sim;
    QVERIFY(sim.start());
    NodeCalls[9] = QStringLiteral("W1AW");
    frmMain w;
    w.ELo = std::make_unique<EchoLinkApplication>(QDBusConnection::sessionBus());
    sim.setLinked(QStringLiteral("W1AW"), true);
    w.LoadNodeButtons();
    QCOMPARE(w.caption(9), QStringLiteral("*W1AW"));
    w.show();
    QVERIFY(editButton(w, 9, [](frmLoadButtons *dialog) {
        QTest::keyClick(dialog->tbCall, Qt::Key_Return);
    }));
    QCOMPARE(w.caption(9), QStringLiteral("W1AW"));
    w.ButtonLoad_Timer();
    QCOMPARE(w.caption(9), QStringLiteral("*W1AW"));
}

void tst_loadbutton::refreshKeepsTickingWhileOpen()
{
    SimProcess sim;
    QVERIFY(sim.start());
    frmMain w;
    w.ELo = std::make_unique<EchoLinkApplication>(QDBusConnection::sessionBus());
    w.ButtonLoad->setInterval(50);
    w.ButtonLoad->start();
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

    frmMain w;
    w.show();
    QString report;
    QVERIFY(editButton(w, 6, [&](frmLoadButtons *dialog) {
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                report = box->text();
                box->accept();
            }
        });
        QTest::keyClicks(dialog->tbCall, QStringLiteral("k1abc"));
        QTest::keyClick(dialog->tbCall, Qt::Key_Return);
    }));
    QVERIFY2(report.contains(settingsFile()), qPrintable(report));
    QCOMPARE(NodeCalls[6], QStringLiteral("K1ABC"));
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
    NodeCalls[4] = QStringLiteral("W1AW");
    frmMain w;
    w.ELo = std::make_unique<EchoLinkApplication>(QDBusConnection::sessionBus());
    QObject::connect(w.ELo.get(), &EchoLinkApplication::Closing, &w, &frmMain::ELo_Closing);
    w.GetRegSettings();
    NodeCalls[4] = QStringLiteral("W1AW");  // the load found no stored calls
    w.show();
    bool closedByEchoLink = false;
    QVERIFY(editButton(w, 4, [&](frmLoadButtons *dialog) {
        QTest::keyClicks(dialog->tbCall, QStringLiteral("k1abc"));
        sim.control(QStringLiteral("EmitClosing"));
        closedByEchoLink = QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 3000)
                           || w.hasEnded();
    }));
    QVERIFY(closedByEchoLink);
    QVERIFY(w.hasEnded());
    QVERIFY(!w.ELo);
    QCOMPARE(NodeCalls[4], QStringLiteral("W1AW"));
    QCOMPARE(storedCall(4), QStringLiteral("W1AW"));
    QVERIFY(QFile::remove(settingsFile()));
    w.close();
    QVERIFY(!QFile::exists(settingsFile()));  // shut down once: no second save
}

DIALBOARD_TEST_MAIN(tst_loadbutton, Offscreen)
#include "tst_loadbutton.moc"
