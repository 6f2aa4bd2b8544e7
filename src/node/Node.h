// The EchoLink station: its configuration, its directory registration and station list,
// its links, and the contract it serves on the bus. Networking starts only with a
// complete configuration in a file that others cannot read.
#pragma once

#include "automation/ContractServer.h"
#include "node/DirectoryLogon.h"
#include "node/NodeConfig.h"
#include "node/RateLimit.h"
#include "node/StationLinks.h"
#include "node/StationListFetcher.h"
#include "node/audio/StationAudio.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class NodeBus;
class UdpTransport;

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
    // ports could not be bound). With configPath, a refused log-on is tried again when
    // that file changes, with its new callsign and password.
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
    QString directoryStatus() const;
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
    // ChatLinesPerSecond (in bursts of ChatBurst at most).
    Refusal sendChat(const QString &text);
    static constexpr int MaxChatLength = 256;
    static constexpr int ChatLinesPerSecond = 5;
    static constexpr int ChatBurst = 10;
    // Sound levels since the previous call, for the window's meters.
    LevelMeter::Levels takeReceiveLevels() { return m_audio.receiveMeter().takeLevels(); }
    LevelMeter::Levels takeTransmitLevels() { return m_audio.transmitMeter().takeLevels(); }

    // Logs off (bounded), drops the links, raises Closing and ends the event loop.
    void quit();

    static void log(const QString &line);

Q_SIGNALS:
    void linksChanged(const QStringList &links);
    void directoryStatusChanged(const QString &status);
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
    void fetchListForLookup();
    void watchConfigFile(const QString &path);
    void configFileChanged();

    NodeConfig m_config;
    QString m_offlineReason;
    QString m_noInputReason;
    StationAudio m_audio;  // outlives the links, which leave it as they go
    QTimer m_transmitLimit;
    RateLimit m_chatRate{ChatLinesPerSecond, ChatBurst};
    std::unique_ptr<UdpTransport> m_transport;  // outlives the links, which send through it
    std::unique_ptr<StationLinks> m_links;
    std::unique_ptr<DirectoryLogon> m_directory;
    std::unique_ptr<StationListFetcher> m_fetcher;
    QTimer m_listRefresh;
    QTimer m_lookupSpacing;
    bool m_lookupWanted = false;
    QString m_configPath;
    QFileSystemWatcher m_configWatch;
    QTimer m_configSettle;
    NodeBus *m_bus = nullptr;
    bool m_quitting = false;
};
