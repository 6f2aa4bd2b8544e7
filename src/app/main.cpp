#include "app/CommandLine.h"
#include "app/DesktopHost.h"
#include "app/Platform.h"
#include "common/Product.h"
#include "panel/frmMain.h"

#include <QApplication>
#include <cstdlib>
#include <exception>

int main(int argc, char *argv[])
{
    const Platform::Choice platform = Platform::prepare();
    if (platform == Platform::Choice::NoDisplay)
        return EXIT_FAILURE;
    QApplication app(argc, argv);
    Platform::reportLimits(platform);
    QApplication::setOrganizationName(Product::name());
    QApplication::setApplicationName(Product::name());
    // Ties the windows to the installed desktop entry (its icon and name in the shell).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.dialboard.Dialboard"));

    const CommandLine::Options options = CommandLine::read(QApplication::arguments());

    // Loading the panel runs the whole start-up; it is shown only after.
    DesktopHost host(options.echoLinkBus);
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
