// Opening the Load Button dialog with a right click on a node button.
#include "panel/frmLoadButtons.h"
#include "panel/frmMain.h"
#include "prefs/Topmost.h"

#include <QAction>
#include <QTimer>

// Only a right-button release acts. The panel leaves the topmost band for as long as the
// dialog is open, so it cannot cover it; the next OnTop tick after the dialog closes
// puts it back when Always On Top is checked.
void frmMain::cmdRemoteNode_MouseUp(int Index, Qt::MouseButton Button, Qt::KeyboardModifiers,
                                    double, double)
{
    if (Button != Qt::RightButton)
        return;
    Module1::ButtonIndex = static_cast<qint16>(Index);
    Topmost::leave(this);
    OnTop->stop();

    frmLoadButtons dialog(this);
    dialog.exec();

    // EchoLink may have closed while the dialog was open: the panel is shutting down.
    if (hasEnded())
        return;
    if (mnuOnTop->isChecked())
        OnTop->start();
}
