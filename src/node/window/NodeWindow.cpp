#include "node/window/NodeWindow.h"

#include "node/Node.h"
#include "node/window/LinkOutcomes.h"
#include "node/window/PushToTalk.h"
#include "node/window/StationBrowser.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int MeterFloorDbfs = -60;
constexpr int MeterIntervalMs = 100;
const QString TalkingMark = QStringLiteral("  (talking)");

QProgressBar *meter(const QString &name)
{
    auto *bar = new QProgressBar;
    bar->setRange(MeterFloorDbfs, 0);
    bar->setValue(MeterFloorDbfs);
    bar->setFormat(QStringLiteral("%v dBFS"));
    bar->setAccessibleName(name);
    return bar;
}

}  // namespace

NodeWindow::NodeWindow(Node &node, QWidget *parent) : QMainWindow(parent), m_node(node)
{
    setWindowTitle(tr("EchoLink %1").arg(node.callsign()));
    auto *central = new QWidget;
    auto *layout = new QHBoxLayout(central);
    layout->addWidget(buildBrowser(), 3);
    layout->addWidget(buildStation(), 2);
    layout->addWidget(buildChat(), 2);
    setCentralWidget(central);
    // The search box types spaces too.
    m_pushToTalk = new PushToTalk(m_talk, this, m_chatInput);
    m_pushToTalk->exempt(m_browser->searchBox());
    buildMenu();
    setTabOrder(m_browser->lastControl(), m_outcomes->history());
    setTabOrder(m_outcomes->history(), m_busy);
    setTabOrder(m_busy, m_links);
    setTabOrder(m_links, m_talk);
    setTabOrder(m_talk, m_chatInput);
    setTabOrder(m_chatInput, m_send);
    setTabOrder(m_send, m_close);
    // The space bar talks from the start: the window opens with push-to-talk focused.
    m_talk->setFocus();

    connect(m_pushToTalk, &PushToTalk::transmitWanted, this, &NodeWindow::transmit);
    connect(&node, &Node::transmittingChanged, m_pushToTalk, &PushToTalk::showTransmitting);
    connect(&node, &Node::linksChanged, this, &NodeWindow::showLinks);
    connect(&node, &Node::talkingChanged, this, &NodeWindow::showTalking);
    connect(&node, &Node::directoryStatusChanged, m_directory, &QLabel::setText);
    if (m_proxy != nullptr)
        connect(&node, &Node::proxyStatusChanged, m_proxy, &QLabel::setText);
    connect(&node, &Node::stationListChanged, this,
            [this] { m_browser->setStations(m_node.stationList().entries()); });
    connect(m_browser, &StationBrowser::refreshWanted, &node, &Node::refreshStationList);
    connect(m_browser, &StationBrowser::linkWanted, this, [this](const QString &callsign) {
        const Node::Refusal refusal = m_node.connectTo(callsign);
        if (!refusal.errorName.isEmpty())
            m_outcomes->add(tr("%1: not linked: %2").arg(callsign, refusal.message));
    });
    connect(&node, &Node::linkStateChanged, this, [this](const QString &call, const QString &state) {
        m_outcomes->add(LinkOutcomes::stateText(call, state));
    });
    connect(&node, &Node::linkFailed, this,
            [this](const QString &call, const QString &reason, const QString &text) {
                m_outcomes->add(LinkOutcomes::failureText(call, reason, text, m_node.noAnswerSeconds()));
            });
    connect(&node, &Node::linkInfoChanged, this, &NodeWindow::showInfo);
    connect(m_links, &QListWidget::currentItemChanged, this, &NodeWindow::showInfo);
    connect(m_busy, &QCheckBox::toggled, &node, &Node::setBusy);
    connect(&node, &Node::chatReceived, this, [this](const QString &callsign, const QString &text) {
        addChatLine(callsign + QStringLiteral(": ") + text);
    });
    m_meterTimer.setInterval(MeterIntervalMs);
    connect(&m_meterTimer, &QTimer::timeout, this, &NodeWindow::readMeters);
    showLinks(node.links());
    m_browser->setStations(node.stationList().entries());
    resize(1200, 640);
}

