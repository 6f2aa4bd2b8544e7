#include "StationLinks.h"

#include "AsyncAddress.h"
#include "FarText.h"
#include "audio/StationAudio.h"

#include <EchoLinkQso.h>

#include <QTimer>

#include <algorithm>

namespace {

const QString ErrorPrefix = QStringLiteral("org.dialboard.EchoLink.Error.");
constexpr int MaxWaitingCalls = 40;  // links waiting for a fresh list, at most
constexpr int MaxRemembered = 4096;  // refused addresses remembered, at most
constexpr int RefusalHoldMs = 300;   // a refused caller is held this long to hear why
constexpr int SharedAddressCheckMs = 5000;  // how often links are checked for a second station

bool isAllDigits(const QString &text)
{
    return !text.isEmpty()
           && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; });
}

StationLinks::Answer refusal(const char *name, const QString &message)
{
    return {StationLinks::Outcome::Refused, ErrorPrefix + QLatin1String(name), message};
}

}  // namespace

StationLinks::StationLinks(const NodeConfig &config, QObject *parent)
    : QObject(parent), m_config(config)
{
    m_sharedAddressCheck.setInterval(SharedAddressCheckMs);
    connect(&m_sharedAddressCheck, &QTimer::timeout, this, &StationLinks::checkSharedAddresses);
}

StationLinks::~StationLinks()
{
    for (const auto &[address, link] : m_links) {
        if (m_audio != nullptr)
            m_audio->removeLink(link.qso.get());
        // A link still up says goodbye as it goes, and reports that to nobody: the map
        // it would report to is being taken down.
        link.qso->stateChange.clear();
        link.qso->chatMsgReceived.clear();
        link.qso->infoMsgReceived.clear();
        link.qso->isReceiving.clear();
    }
    qDeleteAll(m_refusing);
}

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
        return refusal("EmptyCall", QStringLiteral("no station named: the call is empty"));
    if (wanted.compare(m_config.callsign, Qt::CaseInsensitive) == 0)
        return refusal("OwnCallsign", QStringLiteral("%1 is this station's own callsign").arg(m_config.callsign));
    if (findLink(wanted) != nullptr)
        return {Outcome::AlreadyLinked, {}, {}};
    if (linkCount() >= m_config.maxLinks)
        return refusal("TooManyLinks", QStringLiteral("all %1 links are in use").arg(m_config.maxLinks));
    const StationEntry *station = m_list.find(wanted);
    if (station == nullptr) {
        // One fresh list decides; the link starts if the station is in it.
        if (m_waitingCalls.size() < MaxWaitingCalls)
            m_waitingCalls.insert(wanted.toUpper());
        Q_EMIT lookupWanted();
        if (!m_haveList)
            return refusal("NoStationList",
                           QStringLiteral("no station list from the directory yet; one is being "
                                          "fetched and the link to %1 starts if it is there")
                               .arg(FarText::clean(wanted.toUtf8())));
        return refusal("NoSuchStation",
                       QStringLiteral("%1 is not in the station list; a fresh list is being "
                                      "fetched and the link starts if it is there")
                           .arg(FarText::clean(wanted.toUtf8())));
    }
    const auto existing = m_links.find(station->address.toIPv4Address());
    if (existing != m_links.end())
        return refusal("AddressInUse",
                       QStringLiteral("%1 shares its address with %2, which is linked; EchoLink "
                                      "keeps one link per address")
                           .arg(station->callsign, existing->second.callsign));
    startLink(*station);
    return {Outcome::Started, {}, {}};
}

void StationLinks::startLink(const StationEntry &station)
{
    Link &link = addLink(station.address, station);
    if (link.qso->initOk() && link.qso->connect()) {
        Q_EMIT logLine(QStringLiteral("linking with %1 (node %2) at %3")
                           .arg(station.callsign).arg(station.id).arg(station.address.toString()));
        return;
    }
    Q_EMIT logLine(QStringLiteral("cannot link with %1").arg(station.callsign));
    m_links.erase(station.address.toIPv4Address());
    linkCountChanged();
}

