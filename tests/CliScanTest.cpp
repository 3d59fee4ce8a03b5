// kelvane-cli's scan in process, on the virtual clock: what a dry run prints
// and what a silent network or a device error ends it with.
#include <gtest/gtest.h>

#include <chrono>
#include <unistd.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "board/BoardSchema.h"
#include "cardlib/Card.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "testing/EmulatedDvb.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "tsfile/TsFileBackend.h"
#include "cli/Scan.h"
#include "testing/CaptureWriter.h"
#include "exchange/Exchange.h"
#include "framework/headless/HeadlessHost.h"
#include "tests/ExchangeTestSupport.h"
#include "tests/ProgramTestSupport.h"

namespace {

using programtest::ReadFile;
using programtest::WriteFile;

std::string Golden(const std::string& file) { return std::string(KELVANE_TEST_DATA) + "/exchange/" + file; }

// The same scan in process on the virtual clock, the whole first transport:
// a dry run prints the merged list and leaves the file as it was.
class CliScan : public programtest::ProgramFixture {};

TEST_F(CliScan, DryRunPrintsTheMergedListAndSavesNothing) {
    const exchange::ImportResult zap =
        exchange::Import(exchange::Format::Zap, ReadFile(Golden("programs.zap")), "programs.zap");
    ASSERT_TRUE(zap.ok) << zap.error;
    SeedBoard(zap.programs);
    const std::string stored = ReadFile(BoardFile().string());
    cardlib::SimNetwork network = cardlib::DefaultNetwork();
    network.transports.resize(1);
    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);

    std::ostringstream out, status;
    std::string error;
    cli::ScanLimits verbose;
    verbose.verbose = true;
    ASSERT_TRUE(cli::ScanInWindow(host, true, out, status, error, verbose)) << error;
    EXPECT_EQ(status.str().rfind("Request NIT\n", 0), 0u) << status.str();
    EXPECT_NE(status.str().find("Set Frequenzy to 346.0 MHz\nRequest SDT\n"), std::string::npos) << status.str();
    // The three programs that were there, then the seven of the transport.
    EXPECT_NE(out.str().find("\n4   Kanal Elf  "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\n10  Kiefernwald TV  "), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("\n11 "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find(" added "), std::string::npos) << out.str();
    EXPECT_EQ(ReadFile(BoardFile().string()), stored);
    // Not a terminal: the progress as plain lines, then the summary.
    EXPECT_NE(status.str().find("\nTransports: 1 of 1, 346.0 MHz\n"), std::string::npos) << status.str();
    EXPECT_NE(status.str().find("\nServices: 7 of 7, 346.0 MHz\n"), std::string::npos) << status.str();
    EXPECT_EQ(status.str().find('\r'), std::string::npos);
    // The summary, and the networks whose NIT the home transport carries.
    const std::string summary = "Scan: 7 added, 0 updated, 0 actual, 0 missing; every transport locked\nNetworks on this cable: "
                                "28432 \"Lindwurm Kabel\" (NIT actual, 1 transport), 28433 \"Grenzland Kabel\" (NIT "
                                "other, 2 transports); scanning 28432, set NetworkId for another\n";
    EXPECT_EQ(status.str().substr(status.str().size() - summary.size()), summary) << status.str();

    // On a terminal one line, rewritten in place, that log lines pass above.
    std::ostringstream terminal;
    cli::ScanLimits oneLine = verbose;
    oneLine.progressOnOneLine = true;
    ASSERT_TRUE(cli::ScanInWindow(host, true, out, terminal, error, oneLine)) << error;
    EXPECT_NE(terminal.str().find("\r\033[KTransports: 1 of 1, 346.0 MHz\r\033[KSet Frequenzy"), std::string::npos)
        << terminal.str();
    EXPECT_NE(terminal.str().find("\r\033[KDone: 7 services\nScan: "), std::string::npos) << terminal.str();

    // A transport the tuner never locks on is named as such.
    cardlib::SimNetwork withDark = cardlib::DefaultNetwork();
    const auto dark = std::find_if(withDark.transports.begin(), withDark.transports.end(),
                                   [](const cardlib::SimTransport& t) { return !t.locks; });
    ASSERT_NE(dark, withDark.transports.end());
    withDark.transports = {withDark.transports.front(), *dark};
    card.Detach();
    card.UseBackend(std::make_unique<cardlib::SimBackend>(withDark));
    card.Attach(host);
    std::ostringstream darkStatus;
    ASSERT_TRUE(cli::ScanInWindow(host, true, out, darkStatus, error)) << error;
    const std::string noLock = "; no lock on 450.0 MHz (TS 11)\nNetworks on this cable: 28432 \"Lindwurm Kabel\" "
                               "(NIT actual, 2 transports), 28433 \"Grenzland Kabel\" (NIT other, 2 transports); "
                               "scanning 28432, set NetworkId for another\n";
    EXPECT_EQ(darkStatus.str().substr(darkStatus.str().size() - noLock.size()), noLock) << darkStatus.str();
    // Not waiting for it once the tuner gave up changes nothing of what is
    // said (the plain progress lines, one every 5 s, follow the time taken).
    Settings().WriteInt("ScanNetwork", "SkipUnlocked", 1);
    std::ostringstream skipped;
    ASSERT_TRUE(cli::ScanInWindow(host, true, out, skipped, error)) << error;
    EXPECT_EQ(skipped.str().substr(skipped.str().rfind("\nDone: ")), darkStatus.str().substr(darkStatus.str().rfind("\nDone: ")));
}

// Over the emulated devices: a network that never answers, or a tuner
// pulled out, ends the scan with one line and saves nothing.
TEST_F(CliScan, ASilentNetworkOrADeviceErrorEndsTheScan) {
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    struct Case {
        const char* what;
        unsigned long homeKHz;
        int64_t unplugAfterMs;
        std::string error;
        int64_t endsByMs;
    } cases[] = {
        {"no network at the home frequency", 114000, 0,
         "no network answered: no NIT within 5 s (see HomeFrequency in card.ini, or --nit-timeout)", 5000},
        {"unplugged", network.transports[0].frequencyKHz, 20000, "/dev/dvb/adapter0 has gone (", 20500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto kernel = std::make_shared<cardlib::EmulatedDvb>(host, network);
        cardlib::DvbSettings settings;
        settings.homeFrequencyKHz = c.homeKHz;
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::LinuxDvbBackend>(settings, kernel));
        card.Attach(host);
        if (c.unplugAfterMs) host.Post([&] { kernel->Unplug(); }, c.unplugAfterMs);
        std::ostringstream out, status;
        std::string error;
        cli::ScanLimits limits;
        limits.nitTimeoutMs = 5000;
        cli::ScanFailure failure = cli::ScanFailure::None;
        const int64_t began = host.GetClock().NowMs();
        EXPECT_FALSE(cli::ScanInWindow(host, true, out, status, error, limits, &failure));
        EXPECT_EQ(failure, cli::ScanFailure::Card);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_LE(host.GetClock().NowMs() - began, c.endsByMs);
        EXPECT_EQ(out.str(), "");
        card.Detach();
        card.UseBackend(nullptr);
    }
}

}  // namespace