QWidget *NodeWindow::buildBrowser()
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    m_browser = new StationBrowser;
    layout->addWidget(m_browser, 3);
    m_outcomes = new LinkOutcomes;
    layout->addWidget(m_outcomes, 1);
    return box;
}

QWidget *NodeWindow::buildStation()
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    auto *identity = new QFormLayout;
    auto *callsign = new QLabel(m_node.callsign());
    callsign->setAccessibleName(tr("Callsign"));
    callsign->setTextInteractionFlags(Qt::TextSelectableByMouse);
    identity->addRow(tr("Callsign:"), callsign);
    m_directory = new QLabel(m_node.directoryStatus());
    m_directory->setAccessibleName(tr("Directory status"));
    m_directory->setWordWrap(true);
    identity->addRow(tr("Directory:"), m_directory);
    // Shown only for a station behind an EchoLink proxy.
    if (!m_node.proxyStatus().isEmpty()) {
        m_proxy = new QLabel(m_node.proxyStatus());
        m_proxy->setAccessibleName(tr("Proxy status"));
        m_proxy->setWordWrap(true);
        identity->addRow(tr("Proxy:"), m_proxy);
    }
    layout->addLayout(identity);
    m_busy = new QCheckBox(tr("&Busy: refuse callers"));
    m_busy->setAccessibleName(tr("Busy"));
    m_busy->setAccessibleDescription(tr("Listed as busy; stations that call are told so and refused"));
    layout->addWidget(m_busy);

    auto *linksLabel = new QLabel(tr("&Linked stations:"));
    m_links = new QListWidget;
    m_links->setObjectName(QStringLiteral("linkedStations"));
    m_links->setAccessibleName(tr("Linked stations"));
    m_links->setAccessibleDescription(tr("Delete drops the chosen station"));
    linksLabel->setBuddy(m_links);
    auto *drop = new QAction(tr("&Drop"), m_links);
    drop->setShortcut(QKeySequence::Delete);
    drop->setShortcutContext(Qt::WidgetShortcut);
    connect(drop, &QAction::triggered, this, &NodeWindow::dropChosen);
    m_links->addAction(drop);
    m_links->setContextMenuPolicy(Qt::ActionsContextMenu);
    layout->addWidget(linksLabel);
    layout->addWidget(m_links, 1);
    // Plain text only, as the chat.
    m_info = new QPlainTextEdit;
    m_info->setObjectName(QStringLiteral("stationInfo"));
    m_info->setReadOnly(true);
    m_info->setAccessibleName(tr("Information from the chosen station"));
    m_info->setPlaceholderText(tr("Information from the chosen station"));
    m_info->setFocusPolicy(Qt::ClickFocus);
    m_info->setMaximumHeight(m_info->fontMetrics().height() * 6);
    layout->addWidget(m_info);

    m_talk = new QPushButton;
    m_talk->setAccessibleName(tr("Push to talk"));
    m_talk->setAccessibleDescription(tr("Hold to transmit; the space bar does the same"));
    m_talk->setMinimumHeight(90);
    QFont big = m_talk->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    m_talk->setFont(big);
    layout->addWidget(m_talk);
    m_problem = new QLabel;
    m_problem->setAccessibleName(tr("Push-to-talk problem"));
    m_problem->setWordWrap(true);
    layout->addWidget(m_problem);

    auto *meters = new QFormLayout;
    m_receiveLevel = meter(tr("Receive level"));
    m_transmitLevel = meter(tr("Transmit level"));
    meters->addRow(tr("Receive:"), m_receiveLevel);
    meters->addRow(tr("Transmit:"), m_transmitLevel);
    layout->addLayout(meters);

    m_close = new QPushButton(tr("&Close EchoLink"));
    m_close->setAccessibleName(tr("Close EchoLink"));
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(m_close);
    return box;
}

