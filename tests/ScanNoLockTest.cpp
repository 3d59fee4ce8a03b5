// A transport the tuner cannot lock on: with "SkipUnlocked" its request ends
// as soon as the tuner has given up, with what its time-out would have left;
// without it the request waits the time-out out. A late lock is still read.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/CardStatus.h"
#include "card/ProgramFields.h"
#include "card/TTCommDVB.h"
#include "cardlib/Card.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "testing/EmulatedDvb.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "scan/ScanChannelsDialog.h"
#include "tests/ProgramTestSupport.h"

namespace {

using cardlib::SimNetwork;

// Each line of the scan's log with the virtual time it was written at.
class TimedLog final : public fw::ListViewObserver {
public:
    explicit TimedLog(fw::HeadlessHost& host) : m_Host(host) {}
    void Watch(fw::ListView& log) {
        m_Log = &log;
        log.SetObserver(this);
        EndInsertRows();
    }
    void EndInsertRows() override {
        for (; m_Shown < m_Log->GetItemCount(); ++m_Shown)
            lines.emplace_back(m_Log->GetItemText(m_Shown, 0), m_Host.GetClock().NowMs());
    }
    // From the tuning to `mhz` to the first line after its request (the
    // request has ended by then; the next line may follow some ticks later).
    int64_t RequestMs(const std::string& mhz) const {
        const std::string tuning = "Set Frequenzy to " + mhz + " MHz";
        for (size_t i = 0; i + 2 < lines.size(); ++i)
            if (lines[i].first == tuning) return lines[i + 2].second - lines[i].second;
        return -1;
    }
    std::vector<std::pair<std::string, int64_t>> lines;

private:
    fw::HeadlessHost& m_Host;
    fw::ListView* m_Log = nullptr;
    int m_Shown = 0;
};

struct ScanResult {
    std::vector<std::string> log;
    std::vector<std::vector<std::string>> rows;
    std::vector<ScanChannelsDialog::SilentTransport> silent;
    int64_t tookMs = 0;
    int64_t darkMs = 0;  // the request on the transport that never locks
};

class ScanNoLock : public programtest::ProgramFixture {
public:
    void SetUp() override { host.SetModalTimeLimit(60 * 60 * 1000); }

    ScanResult Scan(int skipUnlocked, const std::string& darkMhz = "450.0") {
        host.GetProfile().WriteInt("ScanNetwork", "SkipUnlocked", skipUnlocked);
        // Tables go out at the same moments of every minute: scans begun on
        // the minute meet them alike.
        host.Advance(60000 - host.GetClock().NowMs() % 60000);
        ProgramListDialog window(host);
        CardStatus status(card, window);
        host.Open(window);
        ScanChannelsDialog scan(host, &window, 1);
        TimedLog log(host);
        host.ScriptModal(res::IDD_SCAN_CHANNELS, [&](fw::Dialog&) { log.Watch(scan.LogList()); });
        ScanResult result;
        const int64_t began = host.GetClock().NowMs();
        EXPECT_EQ(window.RunScan(scan), 1);
        result.tookMs = host.GetClock().NowMs() - began;
        result.darkMs = log.RequestMs(darkMhz);
        for (const auto& [line, at] : log.lines)
            if (line.rfind("Signal at ", 0) != 0) result.log.push_back(line);
        for (int r = 0; r < window.ProgramList().GetItemCount(); ++r) {
            std::vector<std::string> cells;
            for (int c = 1; c <= kColumnState; ++c) cells.push_back(window.ProgramList().GetItemText(r, c));
            result.rows.push_back(cells);
        }
        std::sort(result.rows.begin(), result.rows.end());
        result.silent = scan.SilentTransports();
        host.Close(window);
        return result;
    }
};

const std::vector<ScanChannelsDialog::SilentTransport> kDark{{"450.0 MHz (TS 11)", false}};

TEST_F(ScanNoLock, SkipUnlockedEndsTheRequestOnceTheSimulatedTunerGaveUp) {
    const SimNetwork& network = cardlib::DefaultNetwork();
    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);

