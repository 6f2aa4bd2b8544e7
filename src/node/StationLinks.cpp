#include "node/StationLinks.h"

#include "automation/AutomationContract.h"
#include "node/FarText.h"
#include "node/LinkAudio.h"
#include "node/LinksLog.h"
#include "node/audio/StationAudio.h"
#include "node/protocol/Transport.h"

#include <QTimer>

#include <algorithm>

namespace {

constexpr int MaxWaitingCalls = 40;        // links waiting for a fresh list, at most
constexpr int MaxWaitingCallers = 40;      // callers waiting for a fresh list, at most
constexpr int RefusalHoldMs = 300;         // a refused caller hears why before the goodbye
constexpr int ShortRefusalMs = 10000;      // busy or unconfirmed callers are ignored this long
constexpr int OtherStationTellMs = 60000;  // a second station at a linked address is told once a minute
constexpr int IdleCheckMostMs = 15000;     // idle links are looked for at least this often
constexpr int MaxInfoLines = 40;           // an information text is kept to this many lines
constexpr int MaxCallLength = 256;         // longer than any callsign or conference name: never kept

bool isAllDigits(const QString &text)
{
    return !text.isEmpty()
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; });
}

StationLinks::Answer refusal(const char *errorName, const QString &message)
{
    return {StationLinks::Outcome::Refused, QLatin1String(errorName), message};
}

}  // namespace

StationLinks::StationLinks(const NodeConfig &config, Transport &transport, QObject *parent)
    : QObject(parent), m_config(config), m_transport(transport),
      m_info(config.stationInfo(), config.listStationsInInfo)
{
    connect(&transport, &Transport::controlReceived, this, &StationLinks::controlReceived);
    connect(&transport, &Transport::audioReceived, this, &StationLinks::audioReceived);
    connect(&m_drops, &DropCount::logLine, this, &StationLinks::logLine);
    connect(this, &StationLinks::linksChanged, &m_info, &InfoList::setLinks);
    connect(&m_info, &InfoList::changed, this, &StationLinks::sendInfoToAll);
    if (m_config.idleTimeoutMs > 0) {
        // Looked at often enough that a link goes within a tenth of the time-out of it.
        m_idleCheck.setInterval(std::clamp(m_config.idleTimeoutMs / 10, 50, IdleCheckMostMs));
        connect(&m_idleCheck, &QTimer::timeout, this, &StationLinks::dropIdleLinks);
    }
}

StationLinks::~StationLinks()
{
    // Links still up say goodbye as they go, and report that to nobody: the map they
    // would report to is being taken down.
    for (auto &[address, link] : m_links) {
        if (link.up)
            recordEnded(link);
        if (m_audio != nullptr && link.audio)
            m_audio->removeLink(link.audio.get());
        link.audio.reset();
        link.link->disconnect(this);
    }
}

// --- What arrives -------------------------------------------------------------------

void StationLinks::controlReceived(const QHostAddress &from, quint16 port, const QByteArray &datagram)
{
    const std::optional<ControlPacket> packet = ControlPacket::parse(datagram);
    if (!packet) {
        m_drops.drop(DropCount::Malformed);
        return;
    }
    const auto it = m_links.find(from.toIPv4Address());
    if (it != m_links.end()) {
        if (!it->second.link->controlDatagram(port, *packet))
            m_drops.drop(DropCount::WrongPort);
        return;
    }
    // A station that is not linked can only call in; its goodbye needs no answer.
    if (packet->kind == ControlPacket::Kind::Sdes)
        callerHeard(from, port, *packet);
    else
        m_drops.drop(DropCount::UnknownStation);
}

void StationLinks::audioReceived(const QHostAddress &from, quint16 port, const QByteArray &datagram)
{
    const auto it = m_links.find(from.toIPv4Address());
    if (it == m_links.end()) {
        m_drops.drop(DropCount::UnknownStation);
        return;
    }
    const std::optional<AudioPacket> packet = AudioPacket::parse(datagram);
    if (!packet) {
        m_drops.drop(DropCount::Malformed);
        return;
    }
    if (!it->second.link->audioDatagram(port, *packet))
        m_drops.drop(DropCount::WrongPort);
}

