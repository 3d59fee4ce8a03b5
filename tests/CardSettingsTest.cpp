#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cardlib/Card.h"
#include "cardsetup/CardSettings.h"
#include "tsfile/TsFileBackend.h"
#include "testing/CaptureWriter.h"
#include "framework/headless/HeadlessHost.h"
#include "tests/CardListener.h"

namespace {

using cardlib::CardSettings;
using Source = CardSettings::Source;

class CardSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("kelvane-cardini-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "kelvane");
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old) oldConfig = old, hadConfig = true;
        ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    void TearDown() override {
        if (hadConfig)
            ::setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(dir);
    }
    std::string Write(const std::string& text) {
        const std::string path = (dir / "kelvane" / "card.ini").string();
        std::ofstream(path) << text;
        return path;
    }

    std::filesystem::path dir;
    std::string oldConfig;
    bool hadConfig = false;
};

TEST_F(CardSettingsTest, PathFollowsXdgConfigHome) {
    EXPECT_EQ(cardlib::CardSettingsPath(), (dir / "kelvane" / "card.ini").string());
}

TEST_F(CardSettingsTest, ReadsKeysAndReportsWhatItCannotUse) {
    struct Case {
        const char* name;
        std::string text;
        Source source;
        std::string network, folder;
        unsigned long home;
        bool problems;
    };
    const std::string abs = (dir / "caps").string();
    const Case cases[] = {
        {"empty file", "", Source::Simulated, "default", "", 0, false},
        {"simulated large", "[Card]\nBackend=simulated\nNetwork=large\n", Source::Simulated, "large", "", 0, false},
        {"files", "[Card]\nBackend=Files\nFolder=" + abs + "\nHomeFrequency=354000\n", Source::Files, "default", abs,
         354000, false},
        {"relative folder beside the file", "[card]\r\n backend = files \r\nfolder=caps\r\n", Source::Files, "default",
         (dir / "kelvane" / "caps").string(), 0, false},
        {"other sections are ignored", "[Other]\nBackend=files\n[Card]\n; comment\n", Source::Simulated, "default", "", 0,
         false},
        {"files without folder", "[Card]\nBackend=files\n", Source::Simulated, "default", "", 0, true},
        {"unknown backend", "[Card]\nBackend=v4l\n", Source::Simulated, "default", "", 0, true},
        {"dvb", "[Card]\nBackend=DVB\nHomeFrequency=346000\n", Source::Dvb, "default", "", 346000, false},
        {"bad frequency", "[Card]\nHomeFrequency=346 MHz\n", Source::Simulated, "default", "", 0, true},
        {"frequency past 32 bits of Hz", "[Card]\nHomeFrequency=99999999999999999999\n", Source::Simulated, "default",
         "", 0, true},
        {"unknown key", "[Card]\nSpeed=9\n", Source::Simulated, "default", "", 0, true},
        {"not an assignment", "[Card]\nBackend\n", Source::Simulated, "default", "", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string problems;
        const CardSettings s = cardlib::ReadCardSettings(Write(c.text), &problems);
        EXPECT_EQ(s.source, c.source);
        EXPECT_EQ(s.network, c.network);
        EXPECT_EQ(s.folder, c.folder);
        EXPECT_EQ(s.homeFrequencyKHz, c.home);
        EXPECT_EQ(!problems.empty(), c.problems) << problems;
    }
    std::string problems;
    const CardSettings missing = cardlib::ReadCardSettings((dir / "nowhere.ini").string(), &problems);
    EXPECT_EQ(missing.source, Source::Simulated);
    EXPECT_TRUE(problems.empty());
}

TEST_F(CardSettingsTest, ReadsTheTunersDevicesAndWhatToTuneWhereTheNitIsSilent) {
    struct Case {
        std::string keys;
        unsigned adapter, frontend, demux;
        std::vector<uint32_t> symbolRates;
        unsigned modulation;
        bool problems;
    } cases[] = {
        // No symbol rate: the operators' list, 6900, then 6875 ksym/s first.
        {"", 0, 0, 0, {}, 0, false},
        {"Adapter=1\nFrontend=2\nDemux=3\nSymbolRate=6875\nModulation=256\n", 1, 2, 3, {6875000}, 256, false},
        {"SymbolRate=6111, 6875,6900\n", 0, 0, 0, {6111000, 6875000, 6900000}, 0, false},
        {"Modulation=AUTO\nModulation=128\n", 0, 0, 0, {}, 128, false},
        {"Adapter=-1\nDemux=x\nSymbolRate=6900000\nModulation=32\n", 0, 0, 0, {}, 0, true},
        {"SymbolRate=500\nFrontend=256\n", 0, 0, 0, {}, 0, true},
        {"SymbolRate=6900,\n", 0, 0, 0, {}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        std::string problems;
        const CardSettings s = cardlib::ReadCardSettings(Write("[Card]\nBackend=dvb\n" + c.keys), &problems);
        EXPECT_EQ(s.source, Source::Dvb);
        EXPECT_EQ(s.dvb.adapter, c.adapter);
        EXPECT_EQ(s.dvb.frontend, c.frontend);
        EXPECT_EQ(s.dvb.demux, c.demux);
        EXPECT_EQ(s.dvb.symbolRates, c.symbolRates);
        EXPECT_EQ(s.dvb.modulation, c.modulation);
        // Without a valid Adapter, the first DVB-C adapter is looked for.
        EXPECT_EQ(s.dvb.findAdapter, c.keys.find("Adapter=1") == std::string::npos);
        EXPECT_EQ(!problems.empty(), c.problems) << problems;
    }
}

TEST_F(CardSettingsTest, WithoutAFileTheSimulatedNetworkRuns) {
    fw::HeadlessHost host;
    cardlib::Card card;
    EXPECT_EQ(cardlib::ConfigureFromSettings(card, host), "");
    EXPECT_EQ(card.Frequency(), 346000u);
    cardtest::Listener nit(host, 0x10, 0x40, 0xF0);
    host.Advance(10000);
    EXPECT_FALSE(nit.sections.empty());
}

TEST_F(CardSettingsTest, FilesBackendPlaysTheFolder) {
    std::string error;
    ASSERT_TRUE(cardlib::WriteTsFolder(cardlib::DefaultNetwork(), (dir / "caps").string(), &error)) << error;
    Write("[Card]\nBackend=files\nFolder=" + (dir / "caps").string() + "\nHomeFrequency=362000\n");
    fw::HeadlessHost host;
    cardlib::Card card;
    EXPECT_EQ(cardlib::ConfigureFromSettings(card, host), "");
    EXPECT_EQ(card.Frequency(), 362000u);
    cardtest::Listener sdt(host, 0x11, 0x42, 0xFF);
    host.Advance(3000);
    ASSERT_FALSE(sdt.sections.empty());
    EXPECT_EQ((sdt.sections[0][3] << 8) | sdt.sections[0][4], 3);  // transport_stream_id of 362 MHz
}

// Backend=satip: the server and its port, the stream's transport and PID
// limit; a server that cannot be one, or none, is a problem.
TEST_F(CardSettingsTest, ReadsTheSatIpServer) {
    struct Case {
        std::string keys;
        Source source;
        std::string host;
        uint16_t port;
        bool interleaved;
        unsigned maxPids;
        bool problems;
    } cases[] = {
        {"Server=fritz.box\n", Source::SatIp, "fritz.box", 554, false, 16, false},
        {"Server=192.168.178.1:8554\nTransport=TCP\nMaxPids=8\n", Source::SatIp, "192.168.178.1", 8554, true, 8, false},
        // Without a Server: the one discovery finds when the card starts.
        {"", Source::SatIp, "", 554, false, 16, false},
        {"Server=box:0\n", Source::Simulated, "", 554, false, 16, true},
        {"Server=box:70000\n", Source::Simulated, "", 554, false, 16, true},
        {"Server=a b\n", Source::Simulated, "", 554, false, 16, true},
        {"Server=box\nTransport=http\nMaxPids=0\n", Source::SatIp, "box", 554, false, 16, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        std::string problems;
        const CardSettings s =
            cardlib::ReadCardSettings(Write("[Card]\nBackend=satip\nHomeFrequency=346000\n" + c.keys), &problems);
        EXPECT_EQ(s.source, c.source);
        EXPECT_EQ(s.satip.host, c.host);
        EXPECT_EQ(s.satip.port, c.port);
        EXPECT_EQ(s.satip.interleaved, c.interleaved);
        EXPECT_EQ(s.satip.maxPids, c.maxPids);
        EXPECT_EQ(s.satip.homeFrequencyKHz, 346000u);
        EXPECT_EQ(!problems.empty(), c.problems) << problems;
    }
}

}  // namespace
