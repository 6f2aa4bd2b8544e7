// echolink-node's window in this process, with the node itself (NODE-A, block
// 127.10.8.0/24, its microphone a network sound device of the test) linked to a node
// process B: every control has an accessible name and is reached with Tab; the space bar
// keys the transmitter everywhere but in the chat box, where it is typed; chat goes both
// ways and what arrives is shown as plain text; a far station that talks is marked.
#include "AudioAnalysis.h"
#include "DirectoryProcess.h"
#include "SoundNode.h"
#include "TestEnvironment.h"
#include "node/AsyncQtApplication.h"
#include "node/Node.h"
#include "node/NodeConfig.h"
#include "node/window/NodeWindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>

using namespace AudioAnalysis;

namespace {

const QString Block = loopbackBlock(8);
constexpr int LinkMs = 2000;
constexpr int StartMs = 10000;

QString accessibleName(QWidget *widget)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

}  // namespace

class tst_node_window_parts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void everyControlIsNamedAndReachedWithTab();
    void spaceKeysEverywhereButTheChatBox();
    void chatGoesBothWaysAsPlainText();
    void aTalkingStationIsMarked();

private:
    QString chatShown() const;
    QListWidget *linkList() const
    {
        return m_window->findChild<QListWidget *>(QStringLiteral("linkedStations"));
    }

    AsyncQtApplication m_core;
    DirectoryProcess m_directory;
    SoundNode m_a{QStringLiteral("A"), Block, 1};  // its configuration and sound ports only
    SoundNode m_b{QStringLiteral("B"), Block, 2};
    std::unique_ptr<Node> m_node;
    std::unique_ptr<NodeWindow> m_window;
};

void tst_node_window_parts::initTestCase()
{
    QVERIFY(m_directory.start(Block + QStringLiteral(".3")));
    m_a.node.writeConfig(m_a.config(QStringLiteral("NODE-A")));
    NodeConfigFile file(m_a.node.configPath());
    NodeConfig config;
    QVERIFY2(file.load(config), qPrintable(file.error()));
    m_node = std::make_unique<Node>(config);
    m_node->startAudio(false, file.path());
    QVERIFY(m_node->startNetworking().isEmpty());
    m_b.node.writeConfig(m_b.config(QStringLiteral("NODE-B")));
    QVERIFY(m_b.node.start());
    QVERIFY(m_b.node.waitForStations(2, StartMs));

    m_window = std::make_unique<NodeWindow>(*m_node);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTRY_VERIFY_WITH_TIMEOUT(m_node->connectTo(QStringLiteral("NODE-B")).errorName.isEmpty(), StartMs);
    QVERIFY(m_b.node.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(linkList()->count(), 1, LinkMs);
    QCOMPARE(linkList()->item(0)->text(), QStringLiteral("NODE-B"));
}

void tst_node_window_parts::cleanupTestCase()
{
    m_window.reset();
    m_node.reset();
}

void tst_node_window_parts::everyControlIsNamedAndReachedWithTab()
{
    QSet<QWidget *> controls;
    for (QWidget *widget : m_window->findChildren<QWidget *>())
        if (widget->isVisibleTo(m_window.get())
            && (qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget)
                || qobject_cast<QListWidget *>(widget) || qobject_cast<QPlainTextEdit *>(widget)
                || qobject_cast<QProgressBar *>(widget) || qobject_cast<QTableView *>(widget)
                || qobject_cast<QTabBar *>(widget))) {
            QVERIFY2(!accessibleName(widget).isEmpty(), widget->metaObject()->className());
            if (widget->focusPolicy() & Qt::TabFocus)
                controls.insert(widget);
        }
    // The browser's search box, categories, table and Refresh; the history; Busy;
    // push-to-talk, the list, the chat line, Send, Close.
    QVERIFY(controls.size() >= 11);

    // Tab goes round every control that takes the focus.
    QSet<QWidget *> reached;
    for (int i = 0; i < 2 * controls.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.insert(QApplication::focusWidget());
    }
    QCOMPARE(reached, controls);
}

