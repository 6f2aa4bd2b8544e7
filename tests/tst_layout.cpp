// The panel window's design: grid geometry and clipping, the views, tab order, fonts,
// menu, timers and frame.
#include "PanelDriver.h"
#include "TestEnvironment.h"
#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace PanelDriver;

namespace {

QAction *item(frmMain &w, const char *name)
{
    return w.findChild<QAction *>(QLatin1String(name));
}

}  // namespace

class tst_layout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void buttonGrid();
    void visibleButtonsPerView();
    void tabOrder();
    void designStateOfMenuAndTimers();
    void fixedFrame();
    void ampersandIsShownNotAnAccelerator();

private:
    TestHost host;
};

// Every button at its design rectangle (15 twips to the pixel at 96 DPI) in its font;
// the right column reaches one pixel past the 2970-twip client width and is clipped there.
void tst_layout::buttonGrid()
{
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    frmMain w(host);
    for (int i = 0; i < frmMain::NodeButtonCount; ++i) {
        const int row = i < 20 ? i : 39 - i;
        const QRect twips(i < 20 ? 0 : 1500, 300 * row, 1485, 300);
        const QPushButton *b = button(w, i);
        QCOMPARE(b->geometry(),
                 QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
        const int overhang = b->geometry().right() - (b->parentWidget()->width() - 1);
        QCOMPARE(overhang > 0 ? overhang : 0, i >= 20 ? 1 : 0);
        QCOMPARE(b->font(), button(w, 0)->font());
    }
    QCOMPARE(button(w, 0)->parentWidget()->width(), 2970 / 15);
    const QFont font = button(w, 0)->font();
    QCOMPARE(font.family(), QStringLiteral("Verdana"));
    QCOMPARE(font.pointSizeF(), 6.75);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.italic());
}

// The design height shows rows 0-2; the large view all 20 rows; the focus holder never.
void tst_layout::visibleButtonsPerView()
{
    frmMain w(host);
    const auto shown = [&w] {
        QList<int> indexes;
        const QRect area = w.centralWidget()->rect();
        for (int i = 0; i < 40; ++i)
            if (area.intersects(button(w, i)->geometry()))
                indexes << i;
        return indexes;
    };
    const int frame = w.height() - w.centralWidget()->height();
    QCOMPARE(w.centralWidget()->height(), 900 / 15);
    QCOMPARE(shown(), (QList<int>{0, 1, 2, 37, 38, 39}));

    item(w, "mnuViewLarge")->trigger();
    QCOMPARE(w.centralWidget()->height(), 6000 / 15);
    QCOMPARE(w.height() - w.centralWidget()->height(), frame);
    QCOMPARE(shown().size(), 40);
    QWidget *holder = dummy(w);
    QVERIFY(!w.centralWidget()->rect().intersects(QRect(holder->pos(), QSize(holder->width(), 1))));
    QCOMPARE(holder->geometry(), QRect(600 / 15, 6120 / 15, 1, 0));
}

// Tab runs from the focus holder up the left column, then up the right column, over the
// rows the view shows (the holder, -1, comes round again after the last).
void tst_layout::tabOrder()
{
    frmMain w(host);
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const auto tabs = [&w](int count) {
        dummy(w)->setFocus();
        QList<int> order;
        for (int i = 0; i < count; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QString name = QApplication::focusWidget()->objectName();
            order << (name.startsWith(QLatin1String("cmdRemoteNode")) ? name.mid(13).toInt() : -1);
        }
        return order;
    };

    QCOMPARE(tabs(7), (QList<int>{2, 1, 0, 37, 38, 39, -1}));
    QVERIFY(!button(w, 3)->isVisible());

    item(w, "mnuViewLarge")->trigger();
    QList<int> expected;
    for (int i = 19; i >= 0; --i)
        expected << i;
    for (int i = 20; i < 40; ++i)
        expected << i;
    QCOMPARE(tabs(40), expected);

    // Back in the small view, a focused row that goes out of view gives up the focus.
    button(w, 10)->setFocus();
    item(w, "mnuViewSmall")->trigger();
    QVERIFY(!button(w, 10)->hasFocus());
    QCOMPARE(tabs(7), (QList<int>{2, 1, 0, 37, 38, 39, -1}));
}

void tst_layout::designStateOfMenuAndTimers()
{
    frmMain w(host);
    QCOMPARE(w.windowTitle(), QStringLiteral("Dialboard"));
    auto *options = w.findChild<QMenu *>(QStringLiteral("mnuOptions"));
    QCOMPARE(options->title(), QStringLiteral("Options"));
    QStringList seen;
    for (const QAction *action : options->actions())
        seen << (action->isSeparator()
                     ? QStringLiteral("-")
                     : action->text() + (action->isChecked() ? QStringLiteral(" [x]") : QString()));
    QCOMPARE(seen, (QStringList{QStringLiteral("View Large"), QStringLiteral("View Small [x]"),
                                QStringLiteral("-"), QStringLiteral("Always On Top")}));
    for (const QAction *action : options->actions()) {
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(action->isEnabled() && action->isVisible());
    }
    const auto *onTop = w.findChild<QTimer *>(QStringLiteral("OnTop"));
    const auto *buttonLoad = w.findChild<QTimer *>(QStringLiteral("ButtonLoad"));
    QCOMPARE(onTop->interval(), 1000);
    QCOMPARE(buttonLoad->interval(), 5000);
    QVERIFY(!onTop->isActive());
    QVERIFY(!buttonLoad->isActive());
}

void tst_layout::fixedFrame()
{
    frmMain w(host);
    QCOMPARE(w.minimumSize(), w.maximumSize());
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!w.windowIcon().isNull());
    QCOMPARE(w.windowIcon().availableSizes().value(0), QSize(32, 32));
}

// A call containing "&" is shown as written and does not become a keyboard accelerator.
void tst_layout::ampersandIsShownNotAnAccelerator()
{
    frmMain w(host);
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const auto type = [&w](int index, const QString &call) {
        return editButton(w, index, [&call](frmLoadButtons *dialog) {
            dialog->findChild<QLineEdit *>(QStringLiteral("tbCall"))->setText(call);
            dialog->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        });
    };
    QVERIFY(type(0, QStringLiteral("R&D")));
    QCOMPARE(w.caption(0), QStringLiteral("R&D"));
    QSignalSpy clicked(button(w, 0), &QPushButton::clicked);
    QTest::keyClick(&w, Qt::Key_D, Qt::AltModifier);
    QCOMPARE(clicked.count(), 0);
    QVERIFY(type(0, QStringLiteral("R&&D &")));
    QCOMPARE(w.caption(0), QStringLiteral("R&&D &"));
}

DIALBOARD_TEST_MAIN(tst_layout, Offscreen)
#include "tst_layout.moc"
