// echolink-node's station browser and link outcomes, in this process (node NODE-A on its
// own bus name, block 127.10.65.0/24) with its window: the directory stand-in lists real
// and made-up stations; node process B, and raw stations that refuse, say goodbye just
// after answering, never answer or call in, are the far ends. The browser narrows the list
// as the user types and links the chosen station with Enter; Delete drops a linked
// station; every way a link fails reaches the window's status line and history and the
// bus's LinkFailed, named by the exact text Connect was given; Busy is listed and refuses
// callers.
#include "DirectoryProcess.h"
#include "NodeProcess.h"
#include "RawStation.h"
#include "TestEnvironment.h"
#include "automation/AutomationContract.h"
#include "node/Node.h"
#include "node/NodeBus.h"
#include "node/NodeConfig.h"
#include "automation/StationListEntry.h"
#include "node/protocol/AudioPacket.h"
#include "node/protocol/ControlPacket.h"
#include "node/window/NodeWindow.h"
#include "node/window/StationTableModel.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableView>
#include <QTest>

namespace {

const QString Block = loopbackBlock(65);
constexpr int LinkMs = 3000;
constexpr int StartMs = 10000;

QString at(int host)
{
    return QStringLiteral("%1.%2").arg(Block).arg(host);
}

// The directory's made-up stations: nothing answers at their addresses.
const QStringList Listed = {
    QStringLiteral("W1AW,1001,%1,Newington CT").arg(at(20)),
    QStringLiteral("W1ABC-L,1002,%1,Boston MA").arg(at(21)),
    QStringLiteral("K1XYZ-R,1003,%1,Hartford CT").arg(at(22)),
    QStringLiteral("*TESTCONF*,1004,%1,Room W1 chat").arg(at(23)),
    QStringLiteral("N0BUSY,1005,%1,Omaha NE,BUSY").arg(at(24)),
    QStringLiteral("REFUSER,5005,%1,Refuses").arg(at(5)),
    QStringLiteral("QUICKBYE,5006,%1,Leaves").arg(at(6)),
    QStringLiteral("SILENT,5007,%1,Never answers").arg(at(7)),
    QStringLiteral("CALLER,5008,%1,Calls in").arg(at(8)),
};
const int StationCount = int(Listed.size()) + 2;  // and the two nodes

}  // namespace

// Records the node's link signals as they come over the bus.
class BusWatch : public QObject
{
    Q_OBJECT

public:
    QStringList seen;  // "state CALL linked", "failed CALL reason text"

    bool waitFor(const QString &line, int timeoutMs)
    {
        return QTest::qWaitFor([&] { return seen.contains(line); }, timeoutMs);
    }

public Q_SLOTS:
    void stateChanged(const QString &call, const QString &state)
    {
        seen << QStringLiteral("state %1 %2").arg(call, state);
    }
    void failed(const QString &call, const QString &reason, const QString &text)
    {
        seen << QStringLiteral("failed %1 %2 %3").arg(call, reason, text).trimmed();
    }
};

class tst_node_browser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void browserNarrowsAsTheUserTypes();
    void stationsOnTheBus();
    void enterLinksTheChosenStationAndDeleteDropsIt();
    void everyFailureReachesTheWindowAndTheBus();
    void busyIsListedAndCallersAreRefused();

private:
    QStringList shownCalls() const;
    void search(const QString &text);
    QString status() const { return m_window->findChild<QLabel *>(QStringLiteral("linkStatus"))->text(); }
    bool historyHas(const QString &text) const;
    QDBusPendingCall connectOnBus(const QString &call);
    QTableView *table() const { return m_window->findChild<QTableView *>(QStringLiteral("stationTable")); }
    QLineEdit *searchBox() const { return m_window->findChild<QLineEdit *>(QStringLiteral("stationSearch")); }

    DirectoryProcess m_directory;
    NodeProcess m_a{QStringLiteral("A"), Block, 1};  // its configuration only: it runs here
    NodeProcess m_b{QStringLiteral("B"), Block, 2};
    std::unique_ptr<Node> m_node;
    std::unique_ptr<NodeBus> m_bus;
    std::unique_ptr<NodeWindow> m_window;
    QDBusConnection m_watcher{QString()};
    BusWatch m_watch;
};

