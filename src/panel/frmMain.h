// The panel: a fixed-size window of 40 node buttons in two columns, the Options menu, the
// two interval timers and an invisible focus holder. It holds the node call table and the
// link to EchoLink, and runs the whole start-up and shutdown.
//
// Design names and what they are here:
//
//   frmMain            this QMainWindow
//   cmdRemoteNode(i)   the 40 NodeButtons, objects "cmdRemoteNode0" ... "cmdRemoteNode39";
//                      rows outside the view are hidden, so Tab and screen readers skip them
//   Dummy              a QWidget of no height below the last row; it only holds the focus
//   ButtonLoad         the 5 s refresh QTimer (object "ButtonLoad")
//   OnTop              the 1 s always-on-top QTimer (object "OnTop")
//   mnuOptions         the "Options" QMenu
//   mnuViewLarge, mnuViewSmall, mnuOnTop   its checkable QActions
//   mnu1               the separator QAction between the view items and "Always On Top"
//   ELo                the main EchoLink object on the bus, with its Closing signal
//   (no design name)   m_station: EchoLink's /Station extras, where offered: the station
//                      list the Load Button dialog completes from, and why a link failed,
//                      which the button of that call tells until its next click or link
//   NodeCalls          the 40-entry node call table
//   Form_Load          the start-up, run by main() before the window is first shown
//   Form_Activate      the focus rule, run when the window becomes the program's active
//                      window (not when the user comes back to it from another program)
//   Form_Unload        the shutdown, run once when the window closes or EchoLink closes
//   <control>_<event>  the handler of that control's event (a connected slot)
//
// Window geometry is in twips: Top and Left are the frame's top-left corner on the
// desktop; Height is the whole window, of which 645 twips are taken to be frame, title
// bar and menu bar, the rest being the button area.
#pragma once

#include "automation/EchoLinkObjects.h"
#include "automation/EchoLinkStation.h"
#include "settings/PanelSettings.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>
#include <optional>

class ClickQueue;
class NodeButton;
class PanelHost;
class QAction;
class QMenu;
class QTimer;
class QWindow;
class RefreshPass;
class SettingsStore;

class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int NodeButtonCount = PanelSettings::CallCount;
    static constexpr int LargeViewHeight = 6645;
    static constexpr int SmallViewHeight = 1545;

    explicit frmMain(PanelHost &host, QWidget *parent = nullptr);
    ~frmMain() override;

    // The whole start-up: splash, waits, attachment to EchoLink (or the report and the
    // end), title, settings, the first refresh, the refresh timer. The window stays
    // hidden throughout; the caller shows it after.
    void Form_Load();
    // True once the shutdown has run (or start-up failed): a start-up still in progress
    // stops where it is, and the window is not to be shown.
    bool hasEnded() const { return m_ended; }

    // Starts a refresh of the 40 captions, unless one is still under way; returns at once.
    // LoadNodeButtonsEnded tells when it is over.
    void LoadNodeButtons();
    bool isRefreshing() const { return m_pass != nullptr; }

    // Writes every setting in one save; throws SettingsError when it did not reach the disk.
    void PutRegSettings();

    // The settings as the panel holds them now (the stored position while the window's
    // own is not known: never shown, minimized, or on Wayland), and a set
    // applied over the current state, each empty value keeping what is there.
    PanelSettings currentSettings() const;
    void applySettings(const PanelSettings &settings);

    // Button `index`'s caption as text ("&" shown as itself, never as an accelerator).
    QString caption(int index) const;

Q_SIGNALS:
    // A refresh is over: completed, stopped at a failure, or dropped at shutdown.
    void LoadNodeButtonsEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Design (frmMain.cpp)
    void buildButtons(QWidget *area);
    void buildMenu();
    double Top() const;
    double Left() const;
    int Height() const;
    void setHeight(int twips);
    void followFocusWindow(QWindow *now);
    void applyPosition(std::optional<float> top, std::optional<float> left);
    void placeOneCoordinate();
    bool positionKnown() const;

    // Start-up and shutdown (frmMainLifecycle.cpp)
    void ConnectEchoLink();
    void Form_Activate();
    void Form_Unload();
    void ELo_Closing();
    void Station_LinkFailed(const QString &call, const QString &reason, const QString &text);
    void Station_LinkStateChanged(const QString &call, const QString &state);

    // Captions, clicks and the Load Button dialog (frmMainNodes.cpp)
    void ButtonLoad_Timer();
    void endRefresh();
    void cmdRemoteNode_Click(int Index, bool fromKeyboard);
    void cmdRemoteNode_MouseUp(int Index, Qt::MouseButton Button);
    void storeCall(int index, const QString &call);
    void focusDummy();

    // Settings and the Options menu (frmMainSettings.cpp, frmMainOptions.cpp)
    SettingsStore &store();
    void GetRegSettings();
    enum class OnSaveFailure { KeepRunning, End };
    // Saves every setting; a failure is reported, and ends the panel when asked to.
    bool saveSettings(OnSaveFailure onFailure);
    void mnuOnTop_Click();
    void mnuViewLarge_Click();
    void mnuViewSmall_Click();
    void OnTop_Timer();

    PanelHost &m_host;
    std::array<NodeButton *, NodeButtonCount> cmdRemoteNode{};
    QWidget *Dummy = nullptr;
    QTimer *OnTop = nullptr;
    QTimer *ButtonLoad = nullptr;
    QMenu *mnuOptions = nullptr;
    QAction *mnuViewLarge = nullptr;
    QAction *mnuViewSmall = nullptr;
    QAction *mnu1 = nullptr;
    QAction *mnuOnTop = nullptr;

    std::array<QString, NodeButtonCount> NodeCalls;
    // How many times each button's call has been edited: a refresh answer is shown only
    // on a button not edited since its pass began.
    std::array<quint64, NodeButtonCount> m_edits{};
    std::unique_ptr<EchoLinkApplication> ELo;
    std::unique_ptr<EchoLinkStation> m_station;
    std::unique_ptr<EchoLinkSetupConfig> SetupConfig;
    std::unique_ptr<EchoLinkSysopConfig> SysopConfig;
    QString StationCall;

    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<RefreshPass> m_pass;
    std::unique_ptr<ClickQueue> m_clicks;
    // A stored coordinate applied once the window system has placed the window, because
    // the other one was not stored: x when `m_placeX`, else y.
    std::optional<int> m_oneCoordinate;
    bool m_placeX = false;
    // The position as stored: as read at start, then as each save wrote it. A save keeps
    // it while the window's own position is not known.
    std::optional<float> m_storedTop;
    std::optional<float> m_storedLeft;
    bool m_placed = false;  // the window system has placed the window
    // The program's window that last had the focus: coming back to the panel from
    // another program is not an activation.
    QPointer<QWindow> m_lastFocusWindow;
    bool m_settingsLoaded = false;  // the settings were loaded, so shutdown saves them
    bool m_ended = false;
};