// --- Links out ----------------------------------------------------------------------

StationLinks::Link *StationLinks::findLink(const QString &call)
{
    return const_cast<Link *>(std::as_const(*this).findLink(call));
}

const StationLinks::Link *StationLinks::findLink(const QString &call) const
{
    const QString wanted = call.trimmed();
    if (wanted.isEmpty())
        return nullptr;
    bool number = isAllDigits(wanted);
    const int id = number ? wanted.toInt(&number) : 0;
    for (const auto &[address, link] : m_links) {
        if (number ? link.id == id : link.callsign.compare(wanted, Qt::CaseInsensitive) == 0)
            return &link;
    }
    return nullptr;
}

StationLinks::Answer StationLinks::connectTo(const QString &call)
{
    const QString wanted = call.trimmed();
    if (wanted.isEmpty())
        return refusal(Automation::EmptyCallError, QStringLiteral("no station named: the call is empty"));
    if (wanted.compare(m_config.callsign, Qt::CaseInsensitive) == 0)
        return refusal(Automation::OwnCallsignError,
                       QStringLiteral("%1 is this station's own callsign").arg(m_config.callsign));
    if (findLink(wanted) != nullptr)
        return {Outcome::AlreadyLinked, {}, {}};
    if (linkCount() >= m_config.maxLinks)
        return refusal(Automation::TooManyLinksError,
                       QStringLiteral("all %1 links are in use").arg(m_config.maxLinks));
    if (wanted.size() > MaxCallLength) {
        Q_EMIT linkFailed(call, QLatin1String(Automation::NotFoundReason), {});
        return refusal(Automation::NoSuchStationError,
                       QStringLiteral("no station is named by %1 characters").arg(wanted.size()));
    }
    const StationEntry *station = m_list.find(wanted);
    if (station == nullptr) {
        // One fresh list decides; the link starts if the station is in it.
        if (m_waitingCalls.size() < MaxWaitingCalls)
            m_waitingCalls.insert(wanted.toUpper(), call);
        Q_EMIT lookupWanted();
        if (!m_haveList)
            return refusal(Automation::NoStationListError,
                           QStringLiteral("no station list from the directory yet; one is being "
                                          "fetched and the link to %1 starts if it is there")
                               .arg(FarText::clean(wanted.toUtf8())));
        return refusal(Automation::NoSuchStationError,
                       QStringLiteral("%1 is not in the station list; a fresh list is being "
                                      "fetched and the link starts if it is there")
                           .arg(FarText::clean(wanted.toUtf8())));
    }
    const auto existing = m_links.find(station->address.toIPv4Address());
    if (existing != m_links.end())
        return refusal(Automation::AddressInUseError,
                       QStringLiteral("%1 shares its address with %2, which is linked; EchoLink "
                                      "keeps one link per address")
                           .arg(station->callsign, existing->second.callsign));
    startLink(*station, call);
    return {Outcome::Started, {}, {}};
}

StationLinks::Link &StationLinks::startLink(const StationEntry &station, const QString &call)
{
    Link &link = addLink(station.address, station);
    link.calledAt.start();
    link.call = call;
    Q_EMIT callStateChanged(call, QLatin1String(Automation::LinkingState));
    Q_EMIT logLine(QStringLiteral("linking with %1 (node %2) at %3")
                       .arg(station.callsign)
                       .arg(station.id)
                       .arg(station.address.toString()));
    link.link->call();
    return link;
}

