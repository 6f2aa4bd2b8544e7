// Loading and saving the panel's settings.
#include "panel/frmMain.h"

void frmMain::GetRegSettings() {}
void frmMain::PutRegSettings() {}
