// Options menu: always on top and the two view heights. The check marks are the state
// of both preferences; Qt has already set a mark when its handler runs.
#include "panel/Topmost.h"
#include "panel/frmMain.h"

#include <QAction>
#include <QTimer>

// Switching on only starts the timer: the window goes on top at its next tick.
// Switching off takes the window out of the always-on-top band at once.
void frmMain::mnuOnTop_Click()
{
    if (mnuOnTop->isChecked()) {
        OnTop->start();
    } else {
        OnTop->stop();
        Topmost::leave(this);
    }
}

// Every tick puts the panel back on top, over any other always-on-top window raised
// since the last one.
void frmMain::OnTop_Timer()
{
    Topmost::enter(this);
}

// Each view item toggles between the two views; only the height changes.
void frmMain::mnuViewLarge_Click()
{
    const bool large = mnuViewLarge->isChecked();
    mnuViewSmall->setChecked(!large);
    setHeight(large ? LargeViewHeight : SmallViewHeight);
}

void frmMain::mnuViewSmall_Click()
{
    const bool small = mnuViewSmall->isChecked();
    mnuViewLarge->setChecked(!small);
    setHeight(small ? SmallViewHeight : LargeViewHeight);
}
