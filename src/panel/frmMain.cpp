// The window's design: frame, size, the button grid, focus holder, tab order, fonts, the
// Options menu and the two timers; captions and window geometry.
#include "panel/frmMain.h"

#include "common/Product.h"
#include "panel/ClickQueue.h"
#include "panel/Fonts.h"
#include "panel/NodeButton.h"
#include "panel/RefreshPass.h"
#include "panel/Twips.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

namespace {

// Design values, in twips.
constexpr int ClientWidth = 2970;
constexpr int FrameAndMenuHeight = 645;  // taken, not measured: the rest is button area
constexpr int ButtonWidth = 1485;
constexpr int ButtonHeight = 300;
constexpr int RightColumnLeft = 1500;
constexpr int Rows = frmMain::NodeButtonCount / 2;

// The design grid: row r holds button r on the left and button 39 - r on the right.
QRect buttonRect(int index)
{
    const bool left = index < Rows;
    const int row = left ? index : frmMain::NodeButtonCount - 1 - index;
    return Twips::toPixels(left ? 0 : RightColumnLeft, ButtonHeight * row, ButtonWidth, ButtonHeight);
}

// A twips position the window can take, or nothing, as for a value the window refuses.
std::optional<int> positionPixels(std::optional<float> twips)
{
    if (!twips)
        return std::nullopt;
    const double pixels = std::round(*twips / Twips::perPixel());
    if (!std::isfinite(pixels) || std::abs(pixels) > std::numeric_limits<int>::max() / 2)
        return std::nullopt;
    return static_cast<int>(pixels);
}

// The frame's top-left corner that keeps a window of `size` where it was asked to be
// when any of it would be on a screen; otherwise fully on the nearest screen, so a
// position saved with a monitor that is gone never leaves the panel out of sight.
QPoint onSomeScreen(QPoint topLeft, QSize size)
{
    const QRect wanted(topLeft, size);
    const QList<QScreen *> screens = QGuiApplication::screens();
    QRect nearest;
    double nearestDistance = std::numeric_limits<double>::max();
    for (const QScreen *screen : screens) {
        const QRect area = screen->availableGeometry();
        if (area.intersects(wanted))
            return topLeft;
        const QPoint gap = area.center() - wanted.center();
        const double distance = std::hypot(gap.x(), gap.y());
        if (distance < nearestDistance) {
            nearestDistance = distance;
            nearest = area;
        }
    }
    if (nearest.isNull())
        return topLeft;
    return {
        std::clamp(topLeft.x(), nearest.left(), std::max(nearest.left(), nearest.right() + 1 - size.width())),
        std::clamp(topLeft.y(), nearest.top(),
                   std::max(nearest.top(), nearest.bottom() + 1 - size.height()))};
}

}  // namespace

frmMain::frmMain(PanelHost &host, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                              | Qt::WindowCloseButtonHint),
      m_host(host)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(Product::name());
    setWindowIcon(QIcon(QStringLiteral(":/dialboard.png")));

    auto *area = new QWidget(this);
    area->setObjectName(QStringLiteral("buttonArea"));
    setCentralWidget(area);
    buildButtons(area);
    buildMenu();

    OnTop = new QTimer(this);
    OnTop->setObjectName(QStringLiteral("OnTop"));
    OnTop->setInterval(1000);
    connect(OnTop, &QTimer::timeout, this, &frmMain::OnTop_Timer);

    ButtonLoad = new QTimer(this);
    ButtonLoad->setObjectName(QStringLiteral("ButtonLoad"));
    ButtonLoad->setInterval(5000);
    connect(ButtonLoad, &QTimer::timeout, this, &frmMain::ButtonLoad_Timer);

    setHeight(SmallViewHeight);  // the design's 900-twip button area
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &frmMain::followFocusWindow);
}

frmMain::~frmMain() = default;

void frmMain::buildButtons(QWidget *area)
{
    const QFont font = Fonts::verdana(6.75);
    for (int i = 0; i < NodeButtonCount; ++i) {
        auto *button = new NodeButton(i, area);
        button->setGeometry(buttonRect(i));
        button->setFont(font);
        button->installEventFilter(this);
        connect(button, &NodeButton::activated, this,
                [this, i](bool fromKeyboard) { cmdRemoteNode_Click(i, fromKeyboard); });
        connect(button, &NodeButton::callEditRequested, this,
                [this, i] { cmdRemoteNode_MouseUp(i, Qt::RightButton); });
        cmdRemoteNode[i] = button;
    }

    // Below the last row and without height: never seen, but it can hold the focus. A
    // screen reader names it after the program.
    Dummy = new QWidget(area);
    Dummy->setObjectName(QStringLiteral("Dummy"));
    Dummy->setAccessibleName(Product::name());
    Dummy->setGeometry(Twips::toPixels(600), Twips::toPixels(6120), Twips::toPixels(15), 0);
    Dummy->setFocusPolicy(Qt::StrongFocus);

    // Dummy first, then the left column bottom-up, then the right column bottom-up.
    QWidget *previous = Dummy;
    for (int i = Rows - 1; i >= 0; --i)
        setTabOrder(std::exchange(previous, cmdRemoteNode[i]), cmdRemoteNode[i]);
    for (int i = Rows; i < NodeButtonCount; ++i)
        setTabOrder(std::exchange(previous, cmdRemoteNode[i]), cmdRemoteNode[i]);
}