StationLinks::Link &StationLinks::addLink(const QHostAddress &address, const StationEntry &station)
{
    const quint32 key = address.toIPv4Address();
    Link &link = m_links[key];
    link.callsign = station.callsign;
    link.call = station.callsign;
    link.id = station.id;
    // No information from the link itself: it goes from linkStateChanged, with the list.
    StationLink::Local local{m_config.callsign.toLatin1(), m_config.name.toLatin1(), QByteArray(),
                             m_config.gsmOnly};
    StationLink::Timing timing;
    timing.keepAliveMs = m_config.keepAliveMs;
    timing.timeoutMs = m_config.linkTimeoutMs;
    link.link = std::make_unique<StationLink>(m_transport, address, local, timing);
    StationLink *station_link = link.link.get();
    connect(
        station_link, &StationLink::stateChanged, this,
        [this, key, station_link](StationLink::State state) { linkStateChanged(key, station_link, state); });
    connect(station_link, &StationLink::chatReceived, this, [this, key](const QByteArray &text) {
        farText(key, "chat", text);
        const auto it = m_links.find(key);
        if (it == m_links.end() || !it->second.up)
            return;
        // Chat lines come as "CALL>text"; the window names the station itself.
        const QString whole = FarText::clean(text).trimmed();
        const QString callsign = it->second.callsign;
        const QString prefix = callsign + QLatin1Char('>');
        const QString line =
            whole.startsWith(prefix, Qt::CaseInsensitive) ? whole.mid(prefix.size()).trimmed() : whole;
        Q_EMIT chatReceived(callsign, line);
        relayChat(key, whole);
    });
    connect(station_link, &StationLink::infoReceived, this,
            [this, key](const QByteArray &text) { farText(key, "info", text); });
    connect(station_link, &StationLink::talkingChanged, this, [this, key](bool talking) {
        const auto it = m_links.find(key);
        if (it != m_links.end())
            Q_EMIT talkingChanged(it->second.callsign, talking);
    });
    connect(station_link, &StationLink::firstVoiceHeard, this, [this, key](quint8 payloadType) {
        const auto it = m_links.find(key);
        if (it != m_links.end())
            Q_EMIT logLine(QStringLiteral("%1 sends %2")
                               .arg(it->second.callsign, payloadType == PayloadSpeex
                                                             ? QStringLiteral("Speex")
                                                             : QStringLiteral("GSM")));
    });
    connect(station_link, &StationLink::otherStationHeard, this,
            [this, key](const QByteArray &callsign) { otherStationHeard(key, callsign); });
    linkCountChanged();
    return link;
}

// What far stations say is logged cleaned and bounded, never as it came; chat at most
// ten lines in ten seconds.
void StationLinks::farText(quint32 key, const char *kind, const QByteArray &text)
{
    const auto it = m_links.find(key);
    if (it == m_links.end())
        return;
    Link &link = it->second;
    const bool chat = qstrcmp(kind, "chat") == 0;
    // What a station says last before a goodbye is often why it refuses.
    QString said = FarText::clean(text).simplified();
    const QString prefix = link.callsign + QLatin1Char('>');
    if (chat && said.startsWith(prefix, Qt::CaseInsensitive))
        said = said.mid(prefix.size()).trimmed();
    link.lastText = said;
    if (!chat) {
        QStringList lines;
        for (const QByteArray &line : text.split('\n').mid(0, MaxInfoLines))
            lines << FarText::clean(line).trimmed();
        link.info = lines.join(QLatin1Char('\n')).trimmed();
        Q_EMIT infoReceived(link.callsign, link.info);
    }
    if (chat && !m_chatLog.take())
        return;
    Q_EMIT logLine(QStringLiteral("%1 from %2: %3")
                       .arg(QLatin1String(kind), it->second.callsign, FarText::clean(text).simplified()));
}

