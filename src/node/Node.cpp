#include "node/Node.h"

#include "automation/AutomationContract.h"
#include "node/FarText.h"
#include "node/NodeBus.h"
#include "node/NodeLog.h"
#include "node/protocol/ControlPacket.h"

#include "node/protocol/ProxyTransport.h"
#include "node/protocol/ProxyTunnel.h"
#include "node/protocol/TcpDirectoryRoute.h"
#include "node/protocol/UdpTransport.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <utility>

Node::Node(NodeConfig config, QObject *parent) : QObject(parent), m_config(std::move(config))
{
    m_transmitLimit.setSingleShot(true);
    connect(&m_transmitLimit, &QTimer::timeout, this, [this] {
        log(QStringLiteral("transmission ended: the %1 s limit ([Audio] TransmitLimitMs) passed")
                .arg(m_config.transmitLimitMs / 1000.0));
        transmit(false);
    });
}

Node::~Node()
{
    m_autoConnect.reset();
    m_links.reset();  // links say goodbye through the transport before it goes
    m_fetcher.reset();
    m_directory.reset();
}

void Node::log(const QString &line)
{
    NodeLog::write(line);
}

void Node::startAudio(bool noAudio, const QString &configPath)
{
    if (noAudio) {
        m_noInputReason = QStringLiteral("no input device: the node runs with --no-audio");
        log(QStringLiteral("no sound card (--no-audio): linked stations still hear each other"));
        return;
    }
    struct Side
    {
        const char *what;
        const std::string &device;
        const char *key;
        bool (StationAudio::*open)(const std::string &);
    };
    for (const Side &side :
         {Side{"input", m_config.inputDevice, "InputDevice", &StationAudio::openInput},
          Side{"output", m_config.outputDevice, "OutputDevice", &StationAudio::openOutput}}) {
        const QString device = QString::fromStdString(side.device);
        QString problem;
        if (device.isEmpty())
            problem = QStringLiteral("no sound %1: [Audio] %2 is empty in %3")
                          .arg(QLatin1String(side.what), QLatin1String(side.key), configPath);
        else if (!(m_audio.*side.open)(side.device))
            problem = QStringLiteral(
                          "cannot open the sound device '%1' ([Audio] %2 in %3); the node goes on without it")
                          .arg(device, QLatin1String(side.key), configPath);
        if (!problem.isEmpty()) {
            log(problem);
            if (side.open == &StationAudio::openInput)
                m_noInputReason = problem;
        }
    }
}

Node::Refusal Node::transmit(bool on)
{
    if (!on) {
        if (m_audio.isTransmitting()) {
            m_transmitLimit.stop();
            m_audio.setTransmitting(false);
            log(QStringLiteral("transmitting stopped"));
            Q_EMIT transmittingChanged(false);
        }
        return {};
    }
    if (links().isEmpty())
        return {QLatin1String(Automation::NotLinkedError),
                QStringLiteral("no station is linked to transmit to")};
    if (!m_audio.hasInput())
        return {QLatin1String(Automation::NoInputDeviceError), m_noInputReason};
    if (!m_audio.isTransmitting()) {
        m_audio.setTransmitting(true);
        m_transmitLimit.start(m_config.transmitLimitMs);
        log(QStringLiteral("transmitting to %1").arg(links().join(QStringLiteral(", "))));
        Q_EMIT transmittingChanged(true);
    }
    return {};
}

Node::Refusal Node::sendChat(const QString &text)
{
    if (text.size() > MaxChatLength)
        return {QLatin1String(Automation::ChatTooLongError),
                QStringLiteral("a chat line holds at most %1 characters").arg(MaxChatLength)};
    const QString line = FarText::clean(text.toLatin1()).trimmed();
    if (line.isEmpty())
        return {QLatin1String(Automation::EmptyChatError), QStringLiteral("the chat line is empty")};
    if (links().isEmpty())
        return {QLatin1String(Automation::NotLinkedError),
                QStringLiteral("no station is linked to chat with")};
    if (!m_links->takeChatTurn(line))
        return {QLatin1String(Automation::ChatTooFastError),
                QStringLiteral("at most %1 chat lines a second (bursts of %2)")
                    .arg(ChatLinesPerSecond)
                    .arg(ChatBurst)};
    m_links->sendChat(line);
    log(QStringLiteral("chat to %1: %2").arg(links().join(QStringLiteral(", ")), line));
    return {};
}

