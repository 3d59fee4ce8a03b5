// Scans through a SAT>IP server, the emulated one on loopback, on the
// virtual clock: what they merge, what a sweep finds, and how each of the
// server's troubles ends them.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cardlib/Card.h"
#include "cli/Scan.h"
#include "satip/SatIpBackend.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "testing/SatIpServer.h"
#include "framework/headless/HeadlessHost.h"
#include "tests/ProgramTestSupport.h"

namespace {

using cardlib::SatIpServerOptions;

// The rows of a printed list without their numbers, sorted.
std::vector<std::string> Rows(const std::string& list) {
    std::vector<std::string> rows;
    std::istringstream in(list);
    for (std::string line; std::getline(in, line);) rows.push_back(line.substr(line.find(' ')));
    std::sort(rows.begin(), rows.end());
    return rows;
}

class SatIpScan : public programtest::ProgramFixture {
public:
    struct Result {
        bool ok = false;
        std::string out, status, error;
        cli::ScanFailure failure = cli::ScanFailure::None;
        int64_t tookMs = 0;
    };

    Result Scan(std::unique_ptr<cardlib::Backend> backend) {
        card.Detach();
        card.UseBackend(std::move(backend));
        card.Attach(host);
        // Every scan begins at the same point of the network's repetitions.
        constexpr int64_t kHourMs = 3600000;
        host.Time().Set((host.GetClock().NowMs() / kHourMs + 1) * kHourMs);
        Result r;
        std::ostringstream out, status;
        cli::ScanLimits limits;
        limits.nitTimeoutMs = 20000;
        limits.verbose = true;
        const int64_t began = host.GetClock().NowMs();
        r.ok = cli::ScanInWindow(host, true, out, status, r.error, limits, &r.failure);
        r.tookMs = host.GetClock().NowMs() - began;
        r.out = out.str(), r.status = status.str();
        // The backend lets the server go; the server reads what it was told.
        card.Detach();
        card.UseBackend(nullptr);
        host.Advance(50);
        return r;
    }