void StationLinks::linkStateChanged(quint32 key, StationLink *station_link, StationLink::State state)
{
    const auto it = m_links.find(key);
    if (it == m_links.end() || it->second.link.get() != station_link)
        return;
    Link &link = it->second;
    if (state == StationLink::State::Up) {
        link.up = true;
        link.upSince = QDateTime::currentDateTimeUtc();
        link.upFor.start();
        const bool speex = station_link->sendingPayloadType() == PayloadSpeex;
        if (m_audio != nullptr) {
            link.audio = std::make_unique<LinkAudio>(*station_link, &m_encoding);
            m_audio->addLink(link.audio.get(), link.audio.get());
        }
        Q_EMIT logLine(QStringLiteral("linked with %1 (sound in %2)")
                           .arg(link.callsign, speex ? QStringLiteral("Speex") : QStringLiteral("GSM")));
        Q_EMIT callStateChanged(link.call, QLatin1String(Automation::LinkedState));
        // The new station hears the information with itself in the list: with every link
        // when the list goes out now, else on its own.
        if (!m_info.setLinks(links()))
            station_link->sendInfo(m_info.text());
        Q_EMIT linksChanged(links());
        Q_EMIT linkUp(link.callsign, link.id);
    } else if (state == StationLink::State::Ended) {
        const bool wasUp = link.up;
        const StationLink::End end = station_link->end();
        const bool relink = end == StationLink::End::FarBye && !wasUp && relinkLater(key, link);
        if (m_audio != nullptr && link.audio)
            m_audio->removeLink(link.audio.get());
        link.audio.reset();
        switch (station_link->end()) {
        case StationLink::End::NoAnswer:
            Q_EMIT logLine(QStringLiteral("%1 did not answer").arg(link.callsign));
            break;
        case StationLink::End::TimedOut:
            Q_EMIT logLine(QStringLiteral("link with %1 timed out").arg(link.callsign));
            break;
        case StationLink::End::FarBye:
            if (!relink)
                Q_EMIT logLine(
                    wasUp ? QStringLiteral("link with %1 ended by the far station").arg(link.callsign)
                          : QStringLiteral("%1 refused the link").arg(link.callsign));
            break;
        default:
            Q_EMIT logLine(QStringLiteral("link with %1 ended").arg(link.callsign));
            break;
        }
        if (wasUp) {
            m_recentDrops.dropped(key);
            m_info.setLinks(links());
            recordEnded(link);
        }
        const QString callsign = link.callsign;
        const int id = link.id;
        const QString call = link.call;
        const QString lastText = link.lastText;
        // A goodbye before the link is up, or just after, refuses it.
        const bool soon = !wasUp || link.upFor.elapsed() < RefusedWithinMs;
        // The link is still inside its own code: it goes once that returns.
        station_link->disconnect(this);
        link.link.release()->deleteLater();
        m_links.erase(it);
        if (!relink)
            reportEnd(call, lastText, end, soon);
        linkCountChanged();
        if (wasUp)
            Q_EMIT linksChanged(links());
        if (!relink)
            Q_EMIT linkEnded(callsign, id, end == StationLink::End::HungUp, wasUp);
    }
}

bool StationLinks::relinkLater(quint32 key, const Link &link)
{
    if (link.secondTry || !link.calledAt.isValid())
        return false;
    const int delayMs = m_recentDrops.retryDelayMs(key, link.calledAt.elapsed());
    if (delayMs < 0)
        return false;
    const QString callsign = link.callsign.toUpper();
    const QString call = link.call;
    const QString lastText = link.lastText;
    m_relinks.insert(callsign);
    Q_EMIT logLine(
        QStringLiteral("%1 refused the link right after the last one ended; calling once more in %2 s")
            .arg(link.callsign)
            .arg(delayMs / 1000.0, 0, 'f', 1));
    QTimer::singleShot(delayMs, this, [this, callsign, call, lastText] {
        if (!m_relinks.remove(callsign))
            return;  // dropped by the operator meanwhile
        const StationEntry *station = m_list.findCallsign(callsign);
        if (station == nullptr || findLink(callsign) != nullptr || linkCount() >= m_config.maxLinks
            || m_links.contains(station->address.toIPv4Address())) {
            Q_EMIT linkEnded(callsign, station != nullptr ? station->id : 0, false, false);
            reportEnd(call, lastText, StationLink::End::FarBye, true);
            return;
        }
        startLink(*station, call).secondTry = true;
    });
    return true;
}

