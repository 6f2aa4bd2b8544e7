// Options menu: always on top and the two view heights. The check marks are the state
// of both preferences; the handlers see them as they were before the click.
#include "panel/frmMain.h"
#include "prefs/Topmost.h"

#include <QAction>
#include <QTimer>

// Switching on only starts the timer: the window goes on top at its next tick.
// Switching off takes the window out of the always-on-top band at once.
void frmMain::mnuOnTop_Click()
{
    if (mnuOnTop->isChecked()) {
        mnuOnTop->setChecked(false);
        OnTop->stop();
        Topmost::leave(this);
    } else {
        mnuOnTop->setChecked(true);
        OnTop->start();
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
    const bool large = !mnuViewLarge->isChecked();
    mnuViewLarge->setChecked(large);
    mnuViewSmall->setChecked(!large);
    setHeight(large ? LargeViewHeight : SmallViewHeight);
}

void frmMain::mnuViewSmall_Click()
{
    const bool small = !mnuViewSmall->isChecked();
    mnuViewSmall->setChecked(small);
    mnuViewLarge->setChecked(!small);
    setHeight(small ? SmallViewHeight : LargeViewHeight);
}