QWidget *NodeWindow::buildChat()
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(new QLabel(tr("Chat:")));
    // Plain text only: what far stations send is never read as markup.
    m_chat = new QPlainTextEdit;
    m_chat->setObjectName(QStringLiteral("chat"));
    m_chat->setReadOnly(true);
    m_chat->setMaximumBlockCount(ChatLines);
    m_chat->setAccessibleName(tr("Chat"));
    m_chat->setFocusPolicy(Qt::ClickFocus);
    layout->addWidget(m_chat, 1);
    auto *line = new QHBoxLayout;
    m_chatInput = new QLineEdit;
    m_chatInput->setObjectName(QStringLiteral("chatInput"));
    m_chatInput->setMaxLength(Node::MaxChatLength);
    m_chatInput->setAccessibleName(tr("Chat message"));
    m_chatInput->setPlaceholderText(tr("Message to the linked stations"));
    m_send = new QPushButton(tr("Sen&d"));
    m_send->setAccessibleName(tr("Send chat message"));
    connect(m_chatInput, &QLineEdit::returnPressed, this, &NodeWindow::sendChat);
    connect(m_send, &QPushButton::clicked, this, &NodeWindow::sendChat);
    line->addWidget(m_chatInput, 1);
    line->addWidget(m_send);
    layout->addLayout(line);
    return box;
}

void NodeWindow::buildMenu()
{
    QMenu *station = menuBar()->addMenu(tr("&Station"));
    QAction *toggle = station->addAction(tr("&Toggle push-to-talk"));
    toggle->setCheckable(true);
    connect(toggle, &QAction::toggled, m_pushToTalk, &PushToTalk::setToggleMode);
    station->addSeparator();
    QAction *close = station->addAction(tr("&Close EchoLink"));
    close->setShortcut(QKeySequence::Quit);
    connect(close, &QAction::triggered, this, &QWidget::close);
}

void NodeWindow::showLinks(const QStringList &links)
{
    m_linked = links;
    m_talking.intersect(QSet<QString>(links.begin(), links.end()));
    const QString current =
        m_links->currentItem() ? m_links->currentItem()->data(Qt::UserRole).toString() : QString();
    m_links->clear();
    for (const QString &callsign : links) {
        auto *item = new QListWidgetItem(callsign + (m_talking.contains(callsign) ? TalkingMark : QString()));
        item->setData(Qt::UserRole, callsign);
        m_links->addItem(item);
        if (callsign == current)
            m_links->setCurrentItem(item);
    }
}

void NodeWindow::showTalking(const QString &callsign, bool talking)
{
    if (talking)
        m_talking.insert(callsign);
    else
        m_talking.remove(callsign);
    showLinks(m_linked);
}

void NodeWindow::showInfo()
{
    const QListWidgetItem *item = m_links->currentItem();
    const QString text = item != nullptr ? m_node.linkInfo(item->data(Qt::UserRole).toString()) : QString();
    if (m_info->toPlainText() != text)
        m_info->setPlainText(text);
}

void NodeWindow::dropChosen()
{
    if (const QListWidgetItem *item = m_links->currentItem())
        m_node.disconnect(item->data(Qt::UserRole).toString());
}

void NodeWindow::transmit(bool on)
{
    const Node::Refusal refusal = m_node.transmit(on);
    m_problem->setText(refusal.message);
}

void NodeWindow::sendChat()
{
    const QString text = m_chatInput->text();
    const Node::Refusal refusal = m_node.sendChat(text);
    if (!refusal.errorName.isEmpty()) {
        addChatLine(tr("(not sent: %1)").arg(refusal.message));
        return;
    }
    addChatLine(m_node.callsign() + QStringLiteral(": ") + text.simplified());
    m_chatInput->clear();
}

void NodeWindow::addChatLine(const QString &line)
{
    m_chat->appendPlainText(line);
}

void NodeWindow::readMeters()
{
    const auto show = [](QProgressBar *bar, const LevelMeter::Levels &levels) {
        bar->setValue(std::clamp(int(std::lround(levels.peakDbfs)), MeterFloorDbfs, 0));
    };
    show(m_receiveLevel, m_node.takeReceiveLevels());
    show(m_transmitLevel, m_node.takeTransmitLevels());
}

void NodeWindow::closeEvent(QCloseEvent *event)
{
    // The node ends the program once it has logged off and said Closing.
    event->ignore();
    m_pushToTalk->release();
    hide();
    m_node.quit();
}

void NodeWindow::showEvent(QShowEvent *event)
{
    m_meterTimer.start();
    QMainWindow::showEvent(event);
}

void NodeWindow::hideEvent(QHideEvent *event)
{
    m_meterTimer.stop();
    QMainWindow::hideEvent(event);
}
