// Fuzz target for loading a settings file: the input becomes the panel's settings file,
// the panel loads it, saves, and loads the saved file into a second panel. Loading never
// fails or crashes whatever the file holds; the save always succeeds in a writable
// place; and what the first panel loaded survives the save exactly: the 40 calls, the
// Options menu marks and the height.
#include "automation/globals.h"
#include "panel/frmMain.h"
#include "prefs/SettingsError.h"
#include "prefs/SettingsStore.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

QString settingsFolder;

struct Loaded {
    std::array<QString, Module1::NodeButtonCount> calls;
    bool onTop = false, viewLarge = false, viewSmall = false;
    int height = 0;

    static Loaded from(const frmMain &w)
    {
        Loaded loaded;
        std::copy(std::begin(Module1::NodeCalls), std::end(Module1::NodeCalls), loaded.calls.begin());
        loaded.onTop = w.mnuOnTop->isChecked();
        loaded.viewLarge = w.mnuViewLarge->isChecked();
        loaded.viewSmall = w.mnuViewSmall->isChecked();
        loaded.height = w.Height();
        return loaded;
    }
    bool operator==(const Loaded &) const = default;
};

void describeDifference(const Loaded &first, const Loaded &second)
{
    for (int i = 0; i < Module1::NodeButtonCount; ++i) {
        if (first.calls[i] != second.calls[i])
            std::fprintf(stderr, "  NodeCall%d: \"%s\" became \"%s\"\n", i, qPrintable(first.calls[i]),
                         qPrintable(second.calls[i]));
    }
    std::fprintf(stderr, "  OnTop %d/%d, ViewLarge %d/%d, ViewSmall %d/%d, Height %d/%d\n", first.onTop,
                 second.onTop, first.viewLarge, second.viewLarge, first.viewSmall, second.viewSmall,
                 first.height, second.height);
}

Loaded load()
{
    for (QString &call : Module1::NodeCalls)
        call.clear();
    frmMain w;
    w.GetRegSettings();
    return Loaded::from(w);
}

// A settings file of a name not used before in this process: QSettings keeps what it
// parsed of a file for the life of the process and may not notice a rewrite within the
// same millisecond. Whatever earlier inputs left in the folder is removed.
QString freshSettingsFile()
{
    static int serial = 0;
    QDir folder(settingsFolder);
    for (const QString &name : folder.entryList(QDir::Files))
        folder.remove(name);
    globals::SettingsApplication = QStringLiteral("Fuzz%1").arg(++serial);
    return folder.filePath(globals::SettingsApplication + QStringLiteral(".conf"));
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
    QApplication::setOrganizationName(QStringLiteral("Dialboard"));
    QApplication::setApplicationName(QStringLiteral("Dialboard"));
    settingsFolder = QFileInfo(SettingsStore().fileName()).path();
    QDir().mkpath(settingsFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QFile file(freshSettingsFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();

    const Loaded first = load();
    try {
        frmMain w;
        std::copy(first.calls.begin(), first.calls.end(), std::begin(Module1::NodeCalls));
        w.mnuOnTop->setChecked(first.onTop);
        w.mnuViewLarge->setChecked(first.viewLarge);
        w.mnuViewSmall->setChecked(first.viewSmall);
        w.setHeight(first.height);
        w.PutRegSettings();
    } catch (const SettingsError &error) {
        std::fprintf(stderr, "finding: save failed: %s\n", error.what());
        std::abort();
    }
    const Loaded second = load();
    if (!(second == first)) {
        std::fputs("finding: what was loaded did not survive a save and a second load:\n", stderr);
        describeDifference(first, second);
        std::abort();
    }
    return 0;
}
