#include <gtest/gtest.h>
#include <linux/dvb/frontend.h>

#include <algorithm>

#include "cardlib/Card.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "simnet/SimNetwork.h"
#include "testing/EmulatedDvb.h"
#include "programs/ProgramListDialog.h"
#include "scan/ScanChannelsDialog.h"
#include "tests/CardListener.h"
#include "tests/ProgramTestSupport.h"

namespace {

using cardlib::EmulatedDvb;

// Keeps the card's status lines; its problems go to the host's message boxes.
class LinuxDvbDrivers : public programtest::ProgramFixture, public cardlib::CardListener {
public:
    void SetUp() override {
        host.SetModalTimeLimit(60 * 60 * 1000);
        card.SetListener(this);
    }
    void TearDown() override { card.SetListener(nullptr); }
    void OnCardStatus(const std::string& line) override { lines.push_back(line); }
    void OnCardProblem(const std::string& text) override { host.ShowMessage(nullptr, text); }
    bool Logged(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    // One emulated adapter with `setup`, card.ini's home at 346 MHz.
    void UseDevices(const cardlib::SimNetwork& network, const EmulatedDvb::Setup& setup) {
        cardlib::DvbSettings settings;
        settings.homeFrequencyKHz = 346000;
        card.Detach();
        card.UseBackend(
            std::make_unique<cardlib::LinuxDvbBackend>(settings, std::make_shared<EmulatedDvb>(host, network, setup)));
        card.Attach(host);
    }
    std::vector<std::string> lines;
};

// Adapter 0 is a DVB-T stick, adapter 1 a cable tuner on frontend 1 and
// demux 1 whose driver lacks QAM auto, gives FE_HAS_SYNC before the lock,
// the strength in relative units and no C/N. card.ini names no adapter and
// no symbol rate; the home transport sends at 6875 ksym/s in 64-QAM.
TEST_F(LinuxDvbDrivers, TheFirstCableAdapterScansWhateverItsDriverLacks) {
    cardlib::SimNetwork network = cardlib::DefaultNetwork();
    network.transports[0].symbolRate = 6875000;
    EmulatedDvb::Setup terrestrial, cable;
    terrestrial.frontend = cable.frontend = 1;
    terrestrial.deliverySystems = {SYS_DVBT, SYS_DVBT2};
    terrestrial.name = "Emulated DVB-T stick";
    cable.adapter = 1;
    cable.demux = 1;
    cable.strengthScale = FE_SCALE_RELATIVE;
    cable.reportsCnr = false;
    cable.syncBeforeLockMs = 300;
    auto stick = std::make_shared<EmulatedDvb>(host, network, terrestrial);
    auto tuner = std::make_shared<EmulatedDvb>(host, network, cable);
    auto adapters = std::make_shared<cardlib::EmulatedDvbAdapters>();
    adapters->Add(stick, 0);
    adapters->Add(tuner, 1);
    cardlib::DvbSettings settings;
    settings.findAdapter = true;
    settings.frontend = settings.demux = 1;
    settings.homeFrequencyKHz = 346000;
    card.UseBackend(std::make_unique<cardlib::LinuxDvbBackend>(settings, adapters));
    card.Attach(host);

    ProgramListDialog window(host);
    host.Open(window);
    ScanChannelsDialog scan(host, &window, 1);
    EXPECT_EQ(scan.DoModal(), 1);
    EXPECT_GT(window.ProgramList().GetItemCount(), 40);
    host.Close(window);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(lines.front(), "Tuner: /dev/dvb/adapter1/frontend1 (\"Emulated DVB-C frontend\"), the first DVB-C "
                             "frontend (/dev/dvb/adapter0/frontend1 receives DVB-T, DVB-T2)");
    EXPECT_TRUE(Logged("Signal at 346.0 MHz: strength 75 %"));
    EXPECT_TRUE(stick->Tunings().empty());
    // Rate by rate, each constellation in turn, until the fifth locks.
    const std::vector<std::pair<uint32_t, uint32_t>> tried = {
        {6900000, QAM_256}, {6900000, QAM_64}, {6900000, QAM_128}, {6875000, QAM_256}, {6875000, QAM_64}};
    ASSERT_GT(tuner->Tunings().size(), tried.size());
    for (size_t i = 0; i < tried.size(); ++i) {
        EXPECT_EQ(tuner->Tunings()[i].frequencyHz, 346000000u);
        EXPECT_EQ(std::make_pair(tuner->Tunings()[i].symbolRate, tuner->Tunings()[i].modulation), tried[i]) << i;
    }
    EXPECT_NE(tuner->Tunings()[tried.size()].frequencyHz, 346000000u);
}

// What a driver measures is shown in its own unit; without the DVBv5
// strength the DVBv3 call gives it in relative units, and a strength it
// lacks both ways is left out.
TEST_F(LinuxDvbDrivers, SignalLinesShowWhatTheDriverMeasures) {
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    const struct {
        bool readsStrengthV3;
        std::string line;
    } cases[] = {{true, "Signal at 346.0 MHz: strength 75 %, C/N 34.5 dB"}, {false, "Signal at 346.0 MHz: C/N 34.5 dB"}};
    for (const auto& c : cases) {
        lines.clear();
        EmulatedDvb::Setup setup;
        setup.canQamAuto = true;
        setup.strengthScale = FE_SCALE_NOT_AVAILABLE;
        setup.readsStrengthV3 = c.readsStrengthV3;
        UseDevices(network, setup);
        cardtest::Listener pat(host, 0x00, 0x00, 0xFF);
        cardtest::Tune(346000);
        host.Advance(1500);
        EXPECT_FALSE(pat.sections.empty());
        EXPECT_EQ(lines, std::vector<std::string>{c.line});
    }
}

// A demodulator that shows FE_HAS_SYNC long before FE_HAS_LOCK while the
// bridge still hands over the old transport's packets: SYNC is no lock, so
// the filters wait for FE_HAS_LOCK and only the new transport's PAT comes.
TEST_F(LinuxDvbDrivers, SyncWithoutTheLockStartsNoFilter) {
    const cardlib::SimNetwork& network = cardlib::DefaultNetwork();
    EmulatedDvb::Setup setup;
    setup.canQamAuto = true;
    setup.retuneMs = 50;
    setup.syncBeforeLockMs = 5000;
    setup.oldUntilLock = true;
    UseDevices(network, setup);
    cardtest::Listener pat(host, 0x00, 0x00, 0xFF);
    cardtest::Tune(346000);
    host.Advance(3000);
    ASSERT_FALSE(pat.sections.empty());
    pat.sections.clear();
    cardtest::Tune(354000);
    host.Advance(3000);
    ASSERT_FALSE(pat.sections.empty());
    for (const std::vector<uint8_t>& section : pat.sections) {
        ASSERT_GE(section.size(), 5u);
        EXPECT_EQ(section[3] << 8 | section[4], network.transports[1].transportStreamId);
    }
}

}  // namespace
