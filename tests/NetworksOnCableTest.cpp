// The networks on the home transport named, and one transport on demand:
// through kelvane-cli's in-process runs on the virtual clock, over the
// simulated network and the files backend, and the window's Scan Transport
// over the emulated Linux devices.
#include <gtest/gtest.h>
#include <linux/dvb/frontend.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "card/ProgramFields.h"
#include "cardlib/Card.h"
#include "cli/Networks.h"
#include "cli/Scan.h"
#include "framework/headless/HeadlessHost.h"
#include "broadcast/NitTransports.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "programs/ProgramListDialog.h"
#include "scan/ScanChannelsDialog.h"
#include "res/ResourceIds.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "simnet/SimSections.h"
#include "testing/CaptureWriter.h"
#include "testing/EmulatedDvb.h"
#include "tests/ProgramTestSupport.h"
#include "tsfile/TsFileBackend.h"

namespace {

const std::vector<NetworkOnAir> kOperatorNetworks = {{12545, "Sonnental Frei", true, 2},
                                                     {12546, "Sonnental Digital", false, 4}};
const std::string kOperatorLine =
    "Networks on this cable: 12545 \"Sonnental Frei\" (NIT actual, 2 transports), 12546 \"Sonnental Digital\" "
    "(NIT other, 4 transports); scanning 12545, set NetworkId for another";

class NetworksOnCable : public programtest::ProgramFixture {
public:
    void UseSim(const cardlib::SimNetwork& network) {
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
        card.Attach(host);
    }
    void UseFiles(const cardlib::SimNetwork& network) {
        const std::filesystem::path folder = Dir() / "captures";
        std::string error;
        ASSERT_TRUE(cardlib::WriteTsFolder(network, folder.string(), &error)) << error;
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::TsFileBackend>(folder.string(), network.transports[0].frequencyKHz));
        card.Attach(host);
    }
};

TEST(NetworksOnAir, CountsEachNetworksTransportsOverItsSectionsAndNamesThemOnlyWhenSeveral) {
    NetworksOnAir seen;
    seen.See(7, false, "Zweites", 0, 1, 3);
    seen.See(7, false, "Zweites", 1, 1, 2);
    seen.See(7, false, "Zweites", 1, 1, 2);  // a repetition counts once
    seen.See(5, true, "", 0, 0, 1);
    seen.See(9, false, "Falsch", 2, 1, 4);   // past its last section: not of the table
    const std::vector<NetworkOnAir> list = seen.List();
    EXPECT_EQ(list, (std::vector<NetworkOnAir>{{5, "", true, 1}, {7, "Zweites", false, 5}}));
    EXPECT_EQ(NetworksOnAir::Line(list, 5),
              "Networks on this cable: 5 (NIT actual, 1 transport), 7 \"Zweites\" (NIT other, 5 transports); "
              "scanning 5, set NetworkId for another");
    EXPECT_EQ(NetworksOnAir::Line({list.front()}, 5), "");
}

TEST(NitNetwork, ReadsIdNameAndTransportsAndDropsATruncatedHeader) {
    const std::vector<cardlib::Section> nit = cardlib::BuildNit(cardlib::OperatorFullNetwork(), 0x41);
    ASSERT_FALSE(nit.empty());
    const si::NitNetwork network = si::ReadNitNetwork(si::WithoutCrc(nit[0].data(), static_cast<int>(nit[0].size())));
    EXPECT_TRUE(network.valid);
    EXPECT_FALSE(network.actual);
    EXPECT_EQ(network.networkId, 12546);
    EXPECT_EQ(network.name, "Sonnental Digital");
    EXPECT_EQ(network.transports, 4u);
    for (int length : {0, 5, 9}) EXPECT_FALSE(si::ReadNitNetwork(si::SectionReader(nit[0].data(), length)).valid);
}

