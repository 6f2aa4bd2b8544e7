// The server side of the automation contract, shared by every EchoLink this project brings
// (echolink-node and the echolink-sim stand-in): the three objects /EchoLink, /SetupConfig
// and /SysopConfig with their introspection, the bus name, and "raise Closing, then quit".
// What a call does is the server's own business: each contract call is handed to the
// handler, which answers it at once or later (reply() or fail()).
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

// What an EchoLink does for the contract's calls.
class ContractStation
{
public:
    virtual ~ContractStation() = default;
    // Starts a link; an error name and a sentence when it cannot, empty when it started.
    struct Refusal
    {
        QString errorName;
        QString message;
    };
    virtual Refusal connectTo(const QString &call) = 0;
    virtual void disconnect(const QString &call) = 0;
    virtual bool isConnected(const QString &call) const = 0;
    virtual QString callsign() const = 0;
};

class ContractServer : public QObject
{
    Q_OBJECT

public:
    // One call of the contract, as the handler gets it.
    struct Call
    {
        // Introspect is a call too: a hung EchoLink does not describe itself either.
        enum class Kind { Connect, Disconnect, IsConnected, Callsign, Introspect };
        Kind kind = Kind::Callsign;
        QString call;  // Connect, Disconnect, IsConnected: the station named
        int mode = 0;  // Connect
        QDBusMessage message;
        QString introspection;  // Introspect: the object's description, which reply() sends
    };
    using Handler = std::function<void(const Call &)>;

    ContractServer(const QDBusConnection &bus, Handler handler, QObject *parent = nullptr);

    // Puts /EchoLink and, unless left out, /SetupConfig and /SysopConfig on the bus.
    // False when a path cannot be registered.
    bool registerObjects(bool withSetupConfig = true, bool withSysopConfig = true);
    // Owns the contract's bus name. Empty on success, else why not.
    QString ownName();

    // Answers a call: IsConnected with a bool, Callsign with a string, Introspect with the
    // object's description, the others with nothing.
    void reply(const Call &call, const QVariant &value = {});
    void fail(const Call &call, const QString &errorName, const QString &message);
    // Carries the call out on the station and answers it with the result.
    void carryOut(const Call &call, ContractStation &station);

    // Raises Closing on /EchoLink once, then quits once the bus has everything sent before.
    void closeAndQuit();
    // Quits as soon as everything already sent (answers included) has reached the bus.
    void quitSoon();

    // The calls as a log shows them ("Connect W1AW 0", "Callsign"); empty for Introspect.
    static QString describe(const Call &call);

private:
    class Object;
    bool receive(const Object &object, const QDBusMessage &message);

    QDBusConnection m_bus;
    Handler m_handler;
    bool m_closing = false;
    bool m_quitting = false;
};
