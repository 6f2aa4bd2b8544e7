// Options menu: always on top and the two view heights.
#include "panel/frmMain.h"

void frmMain::mnuOnTop_Click() {}
void frmMain::mnuViewLarge_Click() {}
void frmMain::mnuViewSmall_Click() {}
void frmMain::OnTop_Timer() {}
