// Node buttons read from outside through AT-SPI, as a screen reader reads them: the
// accessibility bus from at-spi2-core on the test's private session bus, the tree walked
// over D-Bus. The buttons sit in a window laid out like the panel's small view: three rows
// shown, the rest clipped away below.
#include "Atspi.h"
#include "TestEnvironment.h"
#include "panel/NodeButton.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTest>
#include <memory>

namespace {

constexpr int ButtonWidth = 99;
constexpr int ButtonHeight = 20;

}  // namespace

class tst_atspi : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void buttonsAreNamedByCallOrAsEmpty();
    void linkStateIsDescribedAndChecked();
    void failedTryIsDescribedAndHeard();
    void clippedRowsAreNotShowing();

private:
    NodeButton *button(int index) const;
    // The tree's push buttons by accessible name, read afresh.
    QMap<QString, Atspi::Node> pushButtons() const;

    Atspi::Bus m_bus;
    std::unique_ptr<Atspi::Reader> m_reader;
    std::unique_ptr<QWidget> m_window;
    QList<NodeButton *> m_buttons;
    Atspi::Node m_application;
};

void tst_atspi::initTestCase()
{
    if (!Atspi::Bus::installed())
        QSKIP("needs at-spi2-core (scripts/deps.sh --tests)");
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display: Qt offers its accessibility tree on xcb and Wayland only");
    QVERIFY2(m_bus.start(), qPrintable(m_bus.whyNot()));
    m_reader = std::make_unique<Atspi::Reader>(m_bus.address());

    // Rows 0-2 of the left column and the top of the right one; row 5 lies below the
    // 60-pixel button area of the small view.
    m_window = std::make_unique<QWidget>();
    m_window->setWindowTitle(QStringLiteral("Node buttons"));
    m_window->setFixedSize(2 * ButtonWidth, 3 * ButtonHeight);
    for (const int index : {0, 1, 2, 39, 38, 5}) {
        auto *b = new NodeButton(index, m_window.get());
        const bool left = index < 20;
        const int row = left ? index : 39 - index;
        b->setGeometry(left ? 0 : ButtonWidth + 1, row * ButtonHeight, ButtonWidth, ButtonHeight);
        m_buttons << b;
    }
    button(0)->setCall(QStringLiteral("W1AW"));
    button(39)->setCall(QStringLiteral("*ECHOTEST*"));
    button(39)->setLinked(true);
    button(5)->setCall(QStringLiteral("K1ABC"));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    QVERIFY2(
        QTest::qWaitFor(
            [this] {
                return !(m_application = m_reader->application(QCoreApplication::applicationPid())).isNull();
            },
            10000),
        "the test's application never appeared on the accessibility bus");
}

void tst_atspi::cleanupTestCase()
{
    m_window.reset();
    m_reader.reset();
    m_bus.stop();
}

NodeButton *tst_atspi::button(int index) const
{
    for (NodeButton *b : m_buttons) {
        if (b->index() == index)
            return b;
    }
    return nullptr;
}

QMap<QString, Atspi::Node> tst_atspi::pushButtons() const
{
    QMap<QString, Atspi::Node> byName;
    for (const Atspi::Node &node : m_reader->withRole(m_application, QStringLiteral("push button")))
        byName.insert(m_reader->name(node), node);
    return byName;
}

void tst_atspi::buttonsAreNamedByCallOrAsEmpty()
{
    const QMap<QString, Atspi::Node> buttons = pushButtons();
    QCOMPARE(buttons.keys(), (QStringList{QStringLiteral("*ECHOTEST*"), QStringLiteral("Empty button 2"),
                                          QStringLiteral("Empty button 3"), QStringLiteral("Empty button 39"),
                                          QStringLiteral("K1ABC"), QStringLiteral("W1AW")}));

    // A call set later is read under its new name.
    button(1)->setCall(QStringLiteral("N0CALL"));
    QTRY_VERIFY(pushButtons().contains(QStringLiteral("N0CALL")));
    QVERIFY(!pushButtons().contains(QStringLiteral("Empty button 2")));
    button(1)->setCall(QString());
}

