// A second running copy of the program as far as the settings store goes: saves the
// full set of 45 keys, every value carrying the same tag and the save's number, over
// and over for the given time (at least once), pausing a moment between saves as a
// person would. Prints the number of saves. Usage: settings_saver <milliseconds> <tag>
#include "settings/SettingsError.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int milliseconds = QCoreApplication::arguments().value(1).toInt();
    const QString tag = QCoreApplication::arguments().value(2);
    const QStringList keys = {QStringLiteral("ScrnTop"), QStringLiteral("ScrnLeft"), QStringLiteral("OnTop"),
                              QStringLiteral("ViewLarge"), QStringLiteral("ViewSmall")};
    int n = 0;
    try {
        QElapsedTimer clock;
        clock.start();
        for (; n == 0 || clock.elapsed() < milliseconds; ++n) {
            SettingsStore store(QStringLiteral("Dialboard"), QStringLiteral("Settings"));
            const QString value = tag + QString::number(n);
            for (const QString &key : keys)
                store.write(key, value);
            for (int i = 0; i < 40; ++i)
                store.write(QStringLiteral("NodeCall%1").arg(i), value);
            store.save();
            QThread::msleep(10);
        }
    } catch (const SettingsError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%d\n", n);
    return 0;
}
