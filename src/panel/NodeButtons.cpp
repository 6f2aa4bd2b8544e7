// Captions from the node call table, and the click that links or unlinks a node.
#include "automation/AutomationError.h"
#include "panel/frmMain.h"

#include <QTimer>

using Module1::NodeCalls;

namespace {

const EchoLinkApplication &attached(const std::unique_ptr<EchoLinkApplication> &ELo)
{
    if (!ELo)
        throw AutomationError(QStringLiteral("not attached to EchoLink"));
    return *ELo;
}

}  // namespace

// Asks EchoLink about every entry, empty ones included, and captions each button with
// its call, marked with a leading "*" when linked. The first failure ends the pass
// silently: buttons already done keep their new captions, the rest their old ones.
void frmMain::LoadNodeButtons()
{
    try {
        const EchoLinkApplication &link = attached(ELo);
        for (int i = 0; i < Module1::NodeButtonCount; ++i) {
            const QString call = NodeCalls[i];
            setCaption(i, link.IsConnected(call) ? QLatin1Char('*') + call : call);
        }
    } catch (const AutomationError &) {
        // The next tick starts again at button 0.
    }
}

void frmMain::ButtonLoad_Timer()
{
    LoadNodeButtons();
}

// Toggles EchoLink's link to the button's node, acting on the state EchoLink reports
// now, not on the caption. The caption follows at the next refresh. A failed call ends
// the attempt silently; the focus rule applies in every case.
void frmMain::cmdRemoteNode_Click(int Index)
{
    try {
        const EchoLinkApplication &link = attached(ELo);
        const QString call = NodeCalls[Index];
        if (link.IsConnected(call))
            link.Disconnect(call);
        else
            link.Connect(call, 0);
    } catch (const AutomationError &) {
    }
    focusDummy();
}

void frmMain::focusDummy()
{
    if (Dummy->isVisible())
        Dummy->setFocus(Qt::OtherFocusReason);
}
