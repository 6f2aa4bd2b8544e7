// Loading and saving the panel's settings: window position, the Options menu and the
// 40 node calls, as one PanelSettings value.
#include "common/Product.h"
#include "panel/PanelHost.h"
#include "panel/frmMain.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QTimer>
#include <exception>

SettingsStore &frmMain::store()
{
    if (!m_store)
        m_store = std::make_unique<SettingsStore>(Product::name(), QStringLiteral("Settings"));
    return *m_store;
}

// Applies what the store holds over the window's design state. A missing or unreadable
// value leaves whatever it would have set as it is; the load itself never fails.
void frmMain::GetRegSettings()
{
    const PanelSettings stored = PanelSettings::read(store());
    m_storedTop = stored.top;
    m_storedLeft = stored.left;
    applySettings(stored);
    m_settingsLoaded = true;
}

// Each step acts on the check mark the step before left, which is the design's mark
// when that value was missing: with both view marks set the small height wins.
void frmMain::applySettings(const PanelSettings &settings)
{
    applyPosition(settings.top, settings.left);
    if (settings.onTop)
        mnuOnTop->setChecked(*settings.onTop);
    if (mnuOnTop->isChecked())
        OnTop->start();
    if (settings.viewLarge)
        mnuViewLarge->setChecked(*settings.viewLarge);
    if (mnuViewLarge->isChecked())
        setHeight(LargeViewHeight);
    if (settings.viewSmall)
        mnuViewSmall->setChecked(*settings.viewSmall);
    if (mnuViewSmall->isChecked())
        setHeight(SmallViewHeight);
    for (int i = 0; i < NodeButtonCount; ++i)
        if (settings.calls[i])
            NodeCalls[i] = *settings.calls[i];
}

// The window's position when it is known (see positionKnown()); otherwise the stored
// one, as it was read or last saved, so a window that was never shown, is minimized or
// runs where positions are not told never overwrites a good one. With none stored and
// none known, the position is left out.
PanelSettings frmMain::currentSettings() const
{
    PanelSettings settings;
    if (positionKnown()) {
        settings.top = static_cast<float>(Top());
        settings.left = static_cast<float>(Left());
    } else {
        settings.top = m_storedTop;
        settings.left = m_storedLeft;
    }
    settings.onTop = mnuOnTop->isChecked();
    settings.viewLarge = mnuViewLarge->isChecked();
    settings.viewSmall = mnuViewSmall->isChecked();
    for (int i = 0; i < NodeButtonCount; ++i)
        settings.calls[i] = NodeCalls[i];
    return settings;
}

void frmMain::PutRegSettings()
{
    const PanelSettings settings = currentSettings();
    settings.write(store());
    store().save();
    m_storedTop = settings.top;
    m_storedLeft = settings.left;
}

// A failed save is reported, never silent. After an edit it does not end the panel:
// the new call stays in the table and on its button, and the next save tries again.
bool frmMain::saveSettings(OnSaveFailure onFailure)
{
    try {
        PutRegSettings();
        return true;
    } catch (const std::exception &error) {
        const QString reason = QString::fromLocal8Bit(error.what());
        const QString text = QStringLiteral("Dialboard could not save its settings.\r\n") + reason;
        const QString line = QStringLiteral("cannot save the settings: ") + reason;
        if (onFailure == OnSaveFailure::End)
            m_host.fail(text, line);
        else
            m_host.report(text, line);
        return false;
    }
}
