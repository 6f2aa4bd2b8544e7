#include "LibraryStation.h"

#include "EventLine.h"

#include <AsyncApplication.h>
#include <EchoLinkDispatcher.h>

#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace RefStation {

// A command line longer than this is dropped whole: the driver is a test, not a user.
constexpr size_t MaxCommandLength = 64 * 1024;

LibraryStation::LibraryStation(StationIdentity identity, bool acceptAll)
    : m_identity(std::move(identity)), m_acceptAll(acceptAll),
      m_heardTimer(1000, Async::Timer::TYPE_PERIODIC, false)
{
    m_tone.registerSink(&m_splitter);
    m_heardTimer.expired.connect([this](Async::Timer *) { reportHeard(); });
}

LibraryStation::~LibraryStation()
{
    // Links go first: each says bye through the dispatcher, which then goes.
    for (auto &[address, link] : m_links)
        m_splitter.removeSink(&link->qso());
    m_links.clear();
    EchoLink::Dispatcher::deleteInstance();
}

bool LibraryStation::start(const std::string &address)
{
    Async::IpAddress bindAddress;
    if (!bindAddress.setIpFromString(address)) {
        event("error not an address: " + escaped(address));
        return false;
    }
    EchoLink::Dispatcher::setBindAddr(bindAddress);
    if (!startDispatcher()) {
        event("error cannot bind " + address);
        return false;
    }
    return true;
}

bool LibraryStation::startThroughProxy(const std::string &host, uint16_t port, const std::string &password)
{
    // The library's dispatcher sends through the proxy when one exists as it is made.
    m_proxy = std::make_unique<EchoLink::Proxy>(host, port, m_identity.callsign, password);
    m_proxy->proxyReady.connect([this](bool up) {
        event(up ? "proxy up" : "proxy down");
        if (up && !m_started && !startDispatcher())
            event("error no dispatcher");
    });
    m_proxy->connect();
    return true;
}

bool LibraryStation::startDispatcher()
{
    EchoLink::Dispatcher *dispatcher = EchoLink::Dispatcher::instance();
    if (dispatcher == nullptr)
        return false;
    m_started = true;
    dispatcher->incomingConnection.connect(sigc::mem_fun(*this, &LibraryStation::incomingConnection));
    m_input.setFd(STDIN_FILENO, Async::FdWatch::FD_WATCH_RD);
    m_input.activity.connect([this](Async::FdWatch *) { readCommands(); });
    m_input.setEnabled(true);
    m_heardTimer.setEnable(true);
    event("ready");
    return true;
}

void LibraryStation::readCommands()
{
    char buffer[4096];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
        // The driver is gone: nothing more will come.
        m_input.setEnabled(false);
        finished();
        return;
    }
    m_pending.append(buffer, size_t(got));
    size_t end;
    while ((end = m_pending.find('\n')) != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        runCommand(line);
    }
    if (m_pending.size() > MaxCommandLength) {
        event("error command too long");
        m_pending.clear();
    }
}

void LibraryStation::runCommand(const std::string &line)
{
    const size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    std::istringstream words(rest);
    if (verb == "call") {
        std::string address, callsign;
        words >> address >> callsign;
        callStation(address, callsign);
    } else if (verb == "accept") {
        const auto waiting = std::move(m_waiting);
        m_waiting.clear();
        for (const auto &[address, caller] : waiting)
            acceptCaller(address, caller);
    } else if (verb == "chat") {
        const std::string text = unescaped(rest);
        forEachLink([&text](LibraryLink &link) { link.qso().sendChatData(text); });
    } else if (verb == "info") {
        const std::string text = unescaped(rest);
        forEachLink([&text](LibraryLink &link) { link.qso().sendInfoData(text); });
    } else if (verb == "bye") {
        forEachLink([](LibraryLink &link) { link.qso().disconnect(); });
    } else if (verb == "tone") {
        std::string frequency, level;
        words >> frequency >> level;
        if (frequency == "off") {
            m_tone.stop();
            return;
        }
        char *frequencyEnd = nullptr, *levelEnd = nullptr;
        const double hz = std::strtod(frequency.c_str(), &frequencyEnd);
        const double dbfs = std::strtod(level.c_str(), &levelEnd);
        if (frequency.empty() || level.empty() || *frequencyEnd != '\0' || *levelEnd != '\0'
            || !(hz > 0.0 && hz < 4000.0) || !(dbfs <= 0.0 && dbfs > -120.0)) {
            event("error tone wants HZ (below 4000) and DBFS (0 or less), or off");
            return;
        }
        m_tone.start(hz, dbfs);
    } else if (verb == "quit") {
        finished();
    } else if (!verb.empty()) {
        event("error unknown command: " + escaped(verb));
    }
}

void LibraryStation::callStation(const std::string &address, const std::string &callsign)
{
    Async::IpAddress far;
    if (callsign.empty() || !far.setIpFromString(address) || !far.isUnicast()) {
        event("error call wants IP CALLSIGN");
        return;
    }
    if (m_links.count(far) != 0) {
        event("error already linked with " + address);
        return;
    }
    LibraryLink *link = addLink(far, callsign);
    if (link != nullptr && !link->qso().connect())
        event("error cannot call " + address);
}

void LibraryStation::incomingConnection(const Async::IpAddress &address, const std::string &callsign,
                                        const std::string &name, const std::string &priv)
{
    event("incoming " + escaped(callsign) + ' ' + address.toString() + ' ' + escaped(priv));
    const Caller caller{callsign, name, priv};
    if (m_acceptAll)
        acceptCaller(address, caller);
    else
        m_waiting[address] = caller;
}

void LibraryStation::acceptCaller(const Async::IpAddress &address, const Caller &caller)
{
    if (m_links.count(address) != 0)
        return;
    LibraryLink *link = addLink(address, caller.callsign);
    if (link == nullptr)
        return;
    link->qso().setRemoteName(caller.name);
    link->qso().setRemoteParams(caller.priv);
    if (!link->qso().accept())
        event("error cannot accept " + address.toString());
}

LibraryLink *LibraryStation::addLink(const Async::IpAddress &address, const std::string &callsign)
{
    auto link = std::make_unique<LibraryLink>(address, callsign, m_identity);
    if (!link->isValid()) {
        event("error cannot link with " + address.toString());
        return nullptr;
    }
    LibraryLink *added = link.get();
    m_splitter.addSink(&added->qso());
    added->closed.connect([this, address, added]() {
        // Deleted once the library has returned from the call that reported it.
        Async::Application::app().runTask([this, address, added]() { dropLink(address, added); });
    });
    m_links[address] = std::move(link);
    return added;
}

void LibraryStation::dropLink(const Async::IpAddress &address, LibraryLink *link)
{
    const auto it = m_links.find(address);
    if (it == m_links.end() || it->second.get() != link)
        return;
    m_splitter.removeSink(&link->qso());
    m_links.erase(it);
}

void LibraryStation::reportHeard()
{
    forEachLink([](LibraryLink &link) { link.reportHeard(); });
}

void LibraryStation::forEachLink(const sigc::slot<void, LibraryLink &> &action)
{
    for (auto &[address, link] : m_links)
        action(*link);
}

}  // namespace RefStation
