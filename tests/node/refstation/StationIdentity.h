// How the reference station presents itself on every link.
#pragma once

#include <string>

namespace RefStation {

struct StationIdentity
{
    std::string callsign;
    std::string name;
    std::string info;
    // Offers and accepts GSM only (no Speex in its connect datagrams).
    bool gsmOnly = false;
};

}  // namespace RefStation
