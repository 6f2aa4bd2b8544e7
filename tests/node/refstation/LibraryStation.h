// The reference station: the EchoLink library's dispatcher bound to one address, its links,
// and the commands read from standard input, one a line:
//   call IP CALLSIGN   link out to the station at IP
//   accept             accept the stations that asked to link and wait (without --accept-all)
//   chat TEXT, info TEXT   to every link (\n, \r and \\ in TEXT are turned into bytes)
//   bye                disconnect every link
//   tone HZ DBFS, tone off   a sine (peak level DBFS) into every link, or stop it
//   quit               disconnect every link and end
// Events, one a line on standard output (text escaped as EventLine.h says):
//   ready                          listening (with a proxy: logged in to it), commands are read
//   proxy up|down                  with a proxy: the library's proxy client logged in, or lost it
//   incoming CALL IP PRIV          a station asked to link (PRIV: "SPEEX" when it offers Speex)
//   state CALL connecting|connected|bye|disconnected
//   chat CALL TEXT, info CALL TEXT as the library delivers them (chat as "CALL>text\n\n":
//                                  the far end's CR LF, each turned into LF by the library)
//   audio CALL on|off              the far station starts or stops sending sound
//   codec CALL GSM|SPEEX           the codec of the sound it sends (the voice packets'
//                                  payload type), when it first comes and when it changes
//   heard CALL HZ DBFS             once a second while sound comes: its dominant frequency and
//                                  level (ToneAnalysis.h)
//   error TEXT                     a command that could not be carried out
#pragma once

#include "LibraryLink.h"
#include "StationIdentity.h"
#include "ToneSource.h"

#include <AsyncAudioSplitter.h>
#include <AsyncFdWatch.h>
#include <AsyncIpAddress.h>
#include <AsyncTimer.h>
#include <EchoLinkProxy.h>

#include <map>
#include <memory>
#include <string>

namespace RefStation {

class LibraryStation : public sigc::trackable
{
public:
    LibraryStation(StationIdentity identity, bool acceptAll);
    ~LibraryStation();

    // Binds the library's EchoLink ports (5198, 5199) to `address` and starts reading
    // commands; false when the address cannot be bound.
    bool start(const std::string &address);
    // Instead of ports of its own, the library's proxy client to host:port with this
    // password (empty: a public proxy); ready once the client has logged in.
    bool startThroughProxy(const std::string &host, uint16_t port, const std::string &password);

    // Asked to end (a command or a signal): every link is told bye first.
    sigc::signal<void> finished;

private:
    struct Caller
    {
        std::string callsign;
        std::string name;
        std::string priv;
    };

    bool startDispatcher();
    void readCommands();
    void runCommand(const std::string &line);
    void callStation(const std::string &address, const std::string &callsign);
    void incomingConnection(const Async::IpAddress &address, const std::string &callsign,
                            const std::string &name, const std::string &priv);
    void acceptCaller(const Async::IpAddress &address, const Caller &caller);
    LibraryLink *addLink(const Async::IpAddress &address, const std::string &callsign);
    void dropLink(const Async::IpAddress &address, LibraryLink *link);
    void reportHeard();
    void forEachLink(const sigc::slot<void, LibraryLink &> &action);

    StationIdentity m_identity;
    bool m_acceptAll;
    std::map<Async::IpAddress, std::unique_ptr<LibraryLink>> m_links;
    std::map<Async::IpAddress, Caller> m_waiting;
    ToneSource m_tone;
    Async::AudioSplitter m_splitter;
    Async::FdWatch m_input;
    std::string m_pending;
    Async::Timer m_heardTimer;
    std::unique_ptr<EchoLink::Proxy> m_proxy;  // outlives the dispatcher, which sends through it
    bool m_started = false;
};

}  // namespace RefStation
