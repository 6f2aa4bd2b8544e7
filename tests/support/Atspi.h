// Assistive technology for tests: the accessibility bus of at-spi2-core on the test's
// private session bus, and a reader that walks an application's accessibility tree from
// outside over D-Bus, as a screen reader does.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

namespace Atspi {

// AT-SPI state bits, as GetState reports them.
enum State : unsigned {
    Checked = 4,
    Enabled = 8,
    Focusable = 11,
    Focused = 12,
    Showing = 25,
    Visible = 30,
    Checkable = 41,
};

// One accessible object: the bus name of its application and its object path.
struct Node
{
    QString service;
    QString path;
    bool isNull() const { return service.isEmpty(); }
};

// The accessibility bus, launched with at-spi-bus-launcher on the session bus. Start it
// before the applications to be read, so they find it as they start; an application
// started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 then offers its tree there.
class Bus
{
public:
    Bus() = default;
    ~Bus();
    // True when at-spi2-core's bus launcher is installed.
    static bool installed();
    // Launches the bus and waits until its address is known. False when it did not
    // come up; whyNot() then says what happened.
    bool start();
    void stop();
    QString address() const { return m_address; }
    QString whyNot() const { return m_whyNot; }

private:
    QProcess m_launcher;
    QString m_address;
    QString m_whyNot;
};

// One event an application sent, as "object:state-changed:checked" with its first detail.
struct Event
{
    QString path;    // the accessible object that changed
    QString kind;    // for instance "StateChanged", "PropertyChange"
    QString detail;  // for instance "checked", "accessible-description"
    int value = 0;   // for a state: 1 set, 0 cleared
};

// The events sent on the accessibility bus since listening began, as a screen reader
// receives them: asking the registry for them makes applications send them.
class EventLog : public QObject
{
    Q_OBJECT
public:
    QList<Event> events;
    // True when an event of that kind and detail about that object has come.
    bool has(const QString &path, const QString &kind, const QString &detail, int value) const;
private Q_SLOTS:
    void record(const QDBusMessage &message);
    friend class Reader;
};

// Reads accessible objects on the accessibility bus. Every call waits for its answer
// while still handling events, so an application of this very process can answer.
class Reader
{
public:
    explicit Reader(const QString &busAddress);
    ~Reader();

    // The applications that have registered their trees with the accessibility registry.
    QList<Node> applications() const;
    // The application whose process is `pid`, once it has registered (null if not yet).
    Node application(qint64 pid) const;

    QList<Node> children(const Node &node) const;
    QString name(const Node &node) const;
    QString description(const Node &node) const;
    QString roleName(const Node &node) const;
    bool hasState(const Node &node, State state) const;

    // Registers for the object events named (for instance "object:state-changed") and
    // records them in `log` from now on.
    bool listen(const QStringList &events, EventLog *log) const;

    // Every node below `root` (depth first) for which `match` is true.
    QList<Node> find(const Node &root, const std::function<bool(const Node &)> &match) const;
    // The nodes below `root` with the role name given (for instance "push button").
    QList<Node> withRole(const Node &root, const QString &role) const;

private:
    QDBusMessage call(const Node &node, const QString &interface, const QString &method,
                      const QVariantList &arguments = {}) const;
    QVariant property(const Node &node, const QString &name) const;

    QString m_connectionName;
};

}  // namespace Atspi
