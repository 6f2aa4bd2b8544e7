// The panel window's design: grid geometry and clipping, the views, tab order, fonts,
// menu, timers and frame.
#include "TestEnvironment.h"
#include "panel/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class tst_layout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void buttonGrid_data();
    void buttonGrid();
    void visibleButtonsPerView();
    void tabOrder();
    void designStateOfMenuAndTimers();
    void fixedFrame();
    void ampersandIsShownNotAnAccelerator();
};

void tst_layout::buttonGrid_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QRect>("twips");
    for (int r = 0; r < 20; ++r) {
        QTest::addRow("left %d", r) << r << QRect(0, 300 * r, 1485, 300);
        QTest::addRow("right %d", 39 - r) << 39 - r << QRect(1500, 300 * r, 1485, 300);
    }
}

// Every button at its design rectangle (15 twips to the pixel at 96 DPI); the right
// column reaches one pixel past the 2970-twip client width and is clipped there.
void tst_layout::buttonGrid()
{
    QFETCH(int, index);
    QFETCH(QRect, twips);
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    frmMain w;
    const QPushButton *button = w.cmdRemoteNode[index];
    QCOMPARE(button->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    QCOMPARE(button->parentWidget()->width(), 2970 / 15);
    const int overhang = button->geometry().right() - (button->parentWidget()->width() - 1);
    QCOMPARE(overhang > 0 ? overhang : 0, index >= 20 ? 1 : 0);
    QCOMPARE(button->font().family(), QStringLiteral("Verdana"));
    QCOMPARE(button->font().pointSizeF(), 6.75);
    QCOMPARE(button->font().weight(), QFont::Normal);
    QVERIFY(!button->font().italic());
}

// The design height shows rows 0-2; the large view all 20 rows; the focus holder never.
void tst_layout::visibleButtonsPerView()
{
    frmMain w;
    const auto shown = [&w] {
        QList<int> indexes;
        const QRect area = w.centralWidget()->rect();
        for (int i = 0; i < 40; ++i)
            if (area.intersects(w.cmdRemoteNode[i]->geometry()))
                indexes << i;
        return indexes;
    };
    QCOMPARE(w.Height(), 1545);
    QCOMPARE(w.centralWidget()->height(), 900 / 15);
    QCOMPARE(shown(), (QList<int>{0, 1, 2, 37, 38, 39}));

    w.setHeight(6645);
    QCOMPARE(w.Height(), 6645);
    QCOMPARE(w.centralWidget()->height(), 6000 / 15);
    QCOMPARE(shown().size(), 40);
    QVERIFY(!w.centralWidget()->rect().intersects(
        QRect(w.Dummy->pos(), QSize(w.Dummy->width(), 1))));
    QCOMPARE(w.Dummy->geometry(), QRect(600 / 15, 6120 / 15, 1, 0));
}

// Tab runs from the focus holder up the left column, then up the right column.
void tst_layout::tabOrder()
{
    frmMain w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.Dummy->setFocus();
    QCOMPARE(QApplication::focusWidget(), w.Dummy);

    QList<int> order;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const auto it = std::find(w.cmdRemoteNode.begin(), w.cmdRemoteNode.end(),
                                  QApplication::focusWidget());
        order << (it == w.cmdRemoteNode.end() ? -1 : int(it - w.cmdRemoteNode.begin()));
    }
    QList<int> expected;
    for (int i = 19; i >= 0; --i)
        expected << i;
    for (int i = 20; i < 40; ++i)
        expected << i;
    QCOMPARE(order, expected);
}

void tst_layout::designStateOfMenuAndTimers()
{
    frmMain w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Dialboard"));
    QCOMPARE(w.mnuOptions->title(), QStringLiteral("Options"));
    const QList<QAction *> items = w.mnuOptions->actions();
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[0], w.mnuViewLarge);
    QCOMPARE(items[1], w.mnuViewSmall);
    QVERIFY(items[2]->isSeparator());
    QCOMPARE(items[3], w.mnuOnTop);
    QCOMPARE(w.mnuViewLarge->text(), QStringLiteral("View Large"));
    QCOMPARE(w.mnuViewSmall->text(), QStringLiteral("View Small"));
    QCOMPARE(w.mnuOnTop->text(), QStringLiteral("Always On Top"));
    QVERIFY(!w.mnuViewLarge->isChecked());
    QVERIFY(w.mnuViewSmall->isChecked());
    QVERIFY(!w.mnuOnTop->isChecked());
    for (QAction *item : {w.mnuViewLarge, w.mnuViewSmall, w.mnuOnTop}) {
        QVERIFY(item->shortcut().isEmpty());
        QVERIFY(!item->text().contains(QLatin1Char('&')));
        QVERIFY(item->isEnabled() && item->isVisible());
    }
    QCOMPARE(w.OnTop->interval(), 1000);
    QCOMPARE(w.ButtonLoad->interval(), 5000);
    QVERIFY(!w.OnTop->isActive());
    QVERIFY(!w.ButtonLoad->isActive());
}

void tst_layout::fixedFrame()
{
    frmMain w;
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
    frmMain w;
    w.setCaption(0, QStringLiteral("R&D"));
    QCOMPARE(w.caption(0), QStringLiteral("R&D"));
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QSignalSpy clicked(w.cmdRemoteNode[0], &QPushButton::clicked);
    QTest::keyClick(&w, Qt::Key_D, Qt::AltModifier);
    QCOMPARE(clicked.count(), 0);
    w.setCaption(0, QStringLiteral("R&&D &"));
    QCOMPARE(w.caption(0), QStringLiteral("R&&D &"));
}

DIALBOARD_TEST_MAIN(tst_layout, Offscreen)
#include "tst_layout.moc"
