// One node button on its own: caption, tooltip, what assistive technology reads, the
// events it is told on a change, and the pressed-in look of a linked button.
#include "TestEnvironment.h"
#include "panel/NodeButton.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QSignalSpy>
#include <QTest>

namespace {

QAccessibleInterface *accessible(NodeButton &button)
{
    return QAccessible::queryAccessibleInterface(&button);
}

}  // namespace

class tst_nodebutton : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captionShowsCallMarkAndAmpersand();
    void toolTipSaysWhatClicksDo();
    void accessibleNameDescriptionAndState();
    void lastTryIsToldUntilTheCallChangesOrLinks();
    void buttonOutsideTheShownAreaIsNotShowing();
    void linkedLooksDifferentFromSameCaptionUnlinked();
    void keyboardActivatesAndAsksToSetTheCall();
};

void tst_nodebutton::captionShowsCallMarkAndAmpersand()
{
    NodeButton button(4);
    QCOMPARE(button.index(), 4);
    QCOMPARE(button.objectName(), QStringLiteral("cmdRemoteNode4"));
    QVERIFY(button.text().isEmpty());

    button.setCall(QStringLiteral("R&D"));
    QCOMPARE(button.text(), QStringLiteral("R&&D"));  // no accelerator, "&" shown
    QCOMPARE(button.caption(), QStringLiteral("R&D"));
    button.setLinked(true);
    QCOMPARE(button.text(), QStringLiteral("*R&&D"));
    QCOMPARE(button.call(), QStringLiteral("R&D"));  // the mark is display only
    QVERIFY(!button.isCheckable());
    button.setLinked(false);
    QCOMPARE(button.caption(), QStringLiteral("R&D"));

    // A conference whose name already starts with "*", linked and not.
    button.setCall(QStringLiteral("*ECHOTEST*"));
    QCOMPARE(button.caption(), QStringLiteral("*ECHOTEST*"));
    button.setLinked(true);
    QCOMPARE(button.caption(), QStringLiteral("**ECHOTEST*"));
}

void tst_nodebutton::toolTipSaysWhatClicksDo()
{
    NodeButton button(0);
    QVERIFY(button.toolTip().contains(QStringLiteral("Right-click to set a call")));
    QVERIFY(button.toolTip().contains(QStringLiteral("Shift+F10")));
    QVERIFY(button.toolTip().contains(QStringLiteral("context-menu key")));

    button.setCall(QStringLiteral("W1AW"));
    QVERIFY(button.toolTip().contains(QStringLiteral("W1AW")));
    QVERIFY(button.toolTip().contains(QStringLiteral("not linked")));
    QVERIFY(button.toolTip().contains(QStringLiteral("Click to link")));
    QVERIFY(button.toolTip().contains(QStringLiteral("Right-click to change")));
    QVERIFY(!button.toolTip().contains(QStringLiteral("Right-click to set")));

    button.setLinked(true);
    QVERIFY(button.toolTip().contains(QStringLiteral("\u2014 linked")));
    QVERIFY(button.toolTip().contains(QStringLiteral("Click to drop")));
    QVERIFY(!button.toolTip().contains(QStringLiteral("Click to link")));

    // A call that looks like markup shows as typed.
    button.setCall(QStringLiteral("<B>X"));
    QVERIFY(button.toolTip().contains(QStringLiteral("&lt;B&gt;X")));
}

void tst_nodebutton::accessibleNameDescriptionAndState()
{
    QWidget window;
    window.resize(200, 100);
    NodeButton button(2, &window);
    button.setGeometry(0, 0, 99, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QAccessibleInterface *iface = accessible(button);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Button);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Empty button 3"));
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("not linked"));
    QVERIFY(!iface->state().checked);
    QVERIFY(!iface->state().checkable);
    QVERIFY(!iface->state().invisible);
    QVERIFY(iface->state().focusable);

    button.setCall(QStringLiteral("*ECHOTEST*"));
    button.setLinked(true);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("*ECHOTEST*"));  // no link mark
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("linked"));
    QVERIFY(iface->state().checked);
    QVERIFY(iface->state().checkable);

    button.setLinked(false);
    QVERIFY(!iface->state().checked);
    QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("not linked"));

    // Pressing it from assistive technology is a click, as from the keyboard.
    QSignalSpy activated(&button, &NodeButton::activated);
    QVERIFY(iface->actionInterface());
    iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(activated.size(), 1);
    QCOMPARE(activated.first().first().toBool(), true);
}

