// The EchoLink station: its configuration, its directory registration and station list,
// its links, and the contract it serves on the bus. Networking starts only with a
// complete configuration in a file that others cannot read.
#pragma once

#include "automation/ContractServer.h"
#include "node/AutoConnect.h"
#include "node/DirectoryLogon.h"
#include "node/LinksLog.h"
#include "node/NodeConfig.h"
#include "node/StationLinks.h"
#include "node/StationListFetcher.h"
#include "node/audio/StationAudio.h"
#include "node/protocol/ProxyClient.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class DirectoryRoute;
class NodeBus;
class Transport;

class Node : public QObject, public ContractStation
{
    Q_OBJECT

public:
    // How long quitting may wait for the directory's log-off.
    static constexpr int LogOffTimeoutMs = 2000;

    explicit Node(NodeConfig config, QObject *parent = nullptr);
    ~Node() override;

    // How often links asked for to stations the list lacks may fetch a fresh list.
    static constexpr int LookupSpacingMs = 10000;

    // Binds the link ports and logs on. Empty on success, else what failed (the link
    // ports could not be bound). With a proxy configured, binds no port: connects to the
    // proxy and logs on through it once it is connected, again each time it comes back.
    // With configPath, a refused log-on is tried again when that file changes, with its
    // new callsign and password.
    QString startNetworking(const QString &configPath = {});
    // Opens the sound devices of the configuration; with noAudio, none. A device that
    // cannot be opened is reported with its key and file, and the node goes on without it.
    void startAudio(bool noAudio, const QString &configPath);
    // Networking stays off, for this reason (shown by DirectoryStatus and the log).
    void keepOffline(const QString &reason);
    void setBus(NodeBus *bus) { m_bus = bus; }

    // The contract. A Refusal (here and below) is a D-Bus error name and a sentence; empty
    // when the request was carried out.
    Refusal connectTo(const QString &call) override;
    bool isConnected(const QString &call) const override;
    void disconnect(const QString &call) override;
    QString callsign() const override { return m_config.callsign; }
    // The extras.
    QStringList links() const;
    // The directory's status; with a proxy, followed by the proxy's.
    QString directoryStatus() const;
    // "HOST:PORT: state" of the proxy; empty without one.
    QString proxyStatus() const;
    // The directory's station list in hand (empty before the first fetch), and a fresh
    // fetch of it now.
    const StationList &stationList() const;
    void refreshStationList() { fetchList(); }
    // The last information text a linked station sent.
    QString linkInfo(const QString &callsign) const;
    // How long a call waits for an answer before it fails.
    int noAnswerSeconds() const
    {
        return (m_config.keepAliveMs * StationLink::Timing().callTries + 999) / 1000;
    }
    // The operator's busy state: listed as busy, callers told so and refused.
    void setBusy(bool busy);
    bool isBusy() const { return m_links && m_links->isOperatorBusy(); }
    // Push-to-talk; a transmission ends by itself after the configured limit.
    Refusal transmit(bool on);
    bool isTransmitting() const { return m_audio.isTransmitting(); }
    // A line of chat to every linked station: cleaned of control characters, at most
    // MaxChatLength characters, and refused when empty, when nobody is linked, or beyond
    // ChatLinesPerSecond (in bursts of ChatBurst at most, lines passed on between linked
    // stations included).
    Refusal sendChat(const QString &text);
    static constexpr int MaxChatLength = 256;
    static constexpr int ChatLinesPerSecond = ChatRelay::LinesPerSecond;
    static constexpr int ChatBurst = ChatRelay::Burst;
    // Sound levels since the previous call, for the window's meters.
    LevelMeter::Levels takeReceiveLevels() { return m_audio.receiveMeter().takeLevels(); }
    LevelMeter::Levels takeTransmitLevels() { return m_audio.transmitMeter().takeLevels(); }

    // Logs off (bounded), drops the links, raises Closing and ends the event loop.
    void quit();

    // A line of the node's log (NodeLog): time-stamped, or prefixed for the journal.
    static void log(const QString &line);

Q_SIGNALS:
    void linksChanged(const QStringList &links);
    void directoryStatusChanged(const QString &status);
    void proxyStatusChanged(const QString &status);
    void transmittingChanged(bool on);
    // A linked station's chat line, cleaned and bounded.
    void chatReceived(const QString &callsign, const QString &text);
    // A linked station started or stopped sending audio.
    void talkingChanged(const QString &callsign, bool talking);
    // A fresh station list is in hand.
    void stationListChanged();
    // What happens to each link (see StationLinks).
    void linkStateChanged(const QString &call, const QString &state);
    void linkFailed(const QString &call, const QString &reason, const QString &text);
    void linkInfoChanged(const QString &callsign, const QString &text);

private:
    void fetchList();
    void proxyStateChanged(ProxyClient::State state);
    void fetchListForLookup();
    void watchConfigFile(const QString &path);
    void configFileChanged();

    NodeConfig m_config;
    QString m_offlineReason;
    QString m_noInputReason;
    StationAudio m_audio;  // outlives the links, which leave it as they go
    LinksLog m_linksLog;   // outlives the links, which are recorded as they end
    QTimer m_transmitLimit;
    // Destroyed in the reverse order: what sends through the proxy goes before it.
    std::unique_ptr<ProxyClient> m_proxy;
    std::unique_ptr<Transport> m_transport;   // outlives the links, which send through it
    std::unique_ptr<DirectoryRoute> m_route;  // outlives the directory's commands and fetches
    std::unique_ptr<StationLinks> m_links;
    std::unique_ptr<AutoConnect> m_autoConnect;  // goes before the links it watches
    std::unique_ptr<DirectoryLogon> m_directory;
    std::unique_ptr<StationListFetcher> m_fetcher;
    // Stations whose links ended when the proxy went away, before they could hear a bye:
    // they hear it once the proxy is back, so that their end of the link ends too.
    QList<QHostAddress> m_byesOwed;
    QTimer m_listRefresh;
    QTimer m_lookupSpacing;
    bool m_lookupWanted = false;
    QString m_configPath;
    QFileSystemWatcher m_configWatch;
    QTimer m_configSettle;
    NodeBus *m_bus = nullptr;
    bool m_quitting = false;
};
