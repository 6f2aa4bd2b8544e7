// The smallest program that asks what the panel's refresh asks: every 5 s, the 40
// IsConnected questions sent together on the session bus, with no window and none of the
// panel's code. Its wake-ups are the floor the panel's idle figure is set against.
//
//   bare_refresh [--watch-last]
//
// By default every answer is watched, as the panel does. With --watch-last only the last
// question is watched, and the answers before it are read when it has been answered: a
// server answers in order, so Qt hands one answer over to this thread, not 40.
#include "automation/AutomationContract.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTimer>
#include <memory>
#include <vector>

namespace {

constexpr int CallCount = 40;

QDBusPendingCall ask(int index)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(Automation::ServiceName), QString::fromLatin1(Automation::ApplicationPath),
        QString::fromLatin1(Automation::ApplicationInterface),
        QString::fromLatin1(Automation::IsConnectedMethod));
    message << QStringLiteral("BARE%1").arg(index);
    return QDBusConnection::sessionBus().asyncCall(message, (index + 1) * Automation::CallTimeoutMs);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool watchLast = app.arguments().contains(QStringLiteral("--watch-last"));

    std::vector<QDBusPendingCall> calls;
    std::vector<std::unique_ptr<QDBusPendingCallWatcher>> watchers;
    int answered = 0;
    QTimer tick;
    tick.setInterval(5000);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        watchers.clear();
        calls.clear();
        answered = 0;
        for (int i = 0; i < CallCount; ++i)
            calls.push_back(ask(i));
        for (int i = watchLast ? CallCount - 1 : 0; i < CallCount; ++i) {
            watchers.push_back(std::make_unique<QDBusPendingCallWatcher>(calls[i]));
            QObject::connect(watchers.back().get(), &QDBusPendingCallWatcher::finished, [&] {
                while (answered < CallCount && calls[answered].isFinished())
                    ++answered;
            });
        }
    });
    tick.start();
    return app.exec();
}