void tst_node_browser::initTestCase()
{
    QStringList arguments;
    for (const QString &entry : Listed)
        arguments << QStringLiteral("--listed") << entry;
    QVERIFY(m_directory.start(at(3), arguments));
    QMap<QString, QString> config = m_a.standardConfig(QStringLiteral("NODE-A"));
    config.insert(QStringLiteral("Timing/KeepAliveMs"), QStringLiteral("200"));  // no answer after 1 s
    m_a.writeConfig(config);
    NodeConfigFile file(m_a.configPath());
    NodeConfig loaded;
    QVERIFY2(file.load(loaded), qPrintable(file.error()));
    m_node = std::make_unique<Node>(loaded);
    m_bus = std::make_unique<NodeBus>(*m_node, QDBusConnection::sessionBus());
    m_node->setBus(m_bus.get());
    QVERIFY(m_bus->registerObjects());
    QVERIFY(m_bus->ownName().isEmpty());
    m_node->startAudio(true, file.path());
    QVERIFY(m_node->startNetworking().isEmpty());
    m_b.writeConfig(m_b.standardConfig(QStringLiteral("NODE-B")));
    QVERIFY(m_b.start());
    QVERIFY(m_b.waitForStations(StationCount, StartMs));

    m_watcher = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
    for (const auto &[name, slot] :
         {std::pair{Automation::LinkStateChangedSignal, SLOT(stateChanged(QString, QString))},
          std::pair{Automation::LinkFailedSignal, SLOT(failed(QString, QString, QString))}})
        QVERIFY(m_watcher.connect(
            QLatin1String(Automation::ServiceName), QLatin1String(Automation::StationPath),
            QLatin1String(Automation::StationInterface), QLatin1String(name), &m_watch, slot));

    m_window = std::make_unique<NodeWindow>(*m_node);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTRY_COMPARE_WITH_TIMEOUT(table()->model()->rowCount(), StationCount, StartMs);
}

void tst_node_browser::cleanupTestCase()
{
    m_window.reset();
    m_bus.reset();
    m_node.reset();
}

QStringList tst_node_browser::shownCalls() const
{
    const QAbstractItemModel *model = table()->model();
    QStringList calls;
    for (int row = 0; row < model->rowCount(); ++row)
        calls << model->index(row, StationTableModel::CallColumn).data().toString();
    return calls;
}

// Typed as a user types it, after clearing the box.
void tst_node_browser::search(const QString &text)
{
    QLineEdit *box = searchBox();
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

bool tst_node_browser::historyHas(const QString &text) const
{
    const auto *history = m_window->findChild<QListWidget *>(QStringLiteral("linkHistory"));
    for (int row = 0; row < history->count(); ++row)
        if (history->item(row)->text().endsWith(QStringLiteral("  ") + text))
            return true;
    return false;
}

QDBusPendingCall tst_node_browser::connectOnBus(const QString &call)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1String(Automation::ServiceName), QLatin1String(Automation::ApplicationPath),
        QLatin1String(Automation::ApplicationInterface), QLatin1String(Automation::ConnectMethod));
    message << call << 0;
    return m_watcher.asyncCall(message);
}

void tst_node_browser::browserNarrowsAsTheUserTypes()
{
    // Call, location (a conference in "Room W1") and node number all count, in any case.
    search(QStringLiteral("w1"));
    QCOMPARE(shownCalls(),
             (QStringList{QStringLiteral("*TESTCONF*"), QStringLiteral("W1ABC-L"), QStringLiteral("W1AW")}));
    search(QStringLiteral("*"));
    QCOMPARE(shownCalls(), QStringList{QStringLiteral("*TESTCONF*")});
    search(QStringLiteral("5005"));
    QCOMPARE(shownCalls(), QStringList{QStringLiteral("REFUSER")});
    QVERIFY(m_window->findChild<QLabel *>(QStringLiteral("stationCount"))
                ->text()
                .startsWith(QStringLiteral("1 of ")));

    // The categories, with an empty search box: all, then repeaters, then conferences.
    search(QString());
    auto *categories = m_window->findChild<QTabBar *>(QStringLiteral("stationCategories"));
    QCOMPARE(shownCalls().size(), StationCount);
    categories->setFocus();
    QTest::keyClick(categories, Qt::Key_Right);  // stations
    QVERIFY(!shownCalls().contains(QStringLiteral("W1ABC-L")));
    QVERIFY(shownCalls().contains(QStringLiteral("W1AW")));
    QTest::keyClick(categories, Qt::Key_Right);
    QCOMPARE(shownCalls(), QStringList{QStringLiteral("W1ABC-L")});
    QTest::keyClick(categories, Qt::Key_Right);
    QCOMPARE(shownCalls(), QStringList{QStringLiteral("K1XYZ-R")});
    QTest::keyClick(categories, Qt::Key_Right);
    QCOMPARE(shownCalls(), QStringList{QStringLiteral("*TESTCONF*")});
    categories->setCurrentIndex(0);

    // Sorted by node number, highest first, by a click on its header.
    QTableView *view = table();
    view->sortByColumn(StationTableModel::NodeColumn, Qt::DescendingOrder);
    QCOMPARE(view->model()->index(0, StationTableModel::NodeColumn).data().toInt(), 100002);
    QCOMPARE(shownCalls().indexOf(QStringLiteral("CALLER")) + 1,
             shownCalls().indexOf(QStringLiteral("SILENT")));
    view->sortByColumn(StationTableModel::CallColumn, Qt::AscendingOrder);

    // A screen reader reads a row as call, location and status, from any of its cells.
    search(QStringLiteral("N0BUSY"));
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(view);
    QVERIFY(accessible != nullptr && accessible->tableInterface() != nullptr);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Stations"));
    QAccessibleInterface *cell = accessible->tableInterface()->cellAt(0, StationTableModel::NodeColumn);
    QVERIFY(cell != nullptr);
    QCOMPARE(cell->text(QAccessible::Description), QStringLiteral("N0BUSY, Omaha NE, busy"));
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("1005"));
    QCOMPARE(view->model()->headerData(0, Qt::Vertical, Qt::AccessibleTextRole).toString(),
             QStringLiteral("N0BUSY, Omaha NE, busy"));
    search(QString());
}

