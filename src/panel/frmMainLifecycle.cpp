// Start-up and shutdown of the panel: the load sequence, the attachment to EchoLink, the
// focus rule on activation, and the one way out, by the operator or with EchoLink.
#include "automation/AutomationError.h"
#include "automation/EchoLinkStarter.h"
#include "common/Product.h"
#include "panel/ClickQueue.h"
#include "panel/PanelHost.h"
#include "panel/RefreshPass.h"
#include "panel/frmMain.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEventLoop>
#include <QTimer>

namespace {

const QString CannotFindEchoLink =
    QStringLiteral("Can Not Find EchoLink.\r\nDialboard will not work without EchoLink.");

}  // namespace

// Attaches to EchoLink's three objects, the main one first and the two set-up objects
// four seconds later. EchoLink not running but installed on the bus (a service file) is
// started first and awaited, at most 10 s. Without the objects the panel cannot work:
// the operator is told so and the process ends, with nothing saved. The bus going away
// later ends the panel as EchoLink's Closing does.
void frmMain::ConnectEchoLink()
{
    const QDBusConnection bus = m_host.echoLinkBus();
    const EchoLinkStarter::Result started = EchoLinkStarter::startIfActivatable(bus);
    if (m_ended)
        return;
    if (started.outcome == EchoLinkStarter::Outcome::StartFailed) {
        m_host.fail(CannotFindEchoLink, QStringLiteral("cannot start EchoLink: ") + started.reason);
        m_ended = true;
        return;
    }
    try {
        ELo = std::make_unique<EchoLinkApplication>(bus, this);
        connect(ELo.get(), &EchoLinkApplication::Closing, this, &frmMain::ELo_Closing);
        connect(ELo.get(), &EchoLinkApplication::BusLost, this, &frmMain::ELo_Closing);
        // Asks nothing of EchoLink: an EchoLink without /Station never raises its signals.
        m_station = std::make_unique<EchoLinkStation>(bus);
        connect(m_station.get(), &EchoLinkStation::LinkFailed, this, &frmMain::Station_LinkFailed);
        connect(m_station.get(), &EchoLinkStation::LinkStateChanged, this,
                &frmMain::Station_LinkStateChanged);
        m_clicks = std::make_unique<ClickQueue>(*ELo);
        m_host.waitSeconds(4);
        if (m_ended)
            return;  // EchoLink closed during the wait
        SetupConfig = std::make_unique<EchoLinkSetupConfig>(bus);
        SysopConfig = std::make_unique<EchoLinkSysopConfig>(bus);
    } catch (const AutomationError &error) {
        m_host.fail(CannotFindEchoLink, QStringLiteral("cannot find EchoLink: ") + error.message());
        m_ended = true;
    }
}

void frmMain::Form_Load()
{
    m_host.showSplash();
    m_host.waitSeconds(3);
    if (m_ended)
        return;

    store();  // the settings address: application "Dialboard", section "Settings"

    ConnectEchoLink();
    if (m_ended)
        return;
    m_host.closeSplash();

    QString callsign;
    try {
        callsign = SetupConfig->Callsign();
    } catch (const AutomationError &error) {
        m_host.fail(QStringLiteral("Dialboard could not read the station callsign from EchoLink.\r\n")
                        + error.message(),
                    QStringLiteral("cannot read the station callsign: ") + error.message());
        m_ended = true;
        return;
    }
    const qsizetype dash = callsign.indexOf(QLatin1Char('-'));
    StationCall = dash < 0 ? callsign : callsign.left(dash);
    setWindowTitle(Product::name() + QLatin1Char(' ') + StationCall);

    GetRegSettings();

    // The first refresh ends before the window is first shown, as if it were one call.
    LoadNodeButtons();
    if (m_pass) {
        QEventLoop loop;
        connect(this, &frmMain::LoadNodeButtonsEnded, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (m_ended)
        return;
    ButtonLoad->start();
}

// No node button keeps the focus rectangle when the window comes to the front.
void frmMain::Form_Activate()
{
    focusDummy();
}

// Lets go of EchoLink first, so no Closing can arrive during the save, and drops any
// refresh or click still waiting for an answer; then saves the settings, when start-up
// got as far as loading them, and ends the process. Runs once, whoever asks first: the
// operator, EchoLink's Closing, or the application quitting.
void frmMain::Form_Unload()
{
    if (m_ended)
        return;
    m_ended = true;
    ButtonLoad->stop();
    OnTop->stop();
    m_clicks.reset();
    if (m_pass)
        endRefresh();
    m_station.reset();
    ELo.reset();
    if (m_settingsLoaded)
        saveSettings(OnSaveFailure::End);
    QCoreApplication::quit();
}

// Closing is raised from inside the main object's own signal; the window is closed
// (and the object released) only once that delivery has returned.
void frmMain::ELo_Closing()
{
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}
