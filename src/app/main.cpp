#include "app/DesktopHost.h"
#include "common/Product.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("dialboard: no display. Start it from a desktop session, or set DISPLAY "
                   "(for instance run it under xvfb-run).\n",
                   stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(Product::name());
    QApplication::setApplicationName(Product::name());
    // Ties the windows to the installed desktop entry (its icon and name in the shell).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.dialboard.Dialboard"));

    // Loading the panel runs the whole start-up; it is shown only after.
    DesktopHost host;
    frmMain window(host);
    try {
        window.Form_Load();
    } catch (const std::exception &error) {
        const QString reason = QString::fromLocal8Bit(error.what());
        host.fail(QStringLiteral("Dialboard could not start.\r\n") + reason,
                  QStringLiteral("start-up failed: ") + reason);
    }
    if (window.hasEnded())
        return EXIT_SUCCESS;  // EchoLink closed while the panel was starting
    window.show();
    return app.exec();
}