StationLinks::Link &StationLinks::addLink(const QHostAddress &address, const StationEntry &station)
{
    const quint32 key = address.toIPv4Address();
    Link &link = m_links[key];
    link.callsign = station.callsign;
    link.id = station.id;
    link.qso = std::make_unique<EchoLink::Qso>(toAsyncAddress(address), m_config.callsign.toStdString(),
                                               m_config.name.toStdString(),
                                               m_config.stationInfo().toStdString());
    EchoLink::Qso *qso = link.qso.get();
    if (m_config.gsmOnly)
        qso->setUseGsmOnly();
    qso->stateChange.connect([this, key, qso](EchoLink::Qso::State state) {
        linkStateChanged(key, qso, state);
    });
    // What far stations say is logged cleaned and bounded, never as it came.
    auto logText = [this, key](const char *kind, const std::string &text) {
        const auto it = m_links.find(key);
        if (it != m_links.end())
            Q_EMIT logLine(QStringLiteral("%1 from %2: %3")
                               .arg(QLatin1String(kind), it->second.callsign,
                                    FarText::clean(text).simplified()));
    };
    qso->chatMsgReceived.connect([this, key, logText](const std::string &text) {
        logText("chat", text);
        const auto it = m_links.find(key);
        if (it == m_links.end() || !it->second.up)
            return;
        // Chat lines come as "CALL>text"; the window names the station itself.
        QString line = FarText::clean(text).trimmed();
        const QString prefix = it->second.callsign + QLatin1Char('>');
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            line = line.mid(prefix.size()).trimmed();
        Q_EMIT chatReceived(it->second.callsign, line);
    });
    qso->isReceiving.connect([this, key](bool talking) {
        const auto it = m_links.find(key);
        if (it != m_links.end())
            Q_EMIT talkingChanged(it->second.callsign, talking);
    });
    qso->infoMsgReceived.connect([logText](const std::string &text) { logText("info", text); });
    linkCountChanged();
    return link;
}

void StationLinks::linkStateChanged(quint32 key, EchoLink::Qso *qso, int state)
{
    const auto it = m_links.find(key);
    if (it == m_links.end() || it->second.qso.get() != qso)
        return;
    Link &link = it->second;
    if (state == EchoLink::Qso::STATE_CONNECTED) {
        link.up = true;
        if (m_audio != nullptr)
            m_audio->addLink(qso, qso);
        Q_EMIT logLine(QStringLiteral("linked with %1").arg(link.callsign));
        Q_EMIT linksChanged(links());
    } else if (state == EchoLink::Qso::STATE_DISCONNECTED) {
        const bool wasUp = link.up;
        if (m_audio != nullptr)
            m_audio->removeLink(qso);
        Q_EMIT logLine(wasUp ? QStringLiteral("link with %1 ended").arg(link.callsign)
                             : QStringLiteral("%1 did not answer").arg(link.callsign));
        // The library is still inside the link's own code: the link goes once it returns.
        m_ended.push_back(std::move(link));
        m_links.erase(it);
        QTimer::singleShot(0, this, [this] { m_ended.clear(); });
        linkCountChanged();
        if (wasUp)
            Q_EMIT linksChanged(links());
    }
}

int StationLinks::sendChat(const QString &text)
{
    const std::string line = text.toLatin1().toStdString();
    int sent = 0;
    for (auto &[address, link] : m_links)
        if (link.up && link.qso->sendChatData(line))
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
    if (Link *link = findLink(call))
        link->qso->disconnect();  // reports the end through linkStateChanged
}