void StationLinks::relayChat(quint32 from, const QString &line)
{
    const auto sender = m_links.find(from);
    if (sender == m_links.end() || !sender->second.up || line.isEmpty())
        return;
    QList<StationLink *> others;
    for (auto &[address, link] : m_links)
        if (link.up && address != from)
            others << link.link.get();
    if (others.isEmpty())
        return;
    const ChatRelay::Line relayed = ChatRelay::attributed(sender->second.callsign, line);
    switch (m_chat.takeReceived(relayed)) {
    case ChatRelay::Verdict::Seen:
        return;  // it came round again
    case ChatRelay::Verdict::TooFast:
        if (m_relayLog.take())
            Q_EMIT logLine(QStringLiteral("chat from %1 not passed on: more than %2 lines a second go out")
                               .arg(sender->second.callsign)
                               .arg(ChatRelay::LinesPerSecond));
        return;
    case ChatRelay::Verdict::Relay:
        break;
    }
    const QByteArray writer = relayed.from.toLatin1(), text = relayed.text.toLatin1();
    for (StationLink *link : others)
        link->relayChat(writer, text);
}

void StationLinks::sendInfoToAll(const QByteArray &text)
{
    for (auto &[address, link] : m_links)
        if (link.up)
            link.link->sendInfo(text);
}

void StationLinks::dropIdleLinks()
{
    QList<QPair<QString, StationLink *>> idle;
    for (const auto &[address, link] : m_links)
        if (link.up && link.link->quietMs() >= m_config.idleTimeoutMs)
            idle.append({link.callsign, link.link.get()});
    for (const auto &[callsign, link] : idle) {
        Q_EMIT logLine(QStringLiteral("dropping %1: no sound either way for %2 min ([Links] IdleTimeoutMin)")
                           .arg(callsign)
                           .arg(m_config.idleTimeoutMs / 60000.0, 0, 'g', 3));
        link->hangUp();  // reports the end through linkStateChanged
    }
}

void StationLinks::reportEnd(const QString &call, const QString &lastText, StationLink::End end, bool soon)
{
    Q_EMIT callStateChanged(call, QLatin1String(Automation::UnlinkedState));
    const char *reason = nullptr;
    switch (end) {
    case StationLink::End::NoAnswer:
        reason = Automation::NoAnswerReason;
        break;
    case StationLink::End::TimedOut:
        reason = Automation::DroppedReason;
        break;
    case StationLink::End::FarBye:
        reason = soon ? Automation::RefusedReason : Automation::DroppedReason;
        break;
    case StationLink::End::HungUp:
    case StationLink::End::None:
        return;  // this station ended it
    }
    Q_EMIT linkFailed(call, QLatin1String(reason), lastText);
}

int StationLinks::sendChat(const QString &text)
{
    const QByteArray line = text.toLatin1();
    int sent = 0;
    for (auto &[address, link] : m_links)
        if (link.up && link.link->sendChat(line))
            ++sent;
    return sent;
}

bool StationLinks::isConnected(const QString &call) const
{
    const Link *link = findLink(call);
    return link != nullptr && link->up;
}

void StationLinks::disconnect(const QString &call)
{
    m_waitingCalls.remove(call.trimmed().toUpper());
    if (const StationEntry *station = m_list.find(call))
        m_relinks.remove(station->callsign.toUpper());
    if (Link *link = findLink(call))
        link->link->hangUp();  // reports the end through linkStateChanged
}

void StationLinks::disconnectAll()
{
    m_waitingCalls.clear();
    m_relinks.clear();
    QList<StationLink *> all;
    for (const auto &[address, link] : m_links)
        all << link.link.get();
    for (StationLink *link : all)
        link->hangUp();
}

QList<QHostAddress> StationLinks::linkAddresses() const
{
    QList<QHostAddress> addresses;
    for (const auto &[address, link] : m_links)
        addresses << QHostAddress(address);
    return addresses;
}

QString StationLinks::infoText(const QString &callsign) const
{
    for (const auto &[address, link] : m_links)
        if (link.callsign.compare(callsign, Qt::CaseInsensitive) == 0)
            return link.info;
    return {};
}