    std::unique_ptr<cardlib::Backend> Client(uint16_t port, bool interleaved = false) {
        cardlib::SatIpSettings settings;
        settings.host = "127.0.0.1";
        settings.port = port;
        settings.homeFrequencyKHz = network.transports[network.homeTransport].frequencyKHz;
        settings.interleaved = interleaved;
        return std::make_unique<cardlib::SatIpBackend>(settings, cardlib::SystemSatIpNet());
    }

    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    cardlib::Card card;
};

// Over UDP, interleaved on the RTSP connection, and interleaved after UDP
// did not arrive: the list merged is the simulated backend's, the tuner's
// lock and signal come from the server's reports, and no session stays.
TEST_F(SatIpScan, MergesWhatTheSimulatedBackendMerges) {
    const Result simulated = Scan(std::make_unique<cardlib::SimBackend>(network));
    ASSERT_TRUE(simulated.ok) << simulated.error;
    struct Case {
        const char* what;
        bool interleaved, udpArrives;
        const char* logged;
    } cases[] = {
        {"udp", false, true, "Signal at 346.0 MHz: level 224/255, quality 14/15\n"},
        {"tcp", true, true, "Signal at 354.0 MHz: level 224/255, quality 14/15\n"},
        {"udp blocked", false, false, "the stream comes over the RTSP connection now\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SatIpServerOptions options;
        options.sendUdp = c.udpArrives;
        cardlib::SatIpServer server(host, network, options);
        ASSERT_TRUE(server.Listen());
        const Result r = Scan(Client(server.Port(), c.interleaved));
        std::string requests;
        for (const std::string& line : server.Requests()) requests += line + "\n";
        ASSERT_TRUE(r.ok) << r.error << "\n" << requests << r.status;
        // Two seconds lost to UDP meet the repetitions elsewhere: the same
        // rows, some in another order.
        if (c.udpArrives) EXPECT_EQ(r.out, simulated.out);
        else EXPECT_EQ(Rows(r.out), Rows(simulated.out));
        EXPECT_NE(r.status.find(c.logged), std::string::npos) << r.status;
        // Tuned by what the NIT says: the same transports locked.
        EXPECT_EQ(r.status.substr(r.status.rfind("\nScan: ")), simulated.status.substr(simulated.status.rfind("\nScan: ")));
        EXPECT_EQ(server.Sessions(), 0u);
        EXPECT_EQ(server.Requests().back().rfind("TEARDOWN ", 0), 0u);
        // One session for the scan, once more for the switch to TCP: the
        // listen for other networks keeps a filter set between requests.
        EXPECT_LE(std::count_if(server.Requests().begin(), server.Requests().end(),
                                [](const std::string& line) { return line.rfind("SETUP ", 0) == 0; }),
                  c.udpArrives ? 2 : 3);
        // About the simulated backend's time: the lock is told by reports.
        EXPECT_LE(r.tookMs, simulated.tookMs + (c.udpArrives ? 5000 : 8000));
    }
}

// Each trouble of the server ends the scan with one line naming it, soon,
// with nothing merged and the server's tuner let go.
TEST_F(SatIpScan, EachFailureOfTheServerEndsTheScanWithOneLine) {
    // A port nothing listens on.
    uint16_t closedPort = 0;
    {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        closedPort = ntohs(a.sin_port);
        close(fd);
    }
    struct Case {
        const char* what;
        SatIpServerOptions options;
        std::string tail;
    } cases[] = {
        {"unreachable", {}, " cannot be reached: Connection refused"},
        {"404", {.setupStatus = 404}, " answered SETUP with 404 Not Found: it has no such stream (does it offer DVB-C?)"},
        {"453", {.tuners = 0}, " answered SETUP with 453 Not Enough Bandwidth: all its tuners are busy"},
        {"503", {.setupStatus = 503}, " answered SETUP with 503 Service Unavailable: it cannot serve the stream now"},
        {"session dropped", {.sessionTimeoutS = 2, .dropSessionAfterMs = 1500},
         " with 454 Session Not Found: it dropped the session"},
        {"stream stops", {.stopStreamAfterMs = 1500}, " sent nothing for 5 s: the stream stopped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cardlib::SatIpServer server(host, network, c.options);
        ASSERT_TRUE(server.Listen());
        const uint16_t port = std::string(c.what) == "unreachable" ? closedPort : server.Port();
        const Result r = Scan(Client(port));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.failure, cli::ScanFailure::Card);
        const std::string head = "SAT>IP server 127.0.0.1:" + std::to_string(port);
        EXPECT_EQ(r.error.rfind(head, 0), 0u) << r.error;
        EXPECT_TRUE(r.error.ends_with(c.tail)) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
        EXPECT_LE(r.tookMs, 10000);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(server.Sessions(), 0u);
    }
}

// The sweep through the server: where the NIT lists every transport it
// adds nothing, and an empty step costs one short signal check (the
// server reports a level only where a transport is); the transport the NIT
// does not list (466 MHz, 6111 ksym/s, after the NIT's and the operators'
// commoner guesses) is found and merged. Every session is torn down.
TEST_F(SatIpScan, SweepFindsTheTransportTheNitDoesNotList) {
    // As kelvane-cli sets the window up.
    Settings().WriteInt("ScanNetwork", "TickMs", 100);
    Settings().WriteInt("ScanNetwork", "SkipUnlocked", 1);
    Settings().WriteInt("ScanNetwork", "ChainSteps", 1);
    cardlib::SimNetwork listed = network;
    listed.transports.pop_back();
    listed.nitTransports.clear();
    struct Run {
        Result r;
        size_t requests = 0;
    };
    const auto scan = [&](const cardlib::SimNetwork& on, bool sweep, unsigned refused = 0) {
        Settings().WriteInt("ScanNetwork", "Sweep", sweep ? 1 : 0);
        cardlib::SatIpServer server(host, on);
        // 128: a constellation the box cannot take; else its lowest frequency.
        if (refused == 128) server.Options().refusedModulation = refused;
        else server.Options().lowestFrequencyKHz = refused;
        EXPECT_TRUE(server.Listen());
        Run run{Scan(Client(server.Port())), server.Requests().size()};
        EXPECT_TRUE(run.r.ok) << run.r.error;
        const auto count = [&](const char* method) {
            return std::count_if(server.Requests().begin(), server.Requests().end(),
                                 [&](const std::string& line) { return line.rfind(method, 0) == 0; });
        };
        EXPECT_EQ(count("SETUP "), count("TEARDOWN "));
        EXPECT_EQ(server.Sessions(), 0u);
        return run;
    };
    const Run without = scan(listed, false);
    const Run empty = scan(listed, true);
    EXPECT_EQ(Rows(empty.r.out), Rows(without.r.out));
    EXPECT_NE(empty.r.status.find("; No transports found by the sweep, not in the NIT\n"), std::string::npos)
        << empty.r.status;
    // A few requests per frequency: SETUP, PLAY, TEARDOWN.
    EXPECT_LE(empty.requests - without.requests, 91u * 4) << empty.requests;
    const int64_t perStep = (empty.r.tookMs - without.r.tookMs) / 91;
    EXPECT_GT(perStep, 0);
    EXPECT_LT(perStep, 1000);
    std::printf("SAT>IP server: %lld ms and %zu requests per empty step of the sweep\n",
                static_cast<long long>(perStep), (empty.requests - without.requests) / 91);

    // A box that cannot take 128-QAM (the PLAY of a later guess refused) or
    // tunes from 300 MHz up (the SETUP of a step's first guess refused):
    // those guesses and frequencies are passed over.
    for (const unsigned refused : {0u, 128u, 300000u}) {
        SCOPED_TRACE(refused);
        const Run found = scan(network, true, refused);
        for (const cardlib::SimService& s : network.transports.back().services)
            EXPECT_NE(found.r.out.find("  " + s.name + "  "), std::string::npos) << found.r.status;
        EXPECT_NE(found.r.status.find("Found by the sweep: TS 12, NW 28432 at 466.0 MHz, 6111 ksym/s\n"),
                  std::string::npos)
            << found.r.status;
        const std::vector<std::string> before = Rows(without.r.out), after = Rows(found.r.out);
        EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
    }
}

}  // namespace
