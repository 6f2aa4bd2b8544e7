// A reference EchoLink station on Debian's EchoLink library, driven by a test through its
// standard input and output (commands and events: refstation/LibraryStation.h). The
// library's dispatcher is one per process, so each station is its own process.
#include "refstation/EventLine.h"
#include "refstation/LibraryStation.h"

#include <AsyncCppApplication.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

static int usage()
{
    std::cerr << "usage: reference_station --address IP --callsign CALL [--name NAME]"
                 " [--info TEXT] [--gsm-only] [--accept-all]\n"
                 "       [--proxy HOST:PORT [--proxy-password PW]] (then --address is not bound)\n";
    return 2;
}

int main(int argc, char *argv[])
{
    RefStation::StationIdentity identity{{}, "Reference", "Reference station", false};
    std::string address, proxy, proxyPassword;
    bool acceptAll = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--address" && hasValue)
            address = argv[++i];
        else if (option == "--callsign" && hasValue)
            identity.callsign = argv[++i];
        else if (option == "--name" && hasValue)
            identity.name = argv[++i];
        else if (option == "--info" && hasValue)
            identity.info = RefStation::unescaped(argv[++i]);
        else if (option == "--proxy" && hasValue)
            proxy = argv[++i];
        else if (option == "--proxy-password" && hasValue)
            proxyPassword = argv[++i];
        else if (option == "--gsm-only")
            identity.gsmOnly = true;
        else if (option == "--accept-all")
            acceptAll = true;
        else
            return usage();
    }
    if (address.empty() || identity.callsign.empty())
        return usage();

    Async::CppApplication app;
    app.catchUnixSignal(SIGTERM);
    app.catchUnixSignal(SIGINT);
    app.unixSignalCaught.connect([&app](int) { app.quit(); });

    RefStation::LibraryStation station(identity, acceptAll);
    station.finished.connect([&app]() { app.quit(); });
    if (!proxy.empty()) {
        const size_t colon = proxy.rfind(':');
        const int port = colon == std::string::npos ? 0 : std::atoi(proxy.c_str() + colon + 1);
        if (port <= 0 || port > 65535)
            return usage();
        station.startThroughProxy(proxy.substr(0, colon), uint16_t(port), proxyPassword);
    } else if (!station.start(address)) {
        return 1;
    }
    app.exec();
    return 0;
}
