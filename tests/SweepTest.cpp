// The sweep of the cable raster, as kelvane-cli scans on the virtual clock:
// over the simulated network, its captures and the emulated Linux devices
// it finds the transport the NIT does not list and merges its services;
// where every transport is listed it adds nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cardlib/Card.h"
#include "cli/Scan.h"
#include "framework/headless/HeadlessHost.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "testing/CaptureWriter.h"
#include "testing/EmulatedDvb.h"
#include "tests/ProgramTestSupport.h"
#include "tsfile/TsFileBackend.h"

namespace {

enum class Source { Simulated, Files, Dvb };

// A dry run's table without its "Nr" column, sorted.
std::vector<std::string> Rows(const std::string& table) {
    std::vector<std::string> rows;
    std::istringstream in(table);
    for (std::string line; std::getline(in, line);) rows.push_back(line.substr(line.find(' ')));
    std::sort(rows.begin(), rows.end());
    return rows;
}

class Sweep : public programtest::ProgramFixture {
protected:
    void SetUp() override {
        // As kelvane-cli sets the window up.
        Settings().WriteInt("ScanNetwork", "TickMs", 100);
        Settings().WriteInt("ScanNetwork", "SkipUnlocked", 1);
        Settings().WriteInt("ScanNetwork", "ChainSteps", 1);
    }

    struct Result {
        std::string out, status;
        int64_t ms = 0;
    };
    Result Scan(Source source, const cardlib::SimNetwork& network, bool sweep) {
        Settings().WriteInt("ScanNetwork", "Sweep", sweep ? 1 : 0);
        card.Detach();
        if (source == Source::Simulated) {
            card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
        } else if (source == Source::Files) {
            std::string error;
            EXPECT_TRUE(cardlib::WriteTsFolder(network, (Dir() / "ts").string(), &error)) << error;
            card.UseBackend(std::make_unique<cardlib::TsFileBackend>((Dir() / "ts").string(), 346000));
        } else {
            cardlib::DvbSettings settings;
            settings.homeFrequencyKHz = 346000;
            card.UseBackend(
                std::make_unique<cardlib::LinuxDvbBackend>(settings, std::make_shared<cardlib::EmulatedDvb>(host, network)));
        }
        card.Attach(host);
        Result result;
        std::ostringstream out, status;
        std::string error;
        const int64_t began = host.GetClock().NowMs();
        cli::ScanLimits limits;
        limits.verbose = true;  // the log names what the sweep found
        EXPECT_TRUE(cli::ScanInWindow(host, true, out, status, error, limits)) << error;
        result.ms = host.GetClock().NowMs() - began;
        result.out = out.str();
        result.status = status.str();
        card.Detach();
        card.UseBackend(nullptr);
        return result;
    }
};

TEST_F(Sweep, FindsTheTransportTheNitDoesNotListAndMergesItsServices) {
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    const cardlib::SimTransport& unlisted = network.transports.back();
    ASSERT_EQ(unlisted.frequencyKHz, 466000u);
    ASSERT_EQ(unlisted.symbolRate, 6111000u);
    const Result without = Scan(Source::Simulated, network, false);
    EXPECT_EQ(without.out.find("Talblick"), std::string::npos);
    for (Source source : {Source::Simulated, Source::Files, Source::Dvb}) {
        SCOPED_TRACE(static_cast<int>(source));
        const Result swept = Scan(source, network, true);
        for (const cardlib::SimService& s : unlisted.services)
            EXPECT_NE(swept.out.find("  " + s.name + "  "), std::string::npos) << swept.status;
        // The transport's row carries its frequency.
        const size_t at = swept.out.find("Talblick TV");
        ASSERT_NE(at, std::string::npos);
        EXPECT_NE(swept.out.substr(at, swept.out.find('\n', at) - at).find("466"), std::string::npos) << swept.out;
        EXPECT_NE(swept.status.find("Found by the sweep: TS 12, NW 28432 at 466.0 MHz" +
                                    std::string(source == Source::Files ? "\n" : ", 6111 ksym/s\n")),
                  std::string::npos)
            << swept.status;
        // The raster's 94 and band III's 8 frequencies, less the NIT's 11.
        EXPECT_NE(swept.status.find("\nSweep: 1 of 91, 114.0 MHz\n"), std::string::npos) << swept.status;
        // The summary's line ends with it; the networks on the cable follow.
        EXPECT_NE(swept.status.find("; 1 transport found by the sweep, not in the NIT: 466.0 MHz\nNetworks on this cable: "),
                  std::string::npos)
            << swept.status;
        // Everything the scan without the sweep merged is merged the same.
        const std::vector<std::string> before = Rows(without.out), after = Rows(swept.out);
        EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
    }
}

// Every transport in the NIT: the sweep adds nothing, and an empty step
// over the emulated devices (carrier status only where a transport is)
// costs the tuner's signal check, well under a second.
TEST_F(Sweep, AddsNothingWhereTheNitListsEveryTransport) {
    cardlib::SimNetwork network = cardlib::DefaultNetwork();
    network.transports.pop_back();
    network.nitTransports.clear();
    for (Source source : {Source::Simulated, Source::Dvb}) {
        SCOPED_TRACE(static_cast<int>(source));
        const Result without = Scan(source, network, false);
        const Result swept = Scan(source, network, true);
        // The same rows; two transports of one TS id may come in either order.
        EXPECT_EQ(Rows(swept.out), Rows(without.out));
        EXPECT_NE(swept.status.find("; No transports found by the sweep, not in the NIT\n"), std::string::npos)
            << swept.status;
        const int64_t perStep = (swept.ms - without.ms) / 91;
        EXPECT_GT(perStep, 0);
        EXPECT_LT(perStep, 1000);
        std::printf("%s: %lld ms per empty step of the sweep\n", source == Source::Dvb ? "emulated devices" : "simulated",
                    static_cast<long long>(perStep));
    }
}

}  // namespace