void Node::keepOffline(const QString &reason)
{
    m_offlineReason = reason;
    log(reason);
}

QString Node::startNetworking(const QString &configPath)
{
    if (m_config.proxyHost.isEmpty()) {
        auto transport = std::make_unique<UdpTransport>();
        if (!transport->bind(m_config.bindAddress))
            return QStringLiteral("cannot bind the link ports UDP 5198 and 5199 on %1 (another "
                                  "EchoLink program, or an address this machine does not have)")
                .arg(m_config.bindAddress.isNull() ? QStringLiteral("any address")
                                                   : m_config.bindAddress.toString());
        m_transport = std::move(transport);
        m_route = std::make_unique<TcpDirectoryRoute>(m_config.bindAddress);
    } else {
        // Everything goes through the proxy: no port of our own to bind.
        m_proxy = std::make_unique<ProxyClient>(
            ProxyClient::Settings{m_config.proxyHost, m_config.proxyPort, m_config.callsign,
                                  m_config.proxyPassword, m_config.bindAddress, m_config.directoryRetryMs});
        m_transport = std::make_unique<ProxyTransport>(*m_proxy);
        m_route = std::make_unique<ProxyTunnel>(*m_proxy);
    }

    m_links = std::make_unique<StationLinks>(m_config, *m_transport);
    m_links->setAudio(&m_audio);
    m_links->setLinksLog(&m_linksLog);
    m_directory = std::make_unique<DirectoryLogon>(m_config, *m_route);
    m_fetcher = std::make_unique<StationListFetcher>(m_config.directoryServers, *m_route,
                                                     m_config.directoryTimeoutMs);

    connect(m_links.get(), &StationLinks::logLine, this, &Node::log);
    connect(m_links.get(), &StationLinks::stationListWanted, this, &Node::fetchList);
    connect(m_links.get(), &StationLinks::lookupWanted, this, &Node::fetchListForLookup);
    connect(m_links.get(), &StationLinks::busyChanged, m_directory.get(), &DirectoryLogon::setBusy);
    connect(m_links.get(), &StationLinks::linksChanged, this, [this](const QStringList &links) {
        if (links.isEmpty())
            transmit(false);  // nobody left to hear it
        if (m_bus != nullptr)
            Q_EMIT m_bus->station().LinksChanged(links);
        Q_EMIT linksChanged(links);
    });
    connect(m_links.get(), &StationLinks::chatReceived, this, &Node::chatReceived);
    connect(m_links.get(), &StationLinks::infoReceived, this, &Node::linkInfoChanged);
    connect(m_links.get(), &StationLinks::callStateChanged, this,
            [this](const QString &call, const QString &state) {
                if (m_bus != nullptr)
                    Q_EMIT m_bus->station().LinkStateChanged(call, state);
                Q_EMIT linkStateChanged(call, state);
            });
    connect(m_links.get(), &StationLinks::linkFailed, this,
            [this](const QString &call, const QString &reason, const QString &text) {
                log(QStringLiteral("link to %1 failed: %2%3")
                        .arg(FarText::clean(call.toUtf8()), reason,
                             text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(text)));
                if (m_bus != nullptr)
                    Q_EMIT m_bus->station().LinkFailed(call, reason, text);
                Q_EMIT linkFailed(call, reason, text);
            });
    connect(m_links.get(), &StationLinks::talkingChanged, this, &Node::talkingChanged);
    if (!m_config.autoConnect.isEmpty()) {
        m_autoConnect =
            std::make_unique<AutoConnect>(*m_links, m_config.autoConnect, m_config.autoConnectRetryMs);
        connect(m_autoConnect.get(), &AutoConnect::logLine, this, &Node::log);
    }
    connect(m_directory.get(), &DirectoryLogon::statusChanged, this, [this](const QString &status) {
        log(QStringLiteral("directory: %1").arg(status));
        Q_EMIT directoryStatusChanged(directoryStatus());
    });
    connect(m_directory.get(), &DirectoryLogon::logLine, this, &Node::log);
    connect(m_directory.get(), &DirectoryLogon::loggedOn, this, &Node::fetchList);
    connect(m_fetcher.get(), &StationListFetcher::fetched, this, [this](const StationList &list) {
        log(QStringLiteral("station list: %1 stations").arg(list.size()));
        m_links->setStationList(list);
        if (m_autoConnect)
            m_autoConnect->stationListInHand();
        Q_EMIT stationListChanged();
    });
    connect(m_fetcher.get(), &StationListFetcher::failed, this, [this](const QString &reason) {
        log(QStringLiteral("station list not fetched: %1").arg(reason));
        m_links->stationListFailed(reason);
    });
    m_listRefresh.setInterval(m_config.listRefreshMs);
    connect(&m_listRefresh, &QTimer::timeout, this, &Node::fetchList);
    m_listRefresh.start();
    m_lookupSpacing.setSingleShot(true);
    m_lookupSpacing.setInterval(LookupSpacingMs);
    connect(&m_lookupSpacing, &QTimer::timeout, this, [this] {
        if (std::exchange(m_lookupWanted, false))
            fetchListForLookup();
    });
    watchConfigFile(configPath);

    const QString linksOn = m_proxy ? QStringLiteral("the proxy %1").arg(m_proxy->proxyName())
                            : m_config.bindAddress.isNull() ? QStringLiteral("any address")
                                                            : m_config.bindAddress.toString();
    log(QStringLiteral("%1 on line: links on %2, directory %3")
            .arg(m_config.callsign, linksOn, m_config.directoryServers.join(QLatin1Char(' '))));
    if (m_proxy) {
        connect(m_proxy.get(), &ProxyClient::stateChanged, this, &Node::proxyStateChanged);
        m_directory->suspend(QStringLiteral("waiting for the proxy"));
        m_proxy->start();
    } else {
        m_directory->start();
    }
    return {};
}

