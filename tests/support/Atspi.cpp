#include "Atspi.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <QUuid>

namespace {

const QString BusLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
const QString A11yBusService = QStringLiteral("org.a11y.Bus");
const QString RegistryService = QStringLiteral("org.a11y.atspi.Registry");
const QString RootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString AccessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
constexpr int CallTimeoutMs = 5000;
// How long past a call's own time-out the reader still waits for its outcome.
constexpr int WaitSlackMs = 1000;

}  // namespace

namespace Atspi {

Bus::~Bus()
{
    stop();
}

bool Bus::installed()
{
    return QFileInfo(BusLauncher).isExecutable();
}

bool Bus::start()
{
    // --a11y=1 says accessibility is wanted, as a desktop's setting does.
    // Without DISPLAY it leaves no AT_SPI_BUS address on the X server's root window, where
    // a later test on the same display would find a bus that has gone.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    m_launcher.setProcessEnvironment(environment);
    m_launcher.setProcessChannelMode(QProcess::ForwardedChannels);
    m_launcher.start(BusLauncher, {QStringLiteral("--launch-immediately"), QStringLiteral("--a11y=1")});
    if (!m_launcher.waitForStarted(5000)) {
        m_whyNot = QStringLiteral("at-spi-bus-launcher did not start: ") + m_launcher.errorString();
        return false;
    }
    QDBusConnection session = QDBusConnection::sessionBus();
    const bool registered = QTest::qWaitFor(
        [&] {
            return m_launcher.state() != QProcess::Running
                   || session.interface()->isServiceRegistered(A11yBusService);
        },
        10000);
    if (!registered || m_launcher.state() != QProcess::Running) {
        m_whyNot = QStringLiteral("at-spi-bus-launcher did not take org.a11y.Bus on the session bus");
        return false;
    }
    const QDBusMessage reply =
        session.call(QDBusMessage::createMethodCall(A11yBusService, QStringLiteral("/org/a11y/bus"),
                                                    A11yBusService, QStringLiteral("GetAddress")),
                     QDBus::Block, CallTimeoutMs);
    m_address = reply.arguments().value(0).toString();
    if (m_address.isEmpty()) {
        m_whyNot = QStringLiteral("org.a11y.Bus gave no address: ") + reply.errorMessage();
        return false;
    }
    return true;
}

void Bus::stop()
{
    if (m_launcher.state() == QProcess::NotRunning)
        return;
    m_launcher.terminate();  // takes its accessibility bus daemon down with it
    if (!m_launcher.waitForFinished(5000)) {
        m_launcher.kill();
        m_launcher.waitForFinished(2000);
    }
}

bool EventLog::has(const QString &path, const QString &kind, const QString &detail, int value) const
{
    for (const Event &event : events) {
        if (event.path == path && event.kind == kind && event.detail == detail && event.value == value)
            return true;
    }
    return false;
}

void EventLog::record(const QDBusMessage &message)
{
    const QVariantList arguments = message.arguments();
    events << Event{message.path(), message.member(), arguments.value(0).toString(),
                    arguments.value(1).toInt()};
}

Reader::Reader(const QString &busAddress)
    : m_connectionName(QStringLiteral("atspi-reader-") + QUuid::createUuid().toString(QUuid::Id128))
{
    QDBusConnection::connectToBus(busAddress, m_connectionName);
}

Reader::~Reader()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
}

QDBusMessage Reader::call(const Node &node, const QString &interface, const QString &method,
                          const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(node.service, node.path, interface, method);
    message.setArguments(arguments);
    // Waits in an event loop of its own rather than in a blocking call, so that events
    // keep flowing (an application of this very process answers from them) and so that
    // the wait always ends: on the answer, or on a timer a little past the call's time-out.
    const QDBusPendingCall pending = QDBusConnection(m_connectionName).asyncCall(message, CallTimeoutMs);
    QDBusPendingCallWatcher watcher(pending);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(CallTimeoutMs + WaitSlackMs);
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!watcher.isFinished())
        return QDBusMessage::createError(
            QDBusError::Timeout,
            QStringLiteral("no answer to %1 within %2 ms").arg(method).arg(CallTimeoutMs));
    return watcher.reply();
}

QVariant Reader::property(const Node &node, const QString &name) const
{
    const QDBusMessage reply = call(node, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {AccessibleInterface, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QList<Node> Reader::applications() const
{
    return children(Node{RegistryService, RootPath});
}

Node Reader::application(qint64 pid) const
{
    QDBusConnection bus(m_connectionName);
    for (const Node &app : applications()) {
        const QDBusReply<uint> owner = bus.interface()->servicePid(app.service);
        if (owner.isValid() && owner.value() == pid)
            return app;
    }
    return {};
}

QList<Node> Reader::children(const Node &node) const
{
    const QDBusMessage reply = call(node, AccessibleInterface, QStringLiteral("GetChildren"));
    QList<Node> nodes;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return nodes;
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        Node child;
        QDBusObjectPath path;
        list.beginStructure();
        list >> child.service >> path;
        list.endStructure();
        child.path = path.path();
        nodes << child;
    }
    list.endArray();
    return nodes;
}

QString Reader::name(const Node &node) const
{
    return property(node, QStringLiteral("Name")).toString();
}

QString Reader::description(const Node &node) const
{
    return property(node, QStringLiteral("Description")).toString();
}

QString Reader::roleName(const Node &node) const
{
    return call(node, AccessibleInterface, QStringLiteral("GetRoleName")).arguments().value(0).toString();
}

bool Reader::hasState(const Node &node, State state) const
{
    const QDBusMessage reply = call(node, AccessibleInterface, QStringLiteral("GetState"));
    if (reply.arguments().isEmpty())
        return false;
    QList<uint> words;
    reply.arguments().first().value<QDBusArgument>() >> words;
    const qsizetype word = state / 32;
    return word < words.size() && (words.at(word) >> (state % 32)) & 1u;
}

bool Reader::listen(const QStringList &events, EventLog *log) const
{
    QDBusConnection bus(m_connectionName);
    const QString objectEvents = QStringLiteral("org.a11y.atspi.Event.Object");
    if (!bus.connect(QString(), QString(), objectEvents, QString(), log, SLOT(record(QDBusMessage))))
        return false;
    for (const QString &event : events) {
        const QDBusMessage reply =
            call(Node{RegistryService, QStringLiteral("/org/a11y/atspi/registry")},
                 QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"), {event});
        if (reply.type() != QDBusMessage::ReplyMessage)
            return false;
    }
    return true;
}

QList<Node> Reader::find(const Node &root, const std::function<bool(const Node &)> &match) const
{
    QList<Node> found;
    for (const Node &child : children(root)) {
        if (match(child))
            found << child;
        found << find(child, match);
    }
    return found;
}

QList<Node> Reader::withRole(const Node &root, const QString &role) const
{
    return find(root, [this, &role](const Node &node) { return roleName(node) == role; });
}

}  // namespace Atspi
