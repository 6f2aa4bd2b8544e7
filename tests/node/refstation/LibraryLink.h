// One link of the reference station: the library's Qso with a far station, reported as
// event lines under the far station's callsign (state, chat, info, received sound and its
// codec), and the meter of the sound it brings.
#pragma once

#include "ReceiveMeter.h"
#include "StationIdentity.h"

#include <EchoLinkQso.h>

#include <sigc++/sigc++.h>

#include <string>

namespace RefStation {

class LibraryLink : public sigc::trackable
{
public:
    LibraryLink(const Async::IpAddress &address, const std::string &farCallsign,
                const StationIdentity &local);
    // Says bye when still linked; reports that, but no longer as closed.
    ~LibraryLink();

    bool isValid() { return m_qso.initOk(); }
    EchoLink::Qso &qso() { return m_qso; }
    const std::string &label() const { return m_label; }

    // Reports what was heard since the last call, when anything was.
    void reportHeard();

    // The link went down; the owner deletes it outside the library's call.
    sigc::signal<void> closed;

private:
    void stateChanged(EchoLink::Qso::State state);
    void packetReceived(const EchoLink::Qso::RawPacket *packet);

    EchoLink::Qso m_qso;
    ReceiveMeter m_meter;
    std::string m_label;
    std::string m_codec;
};

}  // namespace RefStation
