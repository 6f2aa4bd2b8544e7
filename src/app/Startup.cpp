// Start-up and shutdown of the panel: the load sequence, the attachment to EchoLink, the
// focus rule on activation, and the one way out, by the operator or with EchoLink.
#include "app/ErrorReport.h"
#include "app/WaitTimer.h"
#include "app/frmSplash.h"
#include "automation/AutomationError.h"
#include "automation/globals.h"
#include "panel/frmMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <exception>
#include <memory>

using WaitTimer::WaitSeconds;

namespace {

const QString CannotFindEchoLink =
    QStringLiteral("Can Not Find EchoLink.\r\nDialboard will not work without EchoLink.");

}  // namespace

// Attaches to EchoLink's three objects, the main one first and the two set-up objects
// four seconds later. Without them the panel cannot work: the operator is told so and
// the process ends, with nothing saved.
void frmMain::ConnectEchoLink()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    try {
        ELo = std::make_unique<EchoLinkApplication>(bus);
        connect(ELo.get(), &EchoLinkApplication::Closing, this, &frmMain::ELo_Closing);
        WaitSeconds(4);
        if (m_ended)
            return;  // EchoLink closed during the wait
        globals::SetupConfig = std::make_unique<EchoLinkSetupConfig>(bus);
        globals::SysopConfig = std::make_unique<EchoLinkSysopConfig>(bus);
    } catch (const AutomationError &error) {
        ErrorReport::fail(CannotFindEchoLink,
                          QStringLiteral("cannot find EchoLink: ") + error.message());
        m_ended = true;
    }
}

// The whole start-up. The window stays hidden throughout; the caller shows it after.
void frmMain::Form_Load()
{
    auto splash = std::make_unique<frmSplash>();
    splash->show();
    WaitSeconds(3);

    globals::SettingsApplication = QStringLiteral("Dialboard");
    globals::SettingsSection = QStringLiteral("Settings");

    ConnectEchoLink();
    if (m_ended)
        return;
    splash.reset();

    QString callsign;
    try {
        callsign = globals::SetupConfig->Callsign();
    } catch (const AutomationError &error) {
        ErrorReport::fail(QStringLiteral("Dialboard could not read the station callsign "
                                         "from EchoLink.\r\n")
                              + error.message(),
                          QStringLiteral("cannot read the station callsign: ") + error.message());
        m_ended = true;
        return;
    }
    const qsizetype dash = callsign.indexOf(QLatin1Char('-'));
    StationCall = dash < 0 ? callsign : callsign.left(dash);
    setWindowTitle(QStringLiteral("Dialboard ") + StationCall);

    GetRegSettings();
    LoadNodeButtons();
    ButtonLoad->start();
}

// No node button keeps the focus rectangle when the window comes to the front.
void frmMain::Form_Activate()
{
    focusDummy();
}

// Lets go of EchoLink first, so no Closing can arrive during the save, then saves the
// settings, when start-up got as far as loading them, and ends the process. Runs once,
// whoever asks first: the operator, EchoLink's Closing, or the application quitting.
void frmMain::Form_Unload()
{
    if (m_ended)
        return;
    m_ended = true;
    ButtonLoad->stop();
    OnTop->stop();
    ELo.reset();
    if (m_settingsLoaded && !saveSettings())
        ErrorReport::end();  // the save at shutdown failed, and was reported
    QCoreApplication::quit();
}

// Closing is raised from inside the main object's own signal; the window is closed
// (and the object released) only once that delivery has returned.
void frmMain::ELo_Closing()
{
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

bool frmMain::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return handled;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}
