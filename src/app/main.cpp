#include "panel/frmMain.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

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
    QApplication::setOrganizationName(QStringLiteral("Dialboard"));
    QApplication::setApplicationName(QStringLiteral("Dialboard"));

    frmMain window;
    window.Form_Load();
    window.show();
    return app.exec();
}
