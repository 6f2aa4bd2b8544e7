// The panel: a fixed-size window of 40 node buttons in two columns, the Options menu, the
// two interval timers and an invisible focus holder.
//
// The window's members are defined by subsystem: layout, captions and clicks in panel/,
// the settings and Options menu in prefs/, start-up and shutdown in app/.
#pragma once

#include "automation/EchoLinkObjects.h"
#include "panel/Module1.h"

#include <QMainWindow>
#include <array>
#include <memory>

class QAction;
class QMenu;
class QPushButton;
class QTimer;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // --- Design (panel/frmMain.cpp) -------------------------------------------------
    std::array<QPushButton *, Module1::NodeButtonCount> cmdRemoteNode{};
    QWidget *Dummy = nullptr;
    QTimer *OnTop = nullptr;
    QTimer *ButtonLoad = nullptr;
    QMenu *mnuOptions = nullptr;
    QAction *mnuViewLarge = nullptr;
    QAction *mnuViewSmall = nullptr;
    QAction *mnu1 = nullptr;
    QAction *mnuOnTop = nullptr;

    // A button's caption as text; "&" is shown as itself, never as an accelerator mark.
    QString caption(int index) const;
    void setCaption(int index, const QString &text);

    // The whole window's height in twips in the two views.
    static constexpr int LargeViewHeight = 6645;
    static constexpr int SmallViewHeight = 1545;

    // Window geometry in twips: Top and Left are the frame's top-left corner on the
    // desktop; Height is the whole window, of which 645 twips are taken to be frame,
    // title bar and menu bar, the rest being the button area.
    double Top() const;
    double Left() const;
    int Height() const;
    void setTop(double twips);
    void setLeft(double twips);
    void setHeight(int twips);

    // --- The automation link (app/) ---------------------------------------------------
    std::unique_ptr<EchoLinkApplication> ELo;
    QString StationCall;

    // --- Captions and clicks (panel/) --------------------------------------------------
    void LoadNodeButtons();
    void ButtonLoad_Timer();
    void cmdRemoteNode_Click(int Index);
    void cmdRemoteNode_MouseUp(int Index, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                               double X, double Y);
    // Gives the focus to the invisible focus holder, so no node button keeps the focus
    // rectangle.
    void focusDummy();

    // --- Settings and Options menu (prefs/) --------------------------------------------
    void GetRegSettings();
    void PutRegSettings();
    // Saves every setting; a failure is reported (message box and stderr) and the result
    // is false.
    bool saveSettings();
    void mnuOnTop_Click();
    void mnuViewLarge_Click();
    void mnuViewSmall_Click();
    void OnTop_Timer();

    // --- Start-up and shutdown (app/) ---------------------------------------------------
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void ELo_Closing();
    // True once the shutdown has run (or start-up failed): a start-up still in progress
    // stops where it is, and the window is not to be shown.
    bool hasEnded() const { return m_ended; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Activation runs Form_Activate; closing runs Form_Unload (app/).
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void ConnectEchoLink();
    bool m_settingsLoaded = false;  // the settings were loaded, so shutdown saves them
    bool m_ended = false;
    void buildButtons(QWidget *area);
    void buildMenu();
};