TEST_F(NetworksOnCable, NetworksNamesBothOfTheOperatorsNetworksOverSimAndFiles) {
    for (const bool files : {false, true}) {
        SCOPED_TRACE(files ? "files" : "simulated");
        if (files) UseFiles(cardlib::OperatorNetwork());
        else UseSim(cardlib::OperatorNetwork());
        std::vector<NetworkOnAir> networks;
        std::string error;
        ASSERT_TRUE(cli::ListNetworks(host, networks, error)) << error;
        EXPECT_EQ(networks, kOperatorNetworks);
        EXPECT_EQ(cli::NetworksTable(networks), "12545 \"Sonnental Frei\" (NIT actual, 2 transports)\n"
                                                "12546 \"Sonnental Digital\" (NIT other, 4 transports)\n");
    }
    // Nothing on the home frequency: one line.
    cardlib::SimNetwork silent = cardlib::OperatorNetwork();
    silent.transports[silent.homeTransport].locks = false;
    UseSim(silent);
    std::vector<NetworkOnAir> networks;
    std::string error;
    EXPECT_FALSE(cli::ListNetworks(host, networks, error));
    EXPECT_EQ(error, "no network answered: no NIT on the home transport within 11 s (see HomeFrequency in card.ini)");
}

TEST_F(NetworksOnCable, TheScansLogAndSummaryNameTheNetworksAndTheWindowLetsTheUserChoose) {
    UseSim(cardlib::OperatorNetwork());
    std::ostringstream out, status;
    std::string error;
    cli::ScanLimits verbose;
    verbose.verbose = true;
    ASSERT_TRUE(cli::ScanInWindow(host, true, out, status, error, verbose)) << error;
    // Nobody to ask: the scan goes on once its NIT is whole and hears the
    // other network on the way, here after its last PMT.
    EXPECT_EQ(status.str().find("Request NIT", 1), std::string::npos) << status.str();
    EXPECT_NE(status.str().find("\nListening for the other networks' NITs: "), std::string::npos) << status.str();
    // The summary's second line, after the counts.
    EXPECT_EQ(status.str().substr(status.str().size() - kOperatorLine.size() - 1), kOperatorLine + "\n");
    EXPECT_TRUE(host.Questions().empty());

    // In the window the user says yes to the other network: it is scanned,
    // and kept as NetworkId.
    ProgramListDialog window(host);
    host.Open(window);
    host.ScriptAnswer(fw::Answer::Yes);
    window.OnCommand(res::IDC_SEARCH);
    ASSERT_EQ(host.Questions().size(), 1u);
    EXPECT_NE(host.Questions()[0].find("Scan network 12546 \"Sonnental Digital\" (NIT other, 4 transports) instead of 12545?"),
              std::string::npos)
        << host.Questions()[0];
    EXPECT_EQ(Settings().GetInt("ScanNetwork", "NetworkId", 0), 12546);
    EXPECT_EQ(window.ProgramList().GetItemCount(), 13);
    host.Close(window);
}

TEST_F(NetworksOnCable, ScanFrequencyMergesExactlyThatTransportsPrograms) {
    const cardlib::SimNetwork& network = cardlib::OperatorNetwork();
    for (const bool files : {false, true}) {
        SCOPED_TRACE(files ? "files" : "simulated");
        if (files) UseFiles(network);
        else UseSim(network);
        std::ostringstream out, status;
        std::string error;
        cli::ScanLimits limits;
        limits.oneTransport = ScanChannelsDialog::ReadOneTransport("322000 6900 256");
        limits.verbose = true;
        ASSERT_TRUE(limits.oneTransport);
        ASSERT_TRUE(cli::ScanInWindow(host, true, out, status, error, limits)) << error;
        EXPECT_EQ(status.str().find("Request NIT"), std::string::npos) << status.str();
        EXPECT_NE(status.str().find("Set Frequenzy to 322.0 MHz\nRequest SDT\n"), std::string::npos) << status.str();
        // The transport's three programs (its radio included), and no other.
        for (const char* name : {"Bergblick HD", "HEVC Testkanal", "Bergblick Radio"})
            EXPECT_NE(out.str().find(name), std::string::npos) << name << "\n" << out.str();
        for (const char* name : {"Sonnental Eins HD", "Bergblick SD"})
            EXPECT_EQ(out.str().find(name), std::string::npos) << name << "\n" << out.str();
        EXPECT_NE(status.str().find("Scan: 3 added, 0 updated, 0 actual, 0 missing; every transport locked"), std::string::npos)
            << status.str();
    }
}

