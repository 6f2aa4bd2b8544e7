// Opening the Load Button dialog with a right click on a node button.
#include "panel/frmMain.h"

void frmMain::cmdRemoteNode_MouseUp(int, Qt::MouseButton, Qt::KeyboardModifiers, double, double) {}