void tst_atspi::linkStateIsDescribedAndChecked()
{
    QMap<QString, Atspi::Node> buttons = pushButtons();
    const Atspi::Node linked = buttons.value(QStringLiteral("*ECHOTEST*"));
    const Atspi::Node unlinked = buttons.value(QStringLiteral("W1AW"));
    QCOMPARE(m_reader->description(linked), QStringLiteral("linked"));
    QVERIFY(m_reader->hasState(linked, Atspi::Checked));
    QCOMPARE(m_reader->description(unlinked), QStringLiteral("not linked"));
    QVERIFY(!m_reader->hasState(unlinked, Atspi::Checked));
    QVERIFY(m_reader->hasState(unlinked, Atspi::Enabled));

    // The far end links W1AW and the refresh marks it: a reader listening hears it, and
    // sees it checked.
    Atspi::EventLog heard;
    QVERIFY(m_reader->listen(
        {QStringLiteral("object:state-changed"), QStringLiteral("object:property-change")}, &heard));
    QTest::qWait(200);  // the application learns that someone listens
    button(0)->setLinked(true);
    QTRY_VERIFY(heard.has(unlinked.path, QStringLiteral("StateChanged"), QStringLiteral("checked"), 1));
    QTRY_VERIFY(heard.has(unlinked.path, QStringLiteral("PropertyChange"),
                          QStringLiteral("accessible-description"), 0));
    QVERIFY(m_reader->hasState(unlinked, Atspi::Checked));
    QCOMPARE(m_reader->description(unlinked), QStringLiteral("linked"));
    QCOMPARE(m_reader->name(unlinked), QStringLiteral("W1AW"));  // never "*W1AW"
    button(0)->setLinked(false);
    QTRY_VERIFY(heard.has(unlinked.path, QStringLiteral("StateChanged"), QStringLiteral("checked"), 0));
    QVERIFY(!m_reader->hasState(unlinked, Atspi::Checked));
}

// A failed try to link is read in the description, and a reader listening hears it when
// it happens and when it is over.
void tst_atspi::failedTryIsDescribedAndHeard()
{
    const Atspi::Node node = pushButtons().value(QStringLiteral("W1AW"));
    Atspi::EventLog heard;
    QVERIFY(m_reader->listen({QStringLiteral("object:property-change")}, &heard));
    QTest::qWait(200);  // the application learns that someone listens
    button(0)->setLastTry(QStringLiteral("no answer"));
    QTRY_VERIFY(
        heard.has(node.path, QStringLiteral("PropertyChange"), QStringLiteral("accessible-description"), 0));
    QCOMPARE(m_reader->description(node), QStringLiteral("not linked. Last try: no answer"));
    QCOMPARE(m_reader->name(node), QStringLiteral("W1AW"));
    heard.events.clear();
    button(0)->setLastTry(QString());
    QTRY_VERIFY(
        heard.has(node.path, QStringLiteral("PropertyChange"), QStringLiteral("accessible-description"), 0));
    QCOMPARE(m_reader->description(node), QStringLiteral("not linked"));
}

void tst_atspi::clippedRowsAreNotShowing()
{
    const QMap<QString, Atspi::Node> buttons = pushButtons();
    const Atspi::Node shown = buttons.value(QStringLiteral("Empty button 3"));
    const Atspi::Node clipped = buttons.value(QStringLiteral("K1ABC"));
    QVERIFY(m_reader->hasState(shown, Atspi::Showing));
    QVERIFY(m_reader->hasState(shown, Atspi::Focusable));
    QVERIFY(!m_reader->hasState(clipped, Atspi::Showing));
    QVERIFY(!m_reader->hasState(clipped, Atspi::Focusable));

    // The large view shows every row.
    m_window->setFixedSize(2 * ButtonWidth, 20 * ButtonHeight);
    QTRY_VERIFY(m_reader->hasState(clipped, Atspi::Showing));
    m_window->setFixedSize(2 * ButtonWidth, 3 * ButtonHeight);
    QTRY_VERIFY(!m_reader->hasState(clipped, Atspi::Showing));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::WindowManager);
    // As when a screen reader is running: Qt offers its tree on the accessibility bus.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication app(argc, argv);
    tst_atspi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_atspi.moc"
