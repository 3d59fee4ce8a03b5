// An emulated SAT>IP server with DVB-C tuners on a loopback port, in real
// time, sending a simulated cable network: for trying a client by hand, for
// third-party players, and for tests that run kelvane-cli against it. It
// prints "SAT>IP server on 127.0.0.1:PORT" once it listens (and on the
// next line the port where it answers an M-SEARCH sent to it), and ends on
// SIGINT or SIGTERM, or after --seconds.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/Clock.h"
#include "framework/headless/HeadlessHost.h"
#include "testing/SatIpServer.h"
#include "testing/SatIpServerNetworks.h"

namespace {

volatile std::sig_atomic_t g_Stop = 0;

void OnSignal(int) { g_Stop = 1; }

int Usage(const char* self) {
    std::fprintf(stderr,
                 "usage: %s [--network default|large|operator|quick] [--tuners N] [--max-pids N] "
                 "[--seconds N]\n",
                 self);
    return 2;
}

bool Count(const char* text, unsigned long highest, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return *text && !*end && value <= highest;
}

}  // namespace

int main(int argc, char** argv) {
    std::string networkName = "default";
    cardlib::SatIpServerOptions options;
    // Never forever: an abandoned server goes by itself.
    unsigned long seconds = 600;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage(argv[0]);
        const char* value = argv[++i];
        unsigned long number = 0;
        if (arg == "--network") networkName = value;
        else if (arg == "--tuners" && Count(value, 16, number)) options.tuners = static_cast<unsigned>(number);
        else if (arg == "--max-pids" && Count(value, 8192, number) && number) options.maxPids = static_cast<unsigned>(number);
        else if (arg == "--seconds" && Count(value, 86400, number) && number) seconds = number;
        else return Usage(argv[0]);
    }
    auto network = cardlib::SatIpServerNetwork(networkName);
    if (!network) return Usage(argv[0]);

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    fw::HeadlessHost host(fw::SystemClock().NowMs());
    host.SetRealTimeWait(fw::HeadlessHost::PollWait);
    cardlib::SatIpServer server(host, std::move(*network), options);
    if (!server.Listen()) {
        std::fprintf(stderr, "%s: cannot listen on 127.0.0.1: %s\n", argv[0], std::strerror(errno));
        return 1;
    }
    std::printf("SAT>IP server on 127.0.0.1:%u\nSSDP answers on 127.0.0.1:%u\n", server.Port(), server.DiscoveryPort());
    std::fflush(stdout);
    const int64_t end = host.GetClock().NowMs() + static_cast<int64_t>(seconds) * 1000;
    while (!g_Stop && host.GetClock().NowMs() < end && host.RunOne()) {
    }
    return 0;
}