void tst_node_browser::stationsOnTheBus()
{
    QDBusPendingCall pending = m_watcher.asyncCall(QDBusMessage::createMethodCall(
        QLatin1String(Automation::ServiceName), QLatin1String(Automation::StationPath),
        QLatin1String(Automation::StationInterface), QLatin1String(Automation::StationsMethod)));
    QTRY_VERIFY_WITH_TIMEOUT(pending.isFinished(), 2000);
    const QDBusMessage reply = pending.reply();
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.signature(), QStringLiteral("a(ssus)"));
    const StationListEntries records = readStationList(reply.arguments().value(0));
    QCOMPARE(records.size(), StationCount);
    QStringList rows;
    for (const StationListEntry &record : records)
        rows << QStringLiteral("%1|%2|%3|%4")
                    .arg(record.call, record.location)
                    .arg(record.node)
                    .arg(record.status);
    QVERIFY2(rows.contains(QStringLiteral("N0BUSY|Omaha NE|1005|BUSY")),
             qPrintable(rows.join(QLatin1Char(' '))));
    QVERIFY(rows.contains(QStringLiteral("*TESTCONF*|Room W1 chat|1004|ON")));
    QVERIFY(rows.contains(QStringLiteral("NODE-B|Newington, CT|100002|ON")));
}

void tst_node_browser::enterLinksTheChosenStationAndDeleteDropsIt()
{
    m_watch.seen.clear();
    // Typed, Down to the table, Enter: the far node sees the link.
    search(QStringLiteral("node-b"));
    QTest::keyClick(searchBox(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), table());
    QTest::keyClick(table(), Qt::Key_Return);
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    QVERIFY(m_watch.waitFor(QStringLiteral("state NODE-B linked"), LinkMs));
    QCOMPARE(m_watch.seen.first(), QStringLiteral("state NODE-B linking"));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("linked with NODE-B"), LinkMs);
    QVERIFY(historyHas(QStringLiteral("linking with NODE-B")));
    auto *statusLabel = m_window->findChild<QLabel *>(QStringLiteral("linkStatus"));
    QCOMPARE(QAccessible::queryAccessibleInterface(statusLabel)->text(QAccessible::Name),
             QStringLiteral("Link status: linked with NODE-B"));

    // Chosen among the linked stations, it shows the information text it sent.
    auto *links = m_window->findChild<QListWidget *>(QStringLiteral("linkedStations"));
    QTRY_COMPARE_WITH_TIMEOUT(links->count(), 1, LinkMs);
    links->setFocus();
    links->setCurrentRow(0);
    auto *info = m_window->findChild<QPlainTextEdit *>(QStringLiteral("stationInfo"));
    // B lists who is linked with it after its own description.
    QTRY_COMPARE_WITH_TIMEOUT(info->toPlainText(), QStringLiteral("B\nNewington, CT\nNODE-A"), LinkMs);

    // Delete drops it: the far node sees it go, and nothing failed.
    QTest::keyClick(links, Qt::Key_Delete);
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), false, LinkMs));
    QVERIFY(m_watch.waitFor(QStringLiteral("state NODE-B unlinked"), LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("unlinked from NODE-B"), LinkMs);
    QCOMPARE(links->count(), 0);
    QVERIFY(info->toPlainText().isEmpty());
    QTest::qWait(300);
    QVERIFY(!m_watch.seen.join(QLatin1Char('\n')).contains(QStringLiteral("failed")));
}

