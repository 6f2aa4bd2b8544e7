// Fuzz target for loading a settings file: the input becomes a settings file, a panel
// loads it, saves into it, and a second panel loads the saved file. Loading never fails
// or crashes whatever the file holds; the save always succeeds in a writable place; the
// panel reports nothing on the way; and what the first panel loaded survives the save
// exactly: the 40 calls, the Options menu marks and the height.
#include "panel/PanelHost.h"
#include "panel/frmMain.h"
#include "settings/PanelSettings.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

const QString Section = QStringLiteral("Settings");

[[noreturn]] void finding(const QString &what)
{
    std::fprintf(stderr, "finding: %s\n", qPrintable(what));
    std::abort();
}

// No splash, no waits; any report is a finding, since loading and saving settings in a
// writable place have nothing to report.
class FuzzHost : public PanelHost
{
public:
    void showSplash() override {}
    void closeSplash() override {}
    void waitSeconds(int) override {}
    void report(const QString &, const QString &line) override
    {
        finding(QStringLiteral("reported: ") + line);
    }
    void fail(const QString &, const QString &line) override { finding(QStringLiteral("failed: ") + line); }
};

struct Loaded
{
    std::array<QString, frmMain::NodeButtonCount> calls;
    bool onTop = false, viewLarge = false, viewSmall = false;
    int height = 0;

    static Loaded from(const frmMain &w)
    {
        const PanelSettings settings = w.currentSettings();
        Loaded loaded;
        for (int i = 0; i < frmMain::NodeButtonCount; ++i)
            loaded.calls[i] = settings.calls[i].value_or(QStringLiteral("(none)"));
        loaded.onTop = settings.onTop.value_or(false);
        loaded.viewLarge = settings.viewLarge.value_or(false);
        loaded.viewSmall = settings.viewSmall.value_or(false);
        loaded.height = w.height();
        return loaded;
    }
    bool operator==(const Loaded &) const = default;
};

void describeDifference(const Loaded &first, const Loaded &second)
{
    for (int i = 0; i < frmMain::NodeButtonCount; ++i) {
        if (first.calls[i] != second.calls[i])
            std::fprintf(stderr, "  NodeCall%d: \"%s\" became \"%s\"\n", i, qPrintable(first.calls[i]),
                         qPrintable(second.calls[i]));
    }
    std::fprintf(stderr, "  OnTop %d/%d, ViewLarge %d/%d, ViewSmall %d/%d, height %d/%d\n", first.onTop,
                 second.onTop, first.viewLarge, second.viewLarge, first.viewSmall, second.viewSmall,
                 first.height, second.height);
}

// Where the store of `application` keeps its file; checked against the store itself once.
QString settingsFile(const QString &application)
{
    return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QLatin1Char('/') + application
           + QLatin1Char('/') + application + QStringLiteral(".conf");
}

// An application name not used before in this process: QSettings keeps what it parsed
// of a file for the life of the process and may not notice a rewrite within the same
// millisecond. What the input before left on disk is removed.
QString freshApplication()
{
    static int serial = 0;
    if (serial > 0)
        QDir(QFileInfo(settingsFile(QStringLiteral("Fuzz%1").arg(serial))).path()).removeRecursively();
    return QStringLiteral("Fuzz%1").arg(++serial);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    char home[] = "/tmp/dialboard-fuzz-XXXXXX";
    if (!mkdtemp(home))
        std::abort();
    setenv("XDG_CONFIG_HOME", home, 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    const QString probe = QStringLiteral("FuzzProbe");
    if (SettingsStore(probe, Section).fileName() != settingsFile(probe))
        finding(QStringLiteral("the settings file is not where this target writes its input"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString application = freshApplication();
    QDir().mkpath(QFileInfo(settingsFile(application)).path());
    QFile file(settingsFile(application));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();

    FuzzHost host;
    Loaded first;
    {
        // As the panel does: one store, read at start-up and saved into at the end.
        SettingsStore store(application, Section);
        frmMain w(host);
        w.applySettings(PanelSettings::read(store));
        first = Loaded::from(w);
        try {
            w.currentSettings().write(store);
            store.save();
        } catch (const std::exception &error) {
            finding(QStringLiteral("save failed: ") + QString::fromLocal8Bit(error.what()));
        }
    }
    const SettingsStore saved(application, Section);
    frmMain w(host);
    w.applySettings(PanelSettings::read(saved));
    const Loaded second = Loaded::from(w);
    if (!(second == first)) {
        std::fputs("finding: what was loaded did not survive a save and a second load:\n", stderr);
        describeDifference(first, second);
        std::abort();
    }
    return 0;
}