void tst_node_window_parts::spaceKeysEverywhereButTheChatBox()
{
    auto *list = linkList();
    auto *chatLine = m_window->findChild<QLineEdit *>(QStringLiteral("chatInput"));
    list->setFocus();
    QTest::keyPress(list, Qt::Key_Space);
    QVERIFY(m_node->isTransmitting());
    QTest::keyPress(list, Qt::Key_Space, Qt::NoModifier, -1);  // repeats change nothing
    QTest::qWait(100);
    QVERIFY(m_node->isTransmitting());
    QTest::keyRelease(list, Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(!m_node->isTransmitting(), 1000);

    chatLine->setFocus();
    QTest::keyClicks(chatLine, QStringLiteral("a b"));
    QCOMPARE(chatLine->text(), QStringLiteral("a b"));
    QTest::qWait(200);
    QVERIFY(!m_node->isTransmitting());
    chatLine->clear();

    // Hidden while held: released.
    list->setFocus();
    QTest::keyPress(list, Qt::Key_Space);
    QVERIFY(m_node->isTransmitting());
    m_window->hide();
    QVERIFY(!m_node->isTransmitting());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

QString tst_node_window_parts::chatShown() const
{
    return m_window->findChild<QPlainTextEdit *>(QStringLiteral("chat"))->toPlainText();
}

void tst_node_window_parts::chatGoesBothWaysAsPlainText()
{
    // From B: markup and control characters arrive as plain, cleaned text.
    const QDBusMessage sent =
        m_b.node.call(Automation::StationPath, Automation::StationInterface, Automation::SendChatMethod,
                      {QStringLiteral("<b>bold</b>\a &amp; <img src=x>")});
    QCOMPARE(sent.type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(chatShown(), QStringLiteral("NODE-B: <b>bold</b> &amp; <img src=x>"), LinkMs);

    // A line longer than a chat line holds is refused, on the bus as in the window.
    const QDBusMessage tooLong = m_b.node.call(Automation::StationPath, Automation::StationInterface,
                                               Automation::SendChatMethod, {QString(1000, QLatin1Char('x'))});
    QCOMPARE(tooLong.errorName(), QStringLiteral("org.dialboard.EchoLink.Error.ChatTooLong"));
    auto *chatLine = m_window->findChild<QLineEdit *>(QStringLiteral("chatInput"));
    QCOMPARE(chatLine->maxLength(), Node::MaxChatLength);

    // From the window: typed and sent with Return; B logs it.
    chatLine->setFocus();
    QTest::keyClicks(chatLine, QStringLiteral("hello from A"));
    QTest::keyClick(chatLine, Qt::Key_Return);
    QVERIFY(chatLine->text().isEmpty());
    QVERIFY(m_b.node.waitForOutput(QStringLiteral("chat from NODE-A: NODE-A>hello from A"), LinkMs));
    QVERIFY(chatShown().contains(QStringLiteral("NODE-A: hello from A")));

    // Lines in a quick burst: a burst's worth go (B sent one already), then the node
    // refuses until the rate allows more.
    auto chatFromB = [this](const QString &text) {
        return m_b.node
            .call(Automation::StationPath, Automation::StationInterface, Automation::SendChatMethod, {text})
            .errorName();
    };
    QStringList answers;
    for (int i = 0; i < 14; ++i)
        answers << chatFromB(QStringLiteral("burst %1").arg(i));
    QVERIFY2(answers.count(QString()) <= Node::ChatBurst && answers.count(QString()) >= Node::ChatBurst - 2,
             qPrintable(answers.join(QLatin1Char(','))));
    QCOMPARE(answers.last(), QStringLiteral("org.dialboard.EchoLink.Error.ChatTooFast"));
    QTest::qWait(1000 / Node::ChatLinesPerSecond + 50);
    QCOMPARE(chatFromB(QStringLiteral("after a pause")), QString());
}

void tst_node_window_parts::aTalkingStationIsMarked()
{
    QCOMPARE(m_b.transmit(true).type(), QDBusMessage::ReplyMessage);
    m_b.microphone.send(tone(1000.0, -12.0, 2.0, UdpAudioPort::SampleRate), m_b.address, m_b.microphonePort);
    QTRY_VERIFY_WITH_TIMEOUT(linkList()->item(0)->text().contains(QStringLiteral("talking")), LinkMs);
    QCOMPARE(m_b.transmit(false).type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE_WITH_TIMEOUT(linkList()->item(0)->text(), QStringLiteral("NODE-B"), 3000);
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_window_parts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_window_parts.moc"
