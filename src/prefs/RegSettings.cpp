// Loading and saving the panel's settings: window position, the Options menu and the
// 40 node calls, under the keys ScrnTop, ScrnLeft, OnTop, ViewLarge, ViewSmall and
// NodeCall0 ... NodeCall39.
#include "app/ErrorReport.h"
#include "panel/frmMain.h"
#include "prefs/SettingsStore.h"
#include "prefs/TextForms.h"

#include <QAction>
#include <QTimer>
#include <exception>

using Module1::NodeCalls;

namespace {

QString nodeCallKey(int index)
{
    return QStringLiteral("NodeCall%1").arg(index);
}

// One step of the load: a value that cannot be read or applied abandons the rest of
// the step, and the load goes on with the next one.
template <typename Step>
void resumeNext(Step step)
{
    try {
        step();
    } catch (const std::exception &) {
    }
}

}  // namespace

// Applies what the store holds over the window's design state. A missing or unreadable
// value leaves whatever it would have set as it is; the load itself never fails.
void frmMain::GetRegSettings()
{
    using namespace TextForms;
    const SettingsStore store;
    resumeNext([&] { setTop(toSingle(store.read(QStringLiteral("ScrnTop")))); });
    resumeNext([&] { setLeft(toSingle(store.read(QStringLiteral("ScrnLeft")))); });
    resumeNext([&] { mnuOnTop->setChecked(toBoolean(store.read(QStringLiteral("OnTop")))); });
    resumeNext([&] {
        if (mnuOnTop->isChecked())
            OnTop->start();
    });
    resumeNext([&] { mnuViewLarge->setChecked(toBoolean(store.read(QStringLiteral("ViewLarge")))); });
    resumeNext([&] {
        if (mnuViewLarge->isChecked())
            setHeight(LargeViewHeight);
    });
    resumeNext([&] { mnuViewSmall->setChecked(toBoolean(store.read(QStringLiteral("ViewSmall")))); });
    resumeNext([&] {
        if (mnuViewSmall->isChecked())
            setHeight(SmallViewHeight);
    });
    for (int i = 0; i < Module1::NodeButtonCount; ++i)
        resumeNext([&] { NodeCalls[i] = store.read(nodeCallKey(i)); });
    m_settingsLoaded = true;
}

// Writes the full set in one save. The position is left as stored while the window is
// minimized, since a minimized window has no position worth keeping. Throws
// SettingsError when the file could not be written.
void frmMain::PutRegSettings()
{
    using namespace TextForms;
    SettingsStore store;
    if (!isMinimized()) {
        store.write(QStringLiteral("ScrnTop"), fromSingle(static_cast<float>(Top())));
        store.write(QStringLiteral("ScrnLeft"), fromSingle(static_cast<float>(Left())));
    }
    store.write(QStringLiteral("OnTop"), fromBoolean(mnuOnTop->isChecked()));
    store.write(QStringLiteral("ViewLarge"), fromBoolean(mnuViewLarge->isChecked()));
    store.write(QStringLiteral("ViewSmall"), fromBoolean(mnuViewSmall->isChecked()));
    for (int i = 0; i < Module1::NodeButtonCount; ++i)
        store.write(nodeCallKey(i), NodeCalls[i]);
    store.save();
}

// A failed save is reported, never silent. After an edit it does not end the panel:
// the new call stays in the table and on its button, and the next save tries again.
bool frmMain::saveSettings()
{
    try {
        PutRegSettings();
        return true;
    } catch (const std::exception &error) {
        const QString reason = QString::fromLocal8Bit(error.what());
        ErrorReport::report(QStringLiteral("Dialboard could not save its settings.\r\n") + reason,
                            QStringLiteral("cannot save the settings: ") + reason);
        return false;
    }
}
