// Drives the panel in the test's own process, through its public steps, its widgets
// (found by object name) and real input events.
#pragma once

#include "app/DesktopHost.h"

#include <QList>
#include <QMap>
#include <QString>
#include <functional>

class frmMain;
class frmLoadButtons;
class QAction;
class QPushButton;
class QTimer;
class QWidget;

// The desktop host with the ending replaced, so a failure that would end the process is
// recorded instead, and, unless the test asks for the real ones, start-up waits and the
// splash left out.
class TestHost : public DesktopHost
{
public:
    enum class Waits { None, Real };
    // echoLinkBus: the address of EchoLink's bus; empty for the session bus.
    explicit TestHost(Waits waits = Waits::None, const QString &echoLinkBus = QString())
        : DesktopHost(echoLinkBus), m_waits(waits)
    {}

    void showSplash() override;
    void closeSplash() override;
    void waitSeconds(int seconds) override;

    // The statuses the panel asked to end with, in order.
    QList<int> endings;

protected:
    void end(int status) override { endings.append(status); }

private:
    Waits m_waits;
};

namespace PanelDriver {

QPushButton *button(frmMain &w, int index);
QWidget *dummy(frmMain &w);
QTimer *timer(frmMain &w, const char *name);      // "OnTop", "ButtonLoad"
QAction *menuItem(frmMain &w, const char *name);  // "mnuViewLarge", "mnuViewSmall", "mnuOnTop"

// Runs the start-up against whatever serves EchoLink on the bus; true when the panel is
// up (attached, settings loaded, first refresh over).
bool load(frmMain &w);
// Puts calls into the node call table as stored settings would.
void setCalls(frmMain &w, const QMap<int, QString> &calls);
// Runs one refresh and waits until it is over; false when it did not end within 10 s.
bool refresh(frmMain &w);
// Button i's caption, for every button.
QStringList captions(frmMain &w);

// Right-clicks node button `index` and, once the dialog is up, runs `act` on it from
// inside the modal loop. A dialog that `act` leaves open is closed so the test cannot
// hang. Returns whether the dialog opened.
bool editButton(frmMain &w, int index, const std::function<void(frmLoadButtons *)> &act);

}  // namespace PanelDriver
