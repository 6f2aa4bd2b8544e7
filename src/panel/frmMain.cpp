// The window's design: frame, size, the button grid, focus holder, tab order, fonts, the
// Options menu and the two timers.
#include "panel/frmMain.h"

#include "panel/Twips.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <limits>
#include <stdexcept>

using Module1::NodeButtonCount;

namespace {

// Design values, in twips.
constexpr int ClientWidth = 2970;
constexpr int FrameAndMenuHeight = 645;  // taken, not measured: the rest is button area
constexpr int ButtonWidth = 1485;
constexpr int ButtonHeight = 300;
constexpr int RightColumnLeft = 1500;
constexpr int Rows = NodeButtonCount / 2;

// The design grid: row r holds button r on the left and button 39 - r on the right.
QRect buttonRect(int index)
{
    const bool left = index < Rows;
    const int row = left ? index : NodeButtonCount - 1 - index;
    return Twips::toPixels(left ? 0 : RightColumnLeft, ButtonHeight * row, ButtonWidth, ButtonHeight);
}

// A twips position the window can take, or an exception like a refused property value.
int positionPixels(double twips)
{
    const double pixels = std::round(twips / Twips::perPixel());
    if (!std::isfinite(pixels) || std::abs(pixels) > std::numeric_limits<int>::max() / 2)
        throw std::out_of_range("window position out of range");
    return static_cast<int>(pixels);
}

}  // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                              | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Dialboard"));
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
}

frmMain::~frmMain() = default;

void frmMain::buildButtons(QWidget *area)
{
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(6.75);
    font.setWeight(QFont::Normal);
    font.setItalic(false);

    for (int i = 0; i < NodeButtonCount; ++i) {
        auto *button = new QPushButton(area);
        button->setObjectName(QStringLiteral("cmdRemoteNode%1").arg(i));
        button->setGeometry(buttonRect(i));
        button->setFont(font);
        button->setAutoDefault(false);
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this, [this, i] { cmdRemoteNode_Click(i); });
        cmdRemoteNode[i] = button;
    }

    // Below the last row and without height: never seen, but it can hold the focus.
    Dummy = new QWidget(area);
    Dummy->setObjectName(QStringLiteral("Dummy"));
    Dummy->setGeometry(Twips::toPixels(600), Twips::toPixels(6120), Twips::toPixels(15), 0);
    Dummy->setFocusPolicy(Qt::StrongFocus);

    // Dummy first, then the left column bottom-up, then the right column bottom-up.
    QWidget *previous = Dummy;
    for (int i = Rows - 1; i >= 0; --i)
        setTabOrder(std::exchange(previous, cmdRemoteNode[i]), cmdRemoteNode[i]);
    for (int i = Rows; i < NodeButtonCount; ++i)
        setTabOrder(std::exchange(previous, cmdRemoteNode[i]), cmdRemoteNode[i]);
}

void frmMain::buildMenu()
{
    mnuOptions = menuBar()->addMenu(QStringLiteral("Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));

    // The handlers set the check marks themselves, from the state before the click, so
    // the mark Qt toggles on a click is put back before the handler runs.
    const auto addItem = [this](const QString &name, const QString &text, bool checked,
                                void (frmMain::*handler)()) {
        QAction *item = mnuOptions->addAction(text);
        item->setObjectName(name);
        item->setCheckable(true);
        item->setChecked(checked);
        connect(item, &QAction::triggered, this, [this, item, handler] {
            item->setChecked(!item->isChecked());
            (this->*handler)();
        });
        return item;
    };
    mnuViewLarge = addItem(QStringLiteral("mnuViewLarge"), QStringLiteral("View Large"), false,
                           &frmMain::mnuViewLarge_Click);
    mnuViewSmall = addItem(QStringLiteral("mnuViewSmall"), QStringLiteral("View Small"), true,
                           &frmMain::mnuViewSmall_Click);
    mnu1 = mnuOptions->addSeparator();
    mnu1->setObjectName(QStringLiteral("mnu1"));
    mnuOnTop = addItem(QStringLiteral("mnuOnTop"), QStringLiteral("Always On Top"), false,
                       &frmMain::mnuOnTop_Click);
}

QString frmMain::caption(int index) const
{
    return cmdRemoteNode[index]->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
}

void frmMain::setCaption(int index, const QString &text)
{
    QString shown = text;
    cmdRemoteNode[index]->setText(shown.replace(QLatin1Char('&'), QStringLiteral("&&")));
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

void frmMain::setTop(double twips)
{
    move(pos().x(), positionPixels(twips));
}

void frmMain::setLeft(double twips)
{
    move(positionPixels(twips), pos().y());
}

void frmMain::setHeight(int twips)
{
    const int area = Twips::toPixels(std::max(0, twips - FrameAndMenuHeight));
    centralWidget()->setFixedSize(Twips::toPixels(ClientWidth), area);
    setFixedSize(Twips::toPixels(ClientWidth), menuBar()->sizeHint().height() + area);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        for (int i = 0; i < NodeButtonCount; ++i) {
            if (watched != cmdRemoteNode[i])
                continue;
            const auto *mouse = static_cast<QMouseEvent *>(event);
            cmdRemoteNode_MouseUp(i, mouse->button(), mouse->modifiers(),
                                  Twips::fromPixels(qRound(mouse->position().x())),
                                  Twips::fromPixels(qRound(mouse->position().y())));
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