QStringList StationLinks::links() const
{
    QStringList up;
    for (const auto &[address, link] : m_links)
        if (link.up)
            up << link.callsign;
    up.sort();
    return up;
}

// --- The station list ---------------------------------------------------------------

void StationLinks::setStationList(const StationList &list)
{
    m_list = list;
    m_haveList = true;
    const QHash<QString, QString> calls = std::exchange(m_waitingCalls, {});
    for (const QString &call : calls) {
        const StationEntry *station = m_list.find(call);
        if (station == nullptr) {
            Q_EMIT logLine(QStringLiteral("no such station: %1").arg(FarText::clean(call.toUtf8())));
            Q_EMIT linkFailed(call, QLatin1String(Automation::NotFoundReason), {});
            continue;
        }
        if (findLink(call) == nullptr && linkCount() < m_config.maxLinks
            && !m_links.contains(station->address.toIPv4Address()))
            startLink(*station, call);
    }
    const QHash<quint32, Caller> callers = std::exchange(m_waitingCallers, {});
    for (auto it = callers.cbegin(); it != callers.cend(); ++it)
        takeCaller(QHostAddress(it.key()), it.value());
}

void StationLinks::stationListFailed(const QString &reason)
{
    for (const QString &call : std::exchange(m_waitingCalls, {})) {
        Q_EMIT logLine(QStringLiteral("cannot look up %1: %2").arg(FarText::clean(call.toUtf8()), reason));
        Q_EMIT linkFailed(call, QLatin1String(Automation::NotFoundReason), reason);
    }
    const QHash<quint32, Caller> callers = std::exchange(m_waitingCallers, {});
    for (auto it = callers.cbegin(); it != callers.cend(); ++it)
        refuse(QHostAddress(it.key()), it.value().callsign, Refusal::Unconfirmed);
}

// --- Links in -----------------------------------------------------------------------

void StationLinks::callerHeard(const QHostAddress &address, quint16 port, const ControlPacket &sdes)
{
    const quint32 key = address.toIPv4Address();
    const QString call = FarText::clean(sdes.callsign).trimmed().toUpper();
    // Refused a short while ago, or being decided: not even an answer. A caller refused
    // only because every link was in use is weighed again once one is free.
    const bool refusedBusy = m_refused.tag(key) == quint8(Refusal::Busy);
    if ((m_refused.isRefused(key) && !(refusedBusy && !m_busy)) || m_waitingCallers.contains(key))
        return;
    if (call.isEmpty()) {
        m_drops.drop(DropCount::Malformed);
        return;
    }
    if (!m_config.acceptsCaller(call)) {
        refuse(address, call, Refusal::Policy);
        return;
    }
    if (m_operatorBusy || linkCount() >= m_config.maxLinks) {
        refuse(address, call, Refusal::Busy);
        return;
    }
    if (m_list.findCallsign(call) != nullptr) {
        takeCaller(address, {call, port, sdes});
        return;
    }
    // Not in the list in hand: one fresh list decides, but unknown callers may ask for
    // at most one list per interval, so forged packets cannot flood the directory.
    if ((m_lastCallerFetch.isValid() && !m_lastCallerFetch.hasExpired(m_config.unknownCallerFetchMs))
        || m_waitingCallers.size() >= MaxWaitingCallers) {
        refuse(address, call, Refusal::NotListed);
        return;
    }
    m_lastCallerFetch.start();
    m_waitingCallers.insert(key, {call, port, sdes});
    Q_EMIT stationListWanted();
}

void StationLinks::takeCaller(const QHostAddress &address, const Caller &caller)
{
    const QString &call = caller.callsign;
    const StationEntry *station = m_list.findCallsign(call);
    if (station == nullptr) {
        refuse(address, call, Refusal::NotListed);
        return;
    }
    if (station->address != address) {
        refuse(address, call, Refusal::OtherAddress);
        return;
    }
    if (m_operatorBusy || m_links.contains(address.toIPv4Address()) || linkCount() >= m_config.maxLinks) {
        refuse(address, call, Refusal::Busy);
        return;
    }
    Link &link = addLink(address, *station);
    link.incoming = true;
    Q_EMIT logLine(QStringLiteral("%1 calls in from %2").arg(call, address.toString()));
    link.link->accept(caller.opening, caller.port);
}