void StationLinks::disconnectAll()
{
    m_waitingCalls.clear();
    QList<EchoLink::Qso *> qsos;
    for (const auto &[address, link] : m_links)
        qsos << link.qso.get();
    for (EchoLink::Qso *qso : qsos)
        qso->disconnect();
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

void StationLinks::setStationList(const StationList &list)
{
    m_list = list;
    m_haveList = true;
    const QSet<QString> calls = std::exchange(m_waitingCalls, {});
    for (const QString &call : calls) {
        const StationEntry *station = m_list.find(call);
        if (station == nullptr) {
            Q_EMIT logLine(QStringLiteral("no such station: %1").arg(FarText::clean(call.toUtf8())));
            continue;
        }
        if (findLink(call) == nullptr && linkCount() < m_config.maxLinks
            && !m_links.contains(station->address.toIPv4Address()))
            startLink(*station);
    }
    const QHash<quint32, Caller> callers = std::exchange(m_waitingCallers, {});
    for (auto it = callers.cbegin(); it != callers.cend(); ++it)
        takeCaller(QHostAddress(it.key()), it.value());
}

void StationLinks::stationListFailed(const QString &reason)
{
    for (const QString &call : std::exchange(m_waitingCalls, {}))
        Q_EMIT logLine(QStringLiteral("cannot look up %1: %2").arg(FarText::clean(call.toUtf8()), reason));
    const QHash<quint32, Caller> callers = std::exchange(m_waitingCallers, {});
    for (auto it = callers.cbegin(); it != callers.cend(); ++it)
        refuse(QHostAddress(it.key()), it.value().callsign,
               QStringLiteral("the directory cannot confirm your station just now"), false);
}

void StationLinks::incomingConnection(const Async::IpAddress &ip, const std::string &callsign,
                                      const std::string &, const std::string &offers)
{
    const QHostAddress address = toQtAddress(ip);
    const quint32 key = address.toIPv4Address();
    const QString call = FarText::clean(callsign).trimmed().toUpper();
    const auto refusedUntil = m_refused.constFind(key);
    if (refusedUntil != m_refused.constEnd()) {
        if (!refusedUntil->hasExpired())
            return;  // refused a short while ago: not even an answer
        m_refused.erase(refusedUntil);
    }
    if (m_links.contains(key) || m_waitingCallers.contains(key))
        return;
    if (!m_config.acceptsCaller(call)) {
        refuse(address, call, QStringLiteral("%1 does not take links from %2").arg(m_config.callsign, call), true);
        return;
    }
    if (linkCount() >= m_config.maxLinks) {
        refuse(address, call, QStringLiteral("%1 is busy: all links are in use").arg(m_config.callsign), false);
        return;
    }
    if (m_list.findCallsign(call) != nullptr) {
        takeCaller(address, {call, offers});
        return;
    }
    // Not in the list in hand: one fresh list decides, but unknown callers may ask for
    // at most one list per interval, so forged packets cannot flood the directory.
    if (m_lastCallerFetch.isValid() && !m_lastCallerFetch.hasExpired(m_config.unknownCallerFetchMs)) {
        refuse(address, call, QStringLiteral("%1 is not in the directory's station list").arg(call), true);
        return;
    }
    m_lastCallerFetch.start();
    m_waitingCallers.insert(key, {call, offers});
    Q_EMIT stationListWanted();
}

void StationLinks::takeCaller(const QHostAddress &address, const Caller &caller)
{
    const QString &call = caller.callsign;
    const StationEntry *station = m_list.findCallsign(call);
    if (station == nullptr) {
        refuse(address, call, QStringLiteral("%1 is not in the directory's station list").arg(call), true);
        return;
    }
    if (station->address != address) {
        refuse(address, call,
               QStringLiteral("the directory lists %1 at another address").arg(call), true);
        return;
    }
    if (m_links.contains(address.toIPv4Address()) || linkCount() >= m_config.maxLinks) {
        refuse(address, call, QStringLiteral("%1 is busy").arg(m_config.callsign), false);
        return;
    }
    Link &link = addLink(address, *station);
    Q_EMIT logLine(QStringLiteral("%1 calls in from %2").arg(call, address.toString()));
    // The caller said what it offers before its link existed; the link would otherwise
    // learn it only from the caller's next station information, seconds later.
    link.qso->setRemoteParams(caller.offers);
    if (!link.qso->initOk() || !link.qso->accept()) {
        m_links.erase(address.toIPv4Address());
        linkCountChanged();
    }
}

void StationLinks::refuse(const QHostAddress &address, const QString &call, const QString &reason,
                          bool remember)
{
    Q_EMIT logLine(QStringLiteral("refused %1 from %2: %3").arg(call, address.toString(), reason));
    if (remember && m_config.refusedMemoryMs > 0) {
        if (m_refused.size() >= MaxRemembered)
            m_refused.removeIf([](const auto &entry) { return entry.value().hasExpired(); });
        if (m_refused.size() < MaxRemembered)
            m_refused.insert(address.toIPv4Address(), QDeadlineTimer(m_config.refusedMemoryMs));
    }
    // The library offers only accept and disconnect: the caller is taken just long
    // enough to receive the reason as station information, then dropped.
    // The reason goes out on the audio port and the goodbye on the control port; holding
    // the goodbye back a little lets the reason arrive first.
    auto *qso = new EchoLink::Qso(toAsyncAddress(address), m_config.callsign.toStdString(),
                                  m_config.name.toStdString(), reason.toStdString());
    m_refusing.append(qso);
    if (qso->initOk())
        qso->accept();
    QTimer::singleShot(RefusalHoldMs, this, [this, qso] {
        m_refusing.removeOne(qso);
        delete qso;  // says goodbye
    });
}

// The library keeps one link per address and takes whatever arrives from that address
// as the linked station's: a second station behind the same address shows only as the
// link's far callsign changing. It is told it cannot link, and the link stays the first
// station's.
void StationLinks::checkSharedAddresses()
{
    for (auto &[address, link] : m_links) {
        if (!link.up)
            continue;
        const QString heard = FarText::clean(link.qso->remoteCallsign()).trimmed();
        if (heard.isEmpty() || heard == QLatin1String("?")
            || heard.compare(link.callsign, Qt::CaseInsensitive) == 0)
            continue;
        Q_EMIT logLine(QStringLiteral("refused %1 from %2: %3 is linked from that address")
                           .arg(heard, QHostAddress(address).toString(), link.callsign));
        link.qso->sendInfoData(QStringLiteral("%1 is already linked with %2 at your address; EchoLink "
                                              "keeps one link per address")
                                   .arg(m_config.callsign, link.callsign)
                                   .toStdString());
        link.qso->setRemoteCallsign(link.callsign.toStdString());
    }
}

void StationLinks::linkCountChanged()
{
    if (m_links.empty())
        m_sharedAddressCheck.stop();
    else if (!m_sharedAddressCheck.isActive())
        m_sharedAddressCheck.start();
    const bool busy = linkCount() >= m_config.maxLinks;
    if (busy == m_busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged(busy);
}
