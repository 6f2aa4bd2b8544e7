// Serves the automation contract on the session bus for the node, unchanged from what the
// panel expects of any EchoLink: /EchoLink, /SetupConfig and /SysopConfig, every call
// answered at once. The node's extras are on /Station (org.dialboard.EchoLink.Station).
#pragma once

#include "automation/ContractServer.h"
#include "automation/StationListEntry.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>

class Node;

// /Station: what the node adds to the contract.
class StationObject : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.dialboard.EchoLink.Station")

public:
    StationObject(Node &node, QObject *parent = nullptr);

public Q_SLOTS:
    QStringList Links() const;
    QString DirectoryStatus() const;
    // Push-to-talk: the input device to every link, or not. Keying up with no link or no
    // input device answers an error that says which.
    void Transmit(bool on);
    bool IsTransmitting() const;
    // A line of chat to every linked station (at most 256 characters).
    void SendChat(const QString &text);
    // The directory's station list in hand: call, location, node number, ON or BUSY.
    QList<StationListEntry> Stations() const;

Q_SIGNALS:
    void LinksChanged(const QStringList &links);
    // A link asked for with call (exactly as Connect was given it; a caller's callsign)
    // went linking, linked or unlinked...
    void LinkStateChanged(const QString &call, const QString &state);
    // ...or failed: not-found, no-answer, refused (text: what the station said last) or
    // dropped.
    void LinkFailed(const QString &call, const QString &reason, const QString &text);

private:
    Node &m_node;
};

class NodeBus : public QObject
{
    Q_OBJECT

public:
    NodeBus(Node &node, const QDBusConnection &bus, QObject *parent = nullptr);

    // Puts the objects on the bus; false when a path cannot be registered.
    bool registerObjects();
    // Owns the contract's bus name. Empty on success, else why not.
    QString ownName();

    // Raises Closing, then quits once the bus has everything sent before.
    void closeAndQuit() { m_contract.closeAndQuit(); }
    StationObject &station() { return m_station; }

private:
    Node &m_node;
    QDBusConnection m_bus;
    ContractServer m_contract;
    StationObject m_station;
};