// "Last try: ..." joins the tooltip (escaped like the call) and the description; a new
// call or a link ends it, and the caption never shows it.
void tst_nodebutton::lastTryIsToldUntilTheCallChangesOrLinks()
{
    NodeButton button(0);
    button.setCall(QStringLiteral("W1AW"));
    button.setLastTry(QStringLiteral("refused: <no> & bye"));
    QVERIFY(button.toolTip().contains(QStringLiteral("Last try: refused: &lt;no&gt; &amp; bye")));
    QVERIFY(button.toolTip().contains(QStringLiteral("Click to link")));
    QCOMPARE(accessible(button)->text(QAccessible::Description),
             QStringLiteral("not linked. Last try: refused: <no> & bye"));
    QCOMPARE(button.caption(), QStringLiteral("W1AW"));

    button.setLinked(true);
    QCOMPARE(button.lastTry(), QString());
    QVERIFY(!button.toolTip().contains(QStringLiteral("Last try")));
    QCOMPARE(accessible(button)->text(QAccessible::Description), QStringLiteral("linked"));

    button.setLastTry(QStringLiteral("dropped"));
    QCOMPARE(accessible(button)->text(QAccessible::Description), QStringLiteral("linked. Last try: dropped"));
    button.setCall(QStringLiteral("K1ABC"));
    QCOMPARE(button.lastTry(), QString());
    QVERIFY(!button.toolTip().contains(QStringLiteral("Last try")));
}

// The small view clips rows 3 to 19 away: those buttons are not offered.
void tst_nodebutton::buttonOutsideTheShownAreaIsNotShowing()
{
    QWidget window;
    window.setFixedSize(200, 60);
    NodeButton shown(1, &window), clipped(5, &window);
    shown.setGeometry(0, 20, 99, 20);
    clipped.setGeometry(0, 100, 99, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(shown.isShowing());
    QVERIFY(!clipped.isShowing());
    QVERIFY(!accessible(shown)->state().invisible);
    QVERIFY(accessible(clipped)->state().invisible);
    QVERIFY(!accessible(clipped)->state().focusable);

    window.setFixedSize(200, 400);
    QVERIFY(clipped.isShowing());
    QVERIFY(!accessible(clipped)->state().invisible);

    clipped.hide();
    QVERIFY(accessible(clipped)->state().invisible);
}

// "*W1AW" linked (call W1AW) and "*W1AW" as an unlinked call read the same but must not
// look the same; the font stays the same.
void tst_nodebutton::linkedLooksDifferentFromSameCaptionUnlinked()
{
    QWidget window;
    window.resize(200, 60);
    NodeButton linked(0, &window), imitation(1, &window);
    linked.setGeometry(0, 0, 99, 20);
    imitation.setGeometry(100, 0, 99, 20);
    linked.setCall(QStringLiteral("W1AW"));
    linked.setLinked(true);
    imitation.setCall(QStringLiteral("*W1AW"));
    for (NodeButton *button : {&linked, &imitation})
        button->setFocusPolicy(Qt::NoFocus);               // no focus frame on either
    QCursor::setPos(window.mapToGlobal(QPoint(100, 30)));  // and neither hovered
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(linked.text(), imitation.text());
    QCOMPARE(linked.font(), imitation.font());
    const QImage linkedPixels = linked.grab().toImage();
    const QImage imitationPixels = imitation.grab().toImage();
    QCOMPARE(linkedPixels.size(), imitationPixels.size());
    QVERIFY(linkedPixels != imitationPixels);

    // Dropped, it looks exactly like the plain button with the same caption.
    linked.setCall(QStringLiteral("*W1AW"));
    linked.setLinked(false);
    QCOMPARE(linked.grab().toImage(), imitation.grab().toImage());
}

// Space and Enter click as the keyboard's click, the mouse as the mouse's; the
// context-menu key and Shift+F10 ask to set the call, a right mouse button does not.
void tst_nodebutton::keyboardActivatesAndAsksToSetTheCall()
{
    QWidget window;
    window.resize(200, 40);
    NodeButton button(0, &window);
    button.setGeometry(0, 0, 99, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    button.setFocus();
    QSignalSpy activated(&button, &NodeButton::activated);
    QSignalSpy editRequested(&button, &NodeButton::callEditRequested);

    QTest::keyClick(&button, Qt::Key_Space);
    QTest::keyClick(&button, Qt::Key_Return);
    QTest::keyClick(&button, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::keyClick(&button, Qt::Key_Return, Qt::ControlModifier);  // not an activation
    QCOMPARE(activated.size(), 4);
    QCOMPARE(activated.at(0).first().toBool(), true);
    QCOMPARE(activated.at(1).first().toBool(), true);
    QCOMPARE(activated.at(2).first().toBool(), true);
    QCOMPARE(activated.at(3).first().toBool(), false);
    QVERIFY(editRequested.isEmpty());

    QTest::keyClick(&button, Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(editRequested.size(), 1);
    QTest::keyClick(&button, Qt::Key_F10);  // F10 alone belongs to the menu bar
    QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, QPoint(5, 5), button.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&button, &fromKey);
    QCOMPARE(editRequested.size(), 2);
    QContextMenuEvent fromMouse(QContextMenuEvent::Mouse, QPoint(5, 5), button.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&button, &fromMouse);
    QCOMPARE(editRequested.size(), 2);
    QCOMPARE(activated.size(), 4);
}

DIALBOARD_TEST_MAIN(tst_nodebutton, Offscreen)
#include "tst_nodebutton.moc"