void Node::proxyStateChanged(ProxyClient::State state)
{
    log(QStringLiteral("proxy %1").arg(proxyStatus()));
    Q_EMIT proxyStatusChanged(proxyStatus());
    switch (state) {
    case ProxyClient::State::Connected:
        for (const QHostAddress &address : std::exchange(m_byesOwed, {}))
            m_transport->sendControl(address, ControlPacket::bye());
        // The proxy's address is the station's: the directory hears of it afresh.
        m_directory->start();
        fetchList();
        break;
    case ProxyClient::State::Refused:
    case ProxyClient::State::Lost:
        // Nothing reaches the far stations now: they hear the bye when the proxy is back
        // (or end the link at their time-out).
        if (!m_links->links().isEmpty())
            log(QStringLiteral("links end: the proxy connection is gone"));
        for (const QHostAddress &address : m_links->linkAddresses())
            if (!m_byesOwed.contains(address) && m_byesOwed.size() < m_config.maxLinks)
                m_byesOwed << address;
        m_links->disconnectAll();
        m_directory->suspend(QStringLiteral("waiting for the proxy"));
        break;
    case ProxyClient::State::Off:
    case ProxyClient::State::Connecting:
    case ProxyClient::State::Authenticating:
        break;
    }
    Q_EMIT directoryStatusChanged(directoryStatus());
}

void Node::fetchList()
{
    if (m_fetcher && !m_quitting)
        m_fetcher->fetch();
}

void Node::fetchListForLookup()
{
    // A fetch under way answers this request too: the links waiting for it look again.
    if (!m_fetcher || m_quitting || m_fetcher->isFetching())
        return;
    // Many names clicked in a row cost one fetch, at the end of the spacing.
    if (m_lookupSpacing.isActive()) {
        m_lookupWanted = true;
        return;
    }
    m_lookupSpacing.start();
    m_fetcher->fetch();
}

