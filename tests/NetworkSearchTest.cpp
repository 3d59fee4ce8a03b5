#include <gtest/gtest.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "app/CardStatus.h"
#include "cardlib/CablePresets.h"
#include "cardlib/Card.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "cardsetup/CardSettings.h"
#include "simnet/SimNetwork.h"
#include "testing/EmulatedDvb.h"
#include "cli/Scan.h"
#include "programs/ProgramListDialog.h"
#include "scan/ScanChannelsDialog.h"
#include "tests/ProgramTestSupport.h"

namespace {

using cardlib::CableChannel;
using cardlib::EmulatedDvb;

// Two operators in dtv-scan-tables' format; one entry is terrestrial, one
// repeats, one is spoilt, one gives kHz.
const char* kPreset =
    "# Test Kabel\n"
    "[CHANNEL]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = 122000000\n\tSYMBOL_RATE = 6900000\n"
    "\tINNER_FEC = NONE\n\tMODULATION = QAM/256\n\tINVERSION = AUTO\n\n"
    "[CHANNEL]\n\tDELIVERY_SYSTEM = DVBT\n\tFREQUENCY = 474000000\n\tBANDWIDTH_HZ = 8000000\n\n"
    "[CHANNEL]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = 122000000\n\tSYMBOL_RATE = 6900000\n\n"
    "[CHANNEL]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = 13x000000\n\tSYMBOL_RATE = 6900000\n\n"
    "[CHANNEL]\n\tDELIVERY_SYSTEM = DVBC/ANNEX_A\n\tFREQUENCY = 354000\n\tSYMBOL_RATE = 6900000\n"
    "\tINNER_FEC = 3/5\n\tMODULATION = QAM/64\n";

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class NetworkSearch : public programtest::ProgramFixture {
public:
    void SetUp() override {
        host.SetModalTimeLimit(60 * 60 * 1000);
        std::filesystem::create_directories(Presets());
        std::ofstream(Presets() / "xx-Test_Kabel-Town") << kPreset;
        std::ofstream(Presets() / "yy-Other") << kPreset;
    }
    std::filesystem::path Presets() const { return Dir() / "dvb-c"; }

    // The backend over emulated devices carrying `network`, no home known.
    void Use(const cardlib::SimNetwork& network, cardlib::DvbSettings settings) {
        kernel = std::make_shared<EmulatedDvb>(host, network);
        settings.homeFound = [this](unsigned long kHz) {
            found.push_back(kHz);
            return std::string("kept");
        };
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::LinuxDvbBackend>(settings, kernel));
        card.Attach(host);
    }
    // A whole scan: how many programs it merged, and its log.
    int Scan(std::vector<std::string>& log) {
        ProgramListDialog window(host);
        CardStatus status(card, window);
        host.Open(window);
        ScanChannelsDialog scan(host, &window, 1);
        EXPECT_EQ(window.RunScan(scan), 1);
        for (int i = 0; i < scan.LogList().GetItemCount(); ++i) log.push_back(scan.LogList().GetItemText(i, 0));
        const int programs = window.ProgramList().GetItemCount();
        host.Close(window);
        return programs;
    }
    static bool Has(const std::vector<std::string>& log, const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    std::shared_ptr<EmulatedDvb> kernel;
    std::vector<unsigned long> found;
};

TEST_F(NetworkSearch, PresetsAreReadFromTheirFolderAndTheRasterCoversTheCableBand) {
    EXPECT_EQ(cardlib::ListPresets(Presets().string(), "XX"), std::vector<std::string>{"xx-Test_Kabel-Town"});
    EXPECT_EQ(cardlib::ListPresets(Presets().string()).size(), 2u);
    EXPECT_TRUE(cardlib::ListPresets((Dir() / "none").string()).empty());

    std::vector<CableChannel> channels;
    std::string error;
    ASSERT_TRUE(cardlib::ReadPreset(Presets().string(), "xx-Test_Kabel-Town", channels, error)) << error;
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0].frequencyKHz, 122000u);
    EXPECT_EQ(channels[0].modulation, static_cast<uint32_t>(QAM_256));
    EXPECT_EQ(channels[0].innerFec, static_cast<uint32_t>(FEC_AUTO));
    EXPECT_EQ(channels[1].frequencyKHz, 354000u);
    EXPECT_EQ(channels[1].symbolRate, 6900000u);
    EXPECT_EQ(channels[1].modulation, static_cast<uint32_t>(QAM_64));
    EXPECT_EQ(channels[1].innerFec, static_cast<uint32_t>(FEC_3_5));
    // Only a name from the folder: no path leaves it.
    for (const char* name : {"../dvb-c/xx-Test_Kabel-Town", "..", "", "zz-Missing"}) {
        EXPECT_FALSE(cardlib::ReadPreset(Presets().string(), name, channels, error)) << name;
        EXPECT_NE(error.find("kelvane-cli presets"), std::string::npos) << error;
    }

    const std::vector<CableChannel> raster = cardlib::CableRaster();
    ASSERT_EQ(raster.size(), broadcast::ExtendedSymbolRates().size() * 94);
    EXPECT_EQ(raster.front().frequencyKHz, 114000u);
    EXPECT_EQ(raster.back().frequencyKHz, 858000u);
    EXPECT_EQ(raster[0].symbolRate, 6900000u);
    EXPECT_EQ(raster[1].symbolRate, 6875000u);
}