// The symbol rate and modulation typed reach the tuner: 466 MHz, which the
// NIT does not list, at 6111 ksym/s locks at the first tuning; without them
// the tuner begins with the operators' list, 6900 first.
TEST_F(NetworksOnCable, ScanTransportTunesWhatTheUserTyped) {
    const struct {
        const char* typed;
        uint32_t firstRate;
    } cases[] = {{"466000 6111 256", 6111000}, {"466000", 6900000}, {"466000 6900 256", 6900000}};
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        auto dvb = std::make_shared<cardlib::EmulatedDvb>(host, network);
        cardlib::DvbSettings settings;
        settings.homeFrequencyKHz = 346000;
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::LinuxDvbBackend>(settings, dvb));
        card.Attach(host);
        ProgramListDialog window(host);
        host.Open(window);
        host.ScriptText(c.typed);
        ASSERT_TRUE(window.ChooseMenuCommand(res::IDM_SCAN_TRANSPORT));
        std::vector<uint32_t> rates;
        for (const cardlib::EmulatedDvb::Tuning& t : dvb->Tunings())
            if (t.frequencyHz == 466000000) rates.push_back(t.symbolRate);
        ASSERT_FALSE(rates.empty());
        EXPECT_EQ(rates.front(), c.firstRate);
        // Right at once; else the guesses follow, a wrong rate typed among them.
        EXPECT_EQ(rates.size() == 1, c.firstRate == 6111000);
        EXPECT_EQ(rates.back(), 6111000u);
        EXPECT_EQ(dvb->Tunings().back().modulation, static_cast<uint32_t>(QAM_256));
        // Its services, and no other.
        const fw::ListView& list = window.ProgramList();
        ASSERT_EQ(list.GetItemCount(), static_cast<int>(network.transports.back().services.size()));
        EXPECT_EQ(list.GetItemText(0, kColumnName).rfind("Talblick", 0), 0u) << list.GetItemText(0, kColumnName);
        host.Close(window);
        card.Detach();
        card.UseBackend(nullptr);
    }
}

TEST(OneTransport, ReadsWhatTheWindowAndTheCommandLineGive) {
    const struct {
        const char* text;
        bool ok;
        unsigned long kHz, rate;
        unsigned modulation;
    } cases[] = {
        {"370000", true, 370000, 6900, 0},      {"370000 6111 64", true, 370000, 6111, 3},
        {"370000 6875 auto", true, 370000, 6875, 0}, {"  346000  6900  256 ", true, 346000, 6900, 5},
        {"", false, 0, 0, 0},                    {"370", false, 0, 0, 0},
        {"370000 69000", false, 0, 0, 0},        {"370000 6900 32", false, 0, 0, 0},
        {"370000 6900 256 x", false, 0, 0, 0},   {"370.5", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto transport = ScanChannelsDialog::ReadOneTransport(c.text);
        ASSERT_EQ(transport.has_value(), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(transport->frequencyKHz, c.kHz);
        EXPECT_EQ(transport->symbolRate, c.rate);
        EXPECT_EQ(transport->modulation, c.modulation);
        EXPECT_EQ(ScanChannelsDialog::ReadOneTransport(ScanChannelsDialog::OneTransportText(*transport))->modulation,
                  c.modulation);
    }
}

}  // namespace