void StationLinks::refuse(const QHostAddress &address, const QString &call, Refusal why)
{
    QString reason;
    bool longMemory = true;
    switch (why) {
    case Refusal::Policy:
        reason = QStringLiteral("%1 does not take links from %2").arg(m_config.callsign, call);
        break;
    case Refusal::NotListed:
        reason = QStringLiteral("%1 is not in the directory's station list").arg(call);
        break;
    case Refusal::OtherAddress:
        reason = QStringLiteral("the directory lists %1 at another address").arg(call);
        break;
    case Refusal::Busy:
        reason = m_operatorBusy ? QStringLiteral("%1 is busy").arg(m_config.callsign)
                                : QStringLiteral("%1 is busy: all links are in use").arg(m_config.callsign);
        longMemory = false;
        break;
    case Refusal::Unconfirmed:
        reason = QStringLiteral("the directory cannot confirm your station just now");
        longMemory = false;
        break;
    }
    const quint32 key = address.toIPv4Address();
    const int memoryMs =
        longMemory ? m_config.refusedMemoryMs : std::min(ShortRefusalMs, m_config.refusedMemoryMs);
    if (memoryMs > 0)
        m_refused.remember(key, memoryMs, quint8(why));
    if (!m_refused.takeAnswer(key))
        return;  // told within the last minute
    Q_EMIT logLine(QStringLiteral("refused %1 from %2: %3").arg(call, address.toString(), reason));
    // The reason goes out on the audio port and the goodbye on the control port; holding
    // the goodbye back a little lets the reason arrive first.
    m_transport.sendAudio(address, AudioPacket::info(reason.toLatin1()));
    QTimer::singleShot(RefusalHoldMs, this, [this, address] {
        if (!m_links.contains(address.toIPv4Address()))
            m_transport.sendControl(address, ControlPacket::bye());
    });
}

// EchoLink keeps one link per address: a second station behind a linked address is told
// it cannot link (once a minute at most), and the link stays the first station's.
void StationLinks::otherStationHeard(quint32 key, const QByteArray &callsign)
{
    const auto it = m_links.find(key);
    if (it == m_links.end())
        return;
    Link &link = it->second;
    if (link.toldOthers.isValid() && !link.toldOthers.hasExpired(OtherStationTellMs))
        return;
    link.toldOthers.start();
    const QString heard = FarText::clean(callsign).trimmed();
    Q_EMIT logLine(QStringLiteral("refused %1 from %2: %3 is linked from that address")
                       .arg(heard, QHostAddress(key).toString(), link.callsign));
    link.link->sendInfo(QStringLiteral("%1 is already linked with %2 at your address; EchoLink "
                                       "keeps one link per address")
                            .arg(m_config.callsign, link.callsign)
                            .toLatin1());
}

void StationLinks::setOperatorBusy(bool busy)
{
    m_operatorBusy = busy;
    linkCountChanged();
}

void StationLinks::recordEnded(const Link &link)
{
    if (m_linksLog == nullptr)
        return;
    const QString error =
        m_linksLog->record(link.callsign, link.incoming ? LinksLog::Direction::In : LinksLog::Direction::Out,
                           link.upSince, QDateTime::currentDateTimeUtc());
    if (!error.isEmpty())
        Q_EMIT logLine(QStringLiteral("links.log: %1").arg(error));
}

void StationLinks::linkCountChanged()
{
    // Idle links are looked for only while there are links: no wake-ups otherwise.
    if (m_config.idleTimeoutMs > 0 && (linkCount() > 0) != m_idleCheck.isActive()) {
        if (linkCount() > 0)
            m_idleCheck.start();
        else
            m_idleCheck.stop();
    }
    const bool busy = m_operatorBusy || linkCount() >= m_config.maxLinks;
    if (busy == m_busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged(busy);
}