// The items are checkable: Qt sets the check mark on a click, and the handlers act on
// the mark as it now is.
void frmMain::buildMenu()
{
    mnuOptions = menuBar()->addMenu(tr("Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    const auto addItem = [this](const QString &name, const QString &text, bool checked,
                                void (frmMain::*handler)()) {
        QAction *item = mnuOptions->addAction(text);
        item->setObjectName(name);
        item->setCheckable(true);
        item->setChecked(checked);
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    mnuViewLarge =
        addItem(QStringLiteral("mnuViewLarge"), tr("View Large"), false, &frmMain::mnuViewLarge_Click);
    mnuViewSmall =
        addItem(QStringLiteral("mnuViewSmall"), tr("View Small"), true, &frmMain::mnuViewSmall_Click);
    mnu1 = mnuOptions->addSeparator();
    mnu1->setObjectName(QStringLiteral("mnu1"));
    mnuOnTop = addItem(QStringLiteral("mnuOnTop"), tr("Always On Top"), false, &frmMain::mnuOnTop_Click);

    // F10 opens the menu from the keyboard; the items themselves have no access keys.
    auto *openMenu = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(openMenu, &QShortcut::activated, this,
            [this] { menuBar()->setActiveAction(mnuOptions->menuAction()); });
}

QString frmMain::caption(int index) const
{
    return cmdRemoteNode[index]->caption();
}

double frmMain::Top() const
{
    return Twips::fromPixels(pos().y());
}

double frmMain::Left() const
{
    return Twips::fromPixels(pos().x());
}

int frmMain::Height() const
{
    return qRound(Twips::fromPixels(centralWidget()->height())) + FrameAndMenuHeight;
}

void frmMain::setHeight(int twips)
{
    const int area = Twips::toPixels(std::max(0, twips - FrameAndMenuHeight));
    centralWidget()->setFixedSize(Twips::toPixels(ClientWidth), area);
    setFixedSize(Twips::toPixels(ClientWidth), menuBar()->sizeHint().height() + area);
    // Rows below the view are hidden: Tab skips them and screen readers do not offer them.
    const QRect shown(0, 0, Twips::toPixels(ClientWidth), area);
    for (int i = 0; i < NodeButtonCount; ++i)
        cmdRemoteNode[i]->setVisible(shown.intersects(buttonRect(i)));
}

// A stored position is applied as it stands when it keeps some of the window on a
// screen. When only one coordinate is stored, the other stays where the window system
// puts the window: before the window is first shown its position is not known yet, so
// the one coordinate waits until the window has been placed.
void frmMain::applyPosition(std::optional<float> top, std::optional<float> left)
{
    const std::optional<int> y = positionPixels(top);
    const std::optional<int> x = positionPixels(left);
    if (x && y) {
        m_oneCoordinate.reset();
        move(onSomeScreen({*x, *y}, frameGeometry().size()));
    } else if (x || y) {
        m_oneCoordinate = x ? x : y;
        m_placeX = x.has_value();
        if (isVisible())
            placeOneCoordinate();
    }
}

void frmMain::placeOneCoordinate()
{
    if (!m_oneCoordinate)
        return;
    const int value = *std::exchange(m_oneCoordinate, std::nullopt);
    const QPoint placed = pos();
    move(onSomeScreen(m_placeX ? QPoint(value, placed.y()) : QPoint(placed.x(), value),
                      frameGeometry().size()));
}

// The window's position is worth saving once the window system has placed the window,
// while it is not minimized, and only where the window system tells a window where it
// is: Wayland does not, and there pos() says nothing about the screen.
bool frmMain::positionKnown() const
{
    return m_placed && !m_oneCoordinate && !isMinimized()
           && !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto button = std::find(cmdRemoteNode.begin(), cmdRemoteNode.end(), watched);
        if (button != cmdRemoteNode.end())
            cmdRemoteNode_MouseUp(int(button - cmdRemoteNode.begin()),
                                  static_cast<QMouseEvent *>(event)->button());
    }
    // The window system has placed the window once its content is first exposed.
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        m_placed = true;
        QTimer::singleShot(0, this, &frmMain::placeOneCoordinate);
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmMain::event(QEvent *event)
{
    if (event->type() == QEvent::WinIdChange && windowHandle())
        windowHandle()->installEventFilter(this);
    return QMainWindow::event(event);
}

// The focus rule runs when the panel becomes the program's active window: at start-up,
// or when the Load Button dialog or a message box hands the focus back. Coming back from
// another program (the program had no focus in between, and the panel had it last) and
// closing a menu are not activations.
void frmMain::followFocusWindow(QWindow *now)
{
    if (!now || now->type() == Qt::Popup || now->type() == Qt::ToolTip)
        return;
    const bool activated = now == windowHandle() && m_lastFocusWindow != now;
    m_lastFocusWindow = now;
    if (activated)
        Form_Activate();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}