void Node::watchConfigFile(const QString &path)
{
    if (path.isEmpty())
        return;
    m_configPath = path;
    // An editor that saves by renaming replaces the file: its folder is watched as well.
    m_configWatch.addPath(path);
    m_configWatch.addPath(QFileInfo(path).absolutePath());
    // A save comes as several changes; the file is read once they have settled.
    m_configSettle.setSingleShot(true);
    m_configSettle.setInterval(300);
    connect(&m_configWatch, &QFileSystemWatcher::fileChanged, &m_configSettle, qOverload<>(&QTimer::start));
    connect(&m_configWatch, &QFileSystemWatcher::directoryChanged, &m_configSettle,
            qOverload<>(&QTimer::start));
    connect(&m_configSettle, &QTimer::timeout, this, &Node::configFileChanged);
}

void Node::configFileChanged()
{
    if (!m_configWatch.files().contains(m_configPath) && QFileInfo::exists(m_configPath))
        m_configWatch.addPath(m_configPath);
    // Only a refused log-on waits for the file; otherwise it is read once, at start.
    if (!m_directory || !m_directory->isRefused() || m_quitting)
        return;
    NodeConfigFile file(m_configPath);
    NodeConfig fresh;
    if (!file.load(fresh)) {
        log(file.error());
        return;
    }
    const QString blocker = file.networkingBlocker(fresh);
    if (!blocker.isEmpty()) {
        log(blocker);
        return;
    }
    if (fresh.callsign == m_config.callsign && fresh.password == m_config.password)
        return;  // the directory would refuse the same again
    m_config.callsign = fresh.callsign;
    m_config.password = fresh.password;
    log(QStringLiteral("%1 changed: logging on again as %2").arg(m_configPath, m_config.callsign));
    m_directory->retryNow();
}

Node::Refusal Node::connectTo(const QString &call)
{
    if (!m_links)
        return {QLatin1String(Automation::OfflineError),
                QStringLiteral("the node is not on the EchoLink network: %1").arg(m_offlineReason)};
    const StationLinks::Answer result = m_links->connectTo(call);
    if (result.outcome == StationLinks::Outcome::Refused)
        return {result.errorName, result.message};
    return {};
}

bool Node::isConnected(const QString &call) const
{
    return m_links && m_links->isConnected(call);
}

void Node::disconnect(const QString &call)
{
    if (m_links)
        m_links->disconnect(call);
}

const StationList &Node::stationList() const
{
    static const StationList none;
    return m_links ? m_links->stationList() : none;
}

QString Node::linkInfo(const QString &callsign) const
{
    return m_links ? m_links->infoText(callsign) : QString();
}

void Node::setBusy(bool busy)
{
    if (!m_links || busy == m_links->isOperatorBusy())
        return;
    log(busy ? QStringLiteral("busy: callers are refused") : QStringLiteral("no longer busy"));
    m_links->setOperatorBusy(busy);
}

QStringList Node::links() const
{
    return m_links ? m_links->links() : QStringList();
}

QString Node::directoryStatus() const
{
    if (!m_directory)
        return QStringLiteral("off: %1").arg(m_offlineReason);
    if (m_proxy)
        return QStringLiteral("%1; proxy %2").arg(m_directory->status(), proxyStatus());
    return m_directory->status();
}

QString Node::proxyStatus() const
{
    return m_proxy ? QStringLiteral("%1: %2").arg(m_proxy->proxyName(), m_proxy->status()) : QString();
}

void Node::quit()
{
    if (m_quitting)
        return;
    m_quitting = true;
    log(QStringLiteral("closing"));
    if (m_links)
        m_links->disconnectAll();
    if (m_directory)
        m_directory->logOff(LogOffTimeoutMs);
    if (m_proxy)
        m_proxy->stop();
    if (m_bus != nullptr)
        m_bus->closeAndQuit();
    else
        QCoreApplication::quit();
}