// card.ini keeps the home found: only that key of the [Card] section
// changes, comments, other sections and line ends stay.
TEST_F(NetworkSearch, TheHomeFoundIsKeptInCardIniAndNothingElseChanges) {
    const std::filesystem::path ini = Dir() / "card.ini";
    std::ofstream(ini, std::ios::binary) << "; mine\r\n[Card]\r\nBackend=dvb\r\nHomeFrequency=114000\r\n"
                                            "[Other]\r\nHomeFrequency=1\r\n";
    EXPECT_EQ(cardlib::KeepHomeFrequency(ini.string(), 346000), "HomeFrequency=346000 kept in " + ini.string() +
                                                                     " for the next start");
    EXPECT_EQ(ReadAll(ini), "; mine\r\n[Card]\r\nBackend=dvb\r\nHomeFrequency=346000\r\n[Other]\r\nHomeFrequency=1\r\n");
    std::ofstream(ini, std::ios::binary) << "[Card]\nBackend=dvb\nPreset=xx-Test_Kabel-Town\n";
    cardlib::KeepHomeFrequency(ini.string(), 354000);
    EXPECT_EQ(ReadAll(ini), "[Card]\nHomeFrequency=354000\nBackend=dvb\nPreset=xx-Test_Kabel-Town\n");
    std::string problems;
    const cardlib::CardSettings settings = cardlib::ReadCardSettings(ini.string(), &problems);
    EXPECT_EQ(problems, "");
    EXPECT_EQ(settings.homeFrequencyKHz, 354000u);
    EXPECT_EQ(settings.preset, "xx-Test_Kabel-Town");
    // A folder where the file cannot go: the user is told what to set.
    EXPECT_NE(cardlib::KeepHomeFrequency((Dir() / "no" / "card.ini").string(), 1).find("set HomeFrequency=1"),
              std::string::npos);
}

// No home frequency: the preset's frequencies first (122 MHz holds nothing),
// else the raster; the scan's NIT step meanwhile keeps asking.
TEST_F(NetworkSearch, WithoutAHomeFrequencyTheNetworkIsFoundFromAPresetOrTheRaster) {
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    cardlib::DvbSettings settings;
    std::string error;
    ASSERT_TRUE(cardlib::ReadPreset(Presets().string(), "xx-Test_Kabel-Town", settings.preset, error));
    settings.presetName = "xx-Test_Kabel-Town";
    Use(network, settings);
    std::vector<std::string> log;
    EXPECT_GT(Scan(log), 40);
    EXPECT_TRUE(Has(log, "Trying 122.0 MHz, 6900 ksym/s"));
    EXPECT_TRUE(Has(log, "Network found at 354.0 MHz, 6900 ksym/s"));
    EXPECT_TRUE(Has(log, "kept"));
    EXPECT_EQ(found, std::vector<unsigned long>{354000});
    EXPECT_EQ(kernel->Tunings().front().frequencyHz, 122000000u);
    EXPECT_TRUE(host.Messages().empty());

    found.clear();
    log.clear();
    Use(network, {});
    EXPECT_GT(Scan(log), 40);
    // 114 MHz has no carrier: its second symbol rate is not tried.
    EXPECT_TRUE(Has(log, "Trying 114.0 MHz, 6900 ksym/s"));
    EXPECT_FALSE(Has(log, "Trying 114.0 MHz, 6875 ksym/s"));
    EXPECT_TRUE(Has(log, "Network found at 346.0 MHz, 6900 ksym/s"));
    EXPECT_EQ(found, std::vector<unsigned long>{346000});
}

// A network off the raster never answers: once the presets and the raster
// are tried, the command line's scan ends with one line, the limit waiting
// for the search.
TEST_F(NetworkSearch, AScanWithNoNetworkEndsOnceEverythingWasTried) {
    cardlib::SimNetwork network = cardlib::DefaultNetwork();
    for (auto& t : network.transports) t.frequencyKHz += 500;
    Use(network, {});
    std::ostringstream out, status;
    std::string error;
    cli::ScanLimits limits;
    limits.cardSearching = [this] { return card.SearchingForNetwork(); };
    // The card's own lines, as --verbose shows them.
    limits.verbose = true;
    cli::ScanFailure failure = cli::ScanFailure::None;
    const int64_t began = host.GetClock().NowMs();
    EXPECT_FALSE(cli::ScanInWindow(host, true, out, status, error, limits, &failure));
    EXPECT_EQ(failure, cli::ScanFailure::Card);
    EXPECT_EQ(error.rfind("No network answered: no NIT on the cable raster (114.0 MHz to 858.0 MHz)", 0), 0u)
        << error;
    const int64_t took = host.GetClock().NowMs() - began;
    EXPECT_GE(took, 94 * cardlib::LinuxDvbBackend::kNoSignalMs);
    EXPECT_LE(took, 100 * cardlib::LinuxDvbBackend::kNoSignalMs);
    EXPECT_NE(status.str().find("Trying 858.0 MHz, 6900 ksym/s"), std::string::npos);
    EXPECT_EQ(out.str(), "");
}

}  // namespace
