// Start-up and shutdown of the panel.
#include "echolink/AutomationError.h"
#include "echolink/globals.h"
#include "panel/frmMain.h"

#include <QDBusConnection>
#include <QTimer>

void frmMain::ConnectEchoLink()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    ELo = std::make_unique<EchoLinkApplication>(bus);
    connect(ELo.get(), &EchoLinkApplication::Closing, this, &frmMain::ELo_Closing);
    globals::SetupConfig = std::make_unique<EchoLinkSetupConfig>(bus);
    globals::SysopConfig = std::make_unique<EchoLinkSysopConfig>(bus);
}

void frmMain::Form_Load()
{
    ConnectEchoLink();
    StationCall = globals::SetupConfig->Callsign().section(QLatin1Char('-'), 0, 0);
    setWindowTitle(QStringLiteral("Dialboard ") + StationCall);
    LoadNodeButtons();
    ButtonLoad->start();
}

void frmMain::Form_Activate() {}

void frmMain::Form_Unload()
{
    ELo.reset();
}

void frmMain::ELo_Closing()
{
    close();
}