    // The tuner's word: still trying within the network's lock time, given
    // up after it; never on a transport that locks, however long it waits.
    CFrontend frontend;
    ASSERT_EQ(frontend.SetFrequency(450000, 1), CCommonDVB::DVB_ERR_NONE);
    int givenUp = 1;
    host.Advance(network.timing.lockMaxMs - 1);
    EXPECT_EQ(frontend.GetLockGivenUp(givenUp), CCommonDVB::DVB_ERR_NONE);
    EXPECT_EQ(givenUp, 0);
    host.Advance(1);
    EXPECT_TRUE(card.TunerGaveUp());
    frontend.SetFrequency(346000, 1);
    host.Advance(20000);
    EXPECT_FALSE(card.TunerGaveUp());
    EXPECT_EQ(card.TunerLocked(), true);

    // Each scan on a tuner that has stood on the home transport for long,
    // so that both meet the same tables at the same moments.
    auto use = [&] {
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
        card.Attach(host);
    };
    use();
    const ScanResult waiting = Scan(0);
    use();
    const ScanResult skipping = Scan(1);
    // After the last SDT request three ticks pass before the next line.
    const int64_t nextLineMs = 3 * ScanChannelsDialog::kScanTimerPeriodMs;
    EXPECT_GE(waiting.darkMs, 15000 + nextLineMs);
    EXPECT_GT(skipping.darkMs, network.timing.lockMaxMs);
    EXPECT_LE(skipping.darkMs, network.timing.lockMaxMs + ScanChannelsDialog::kScanTimerPeriodMs + nextLineMs);
    // The time-out (15 to 17 s, in whole seconds) less the tuner's lock time.
    EXPECT_GE(waiting.tookMs - skipping.tookMs, 13000);
    EXPECT_LE(waiting.tookMs - skipping.tookMs, 17000);
    EXPECT_EQ(skipping.log, waiting.log);
    EXPECT_EQ(skipping.rows, waiting.rows);
    EXPECT_EQ(waiting.rows.size(), 66u);
    EXPECT_EQ(skipping.silent, kDark);
    EXPECT_EQ(waiting.silent, kDark);
}

// A real tuner gives up once its one guess (the NIT tells symbol rate and
// constellation) has had its time and 10 s have passed: a transport that
// locks after 9 s is still read, and the one that never locks ends there.
TEST_F(ScanNoLock, ALateLockIsStillReadThroughTheDevices) {
    SimNetwork network = cardlib::DefaultNetwork();
    const auto dark = std::find_if(network.transports.begin(), network.transports.end(),
                                   [](const cardlib::SimTransport& t) { return !t.locks; });
    ASSERT_NE(dark, network.transports.end());
    network.transports = {network.transports[0], network.transports[1], *dark};
    network.timing.lockMinMs = network.timing.lockMaxMs = 9000;
    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);
    const ScanResult simulated = Scan(0);

    std::shared_ptr<cardlib::EmulatedDvb> kernel;
    auto use = [&] {
        cardlib::EmulatedDvb::Setup setup;
        setup.canQamAuto = true;
        setup.standsOnHome = true;
        setup.retuneMs = 50;
        kernel = std::make_shared<cardlib::EmulatedDvb>(host, network, setup);
        cardlib::DvbSettings settings;
        settings.homeFrequencyKHz = network.transports[network.homeTransport].frequencyKHz;
        card.Detach();
        card.UseBackend(std::make_unique<cardlib::LinuxDvbBackend>(settings, kernel));
        card.Attach(host);
    };
    use();
    const ScanResult waiting = Scan(0);
    use();
    const ScanResult skipping = Scan(1);

    ASSERT_FALSE(simulated.rows.empty());
    EXPECT_EQ(waiting.rows, simulated.rows);
    EXPECT_EQ(skipping.rows, simulated.rows);
    EXPECT_EQ(skipping.log, waiting.log);
    EXPECT_EQ(skipping.silent, kDark);
    EXPECT_EQ(waiting.silent, kDark);
    EXPECT_GE(waiting.darkMs, 15000);
    // Given up 10 s after the tuning, seen at the next tick, the next line
    // three ticks later.
    EXPECT_GT(skipping.darkMs, cardlib::LinuxDvbBackend::kLockGiveUpMs);
    EXPECT_LE(skipping.darkMs, cardlib::LinuxDvbBackend::kLockGiveUpMs + 4 * 500);
}

}  // namespace
