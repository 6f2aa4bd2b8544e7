// Captions from the node call table, the click that links or unlinks a node, what became
// of a try to link, and the Load Button dialog opened with a right click or from the
// keyboard.
#include "automation/AutomationContract.h"
#include "panel/ClickQueue.h"
#include "panel/LinkOutcome.h"
#include "panel/NodeButton.h"
#include "panel/RefreshPass.h"
#include "panel/Topmost.h"
#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"

#include <QAction>
#include <QTimer>

// Asks EchoLink about every entry, empty ones included, and captions each button with
// its call, marked with a leading "*" when linked, in button order. The first failure
// ends the pass silently: buttons already done keep their new captions, the rest their
// old ones, and the next tick starts again at button 0. A pass still under way is not
// started twice. An answer is about the call the button had when the pass began: a button
// edited since then keeps its new caption, unmarked, until the next pass.
void frmMain::LoadNodeButtons()
{
    if (m_pass || m_ended)
        return;
    if (!ELo) {
        Q_EMIT LoadNodeButtonsEnded();
        return;
    }
    m_pass = std::make_unique<RefreshPass>(*ELo, NodeCalls);
    connect(m_pass.get(), &RefreshPass::answered, this, [this, edits = m_edits](int i, bool linked) {
        if (m_edits[i] != edits[i])
            return;
        cmdRemoteNode[i]->setCall(NodeCalls[i]);
        cmdRemoteNode[i]->setLinked(linked);
    });
    // The pass is let go once its own signal has returned, and only if it is still ours
    // (the shutdown may have let go of it first).
    connect(
        m_pass.get(), &RefreshPass::ended, this,
        [this, pass = m_pass.get()] {
            if (m_pass.get() == pass)
                endRefresh();
        },
        Qt::QueuedConnection);
}

void frmMain::ButtonLoad_Timer()
{
    LoadNodeButtons();
}

void frmMain::endRefresh()
{
    m_pass.reset();
    Q_EMIT LoadNodeButtonsEnded();
}

// Asks EchoLink to link the button's node, or to drop it when linked, acting on what
// EchoLink reports when the click is served; the caption follows at the next refresh.
// After a mouse click the focus rule applies at once; after Space or Enter the focus
// stays on the button, so a keyboard user keeps their place.
void frmMain::cmdRemoteNode_Click(int Index, bool fromKeyboard)
{
    cmdRemoteNode[Index]->setLastTry({});
    if (m_clicks)
        m_clicks->add(NodeCalls[Index]);
    if (!fromKeyboard)
        focusDummy();
}

// EchoLink names the call exactly as the panel sent it: every button carrying that text
// tells why the try failed, until its next click or the next link to it. The caption
// stays as the refresh makes it.
void frmMain::Station_LinkFailed(const QString &call, const QString &reason, const QString &text)
{
    const QString outcome = LinkOutcome::failureText(reason, text);
    for (int i = 0; i < NodeButtonCount; ++i) {
        if (NodeCalls[i] == call)
            cmdRemoteNode[i]->setLastTry(outcome);
    }
}

void frmMain::Station_LinkStateChanged(const QString &call, const QString &state)
{
    if (state != QLatin1String(Automation::LinkedState))
        return;
    for (int i = 0; i < NodeButtonCount; ++i) {
        if (NodeCalls[i] == call)
            cmdRemoteNode[i]->setLastTry({});
    }
}

void frmMain::focusDummy()
{
    if (Dummy->isVisible())
        Dummy->setFocus(Qt::OtherFocusReason);
}

// Only a right-button release opens the dialog (or the context-menu key or Shift+F10 on
// the focused button, which come here as a right-button release). The panel leaves the topmost band for as
// long as the dialog is open, so it cannot cover it; the next OnTop tick after the
// dialog closes puts it back when Always On Top is checked.
void frmMain::cmdRemoteNode_MouseUp(int Index, Qt::MouseButton Button)
{
    if (Button != Qt::RightButton)
        return;
    Topmost::leave(this);
    OnTop->stop();

    frmLoadButtons dialog(
        this, Index, NodeCalls[Index], [this, Index](const QString &call) { storeCall(Index, call); },
        m_station.get());
    dialog.exec();

    // EchoLink may have closed while the dialog was open: the panel is shutting down.
    if (hasEnded())
        return;
    if (mnuOnTop->isChecked())
        OnTop->start();
}

// A confirmed edit: the call goes into the table and onto its button, unmarked until the
// next refresh, and every setting is saved at once.
void frmMain::storeCall(int index, const QString &call)
{
    ++m_edits[index];
    NodeCalls[index] = call;
    cmdRemoteNode[index]->setCall(call);
    cmdRemoteNode[index]->setLinked(false);
    saveSettings(OnSaveFailure::KeepRunning);
}
