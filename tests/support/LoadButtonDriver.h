// Drives the Load Button dialog from inside its modal loop, as QtTest GUI suites do.
#pragma once

#include <functional>

class frmMain;
class frmLoadButtons;

// Right-clicks node button `index` and, once the dialog is up, runs `act` on it from
// inside the modal loop. A dialog that `act` leaves open is closed so the test cannot
// hang. Returns whether the dialog opened.
bool editButton(frmMain &w, int index, const std::function<void(frmLoadButtons *)> &act);