void tst_node_browser::everyFailureReachesTheWindowAndTheBus()
{
    m_watch.seen.clear();
    // Not in the list, even a fresh one.
    connectOnBus(QStringLiteral("nobody-here"));
    QVERIFY(m_watch.waitFor(QStringLiteral("failed nobody-here not-found"), StartMs));
    QTRY_VERIFY_WITH_TIMEOUT(historyHas(QStringLiteral("nobody-here: no such station")), 1000);
    // A call longer than any station's name is not even looked up.
    const QString endless(300, QLatin1Char('x'));
    QDBusPendingCall tooLong = connectOnBus(endless);
    QTRY_VERIFY_WITH_TIMEOUT(tooLong.isFinished(), 2000);
    QCOMPARE(tooLong.error().name(), QLatin1String(Automation::NoSuchStationError));
    QVERIFY(m_watch.waitFor(QStringLiteral("failed %1 not-found").arg(endless), 1000));

    // Nobody answers at its address: given up after the call's tries (1 s here). Linked
    // with a double click on its row, so named by its callsign.
    RawStation silent(at(7));
    QVERIFY(silent.bound());
    search(QStringLiteral("never"));
    QCOMPARE(shownCalls(), QStringList{QStringLiteral("SILENT")});
    QTableView *view = table();
    const QPoint row = view->visualRect(view->model()->index(0, StationTableModel::LocationColumn)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    QVERIFY(m_watch.waitFor(QStringLiteral("failed SILENT no-answer"), LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("SILENT: no answer after 1 s"), 1000);
    QVERIFY(!silent.control().isEmpty());  // it was called
    search(QString());

    // Refused before the link is up, with a reason.
    RawStation refuser(at(5));
    QVERIFY(refuser.bound());
    connectOnBus(QStringLiteral("REFUSER"));
    QVERIFY(refuser.waitForSdes(LinkMs));
    refuser.sendAudio(QHostAddress(at(1)), AudioPacket::info("REFUSER is in a net, try later"));
    QTest::qWait(100);
    refuser.sendControl(QHostAddress(at(1)), ControlPacket::bye());
    QVERIFY(m_watch.waitFor(QStringLiteral("failed REFUSER refused REFUSER is in a net, try later"), LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("REFUSER: refused: REFUSER is in a net, try later"),
                              1000);

    // Answered, then a goodbye within two seconds: refused too; asked for by node number,
    // named by it.
    RawStation quick(at(6));
    QVERIFY(quick.bound());
    connectOnBus(QStringLiteral("5006"));
    QVERIFY(quick.waitForSdes(LinkMs));
    quick.sendSdes(QHostAddress(at(1)), "QUICKBYE");
    QVERIFY(m_watch.waitFor(QStringLiteral("state 5006 linked"), LinkMs));
    quick.sendAudio(QHostAddress(at(1)), AudioPacket::chat("QUICKBYE", "sorry, closing down"));
    QTest::qWait(100);
    quick.sendControl(QHostAddress(at(1)), ControlPacket::bye());
    QVERIFY(m_watch.waitFor(QStringLiteral("failed 5006 refused sorry, closing down"), LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("5006: refused: sorry, closing down"), 1000);

    // Up for longer, then the far end drops it.
    connectOnBus(QStringLiteral("node-b"));
    QVERIFY(m_b.waitForLinked(QStringLiteral("NODE-A"), true, LinkMs));
    QVERIFY(m_watch.waitFor(QStringLiteral("state node-b linked"), LinkMs));
    QTest::qWait(2200);
    QCOMPARE(m_b.disconnect(QStringLiteral("NODE-A")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return m_watch.seen.join(QLatin1Char('\n')).contains(QStringLiteral("failed node-b dropped"));
        },
        LinkMs));
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("node-b: dropped by the far end"), 1000);
    QVERIFY(historyHas(QStringLiteral("linking with node-b")));
}

void tst_node_browser::busyIsListedAndCallersAreRefused()
{
    auto *busy = m_window->findChild<QCheckBox *>();
    QTest::keyClick(m_window.get(), Qt::Key_B, Qt::AltModifier);  // a mnemonic clicks a moment later
    QTRY_VERIFY_WITH_TIMEOUT(busy->isChecked(), 1000);
    QVERIFY(!m_directory.waitForLine(QStringLiteral("logon NODE-A BUSY"), StartMs).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_node->directoryStatus(), QStringLiteral("busy"), StartMs);

    // A listed station calling in hears why, then the goodbye.
    RawStation caller(at(8));
    QVERIFY(caller.bound());
    caller.sendSdes(QHostAddress(at(1)), "CALLER");
    QVERIFY(caller.waitForBye(LinkMs));
    QStringList said;
    for (const QByteArray &datagram : caller.audio())
        if (const auto packet = AudioPacket::parse(datagram);
            packet && packet->kind == AudioPacket::Kind::Info)
            said << QString::fromLatin1(packet->text);
    QCOMPARE(said, QStringList{QStringLiteral("NODE-A is busy")});
    QVERIFY(m_node->links().isEmpty());

    busy->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_node->directoryStatus(), QStringLiteral("online"), StartMs);
}

int main(int argc, char *argv[])
{
    TestEnvironment environment(TestEnvironment::Display::Offscreen);
    QApplication app(argc, argv);
    tst_node_browser test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_node_browser.moc"
