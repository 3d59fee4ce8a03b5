#include <gtest/gtest.h>
#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <fcntl.h>

#include "app/CardStatus.h"
#include "cardlib/Card.h"
#include "linuxdvb/LinuxDvbBackend.h"
#include "testing/EmulatedDvb.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "card/ProgramFields.h"
#include "simnet/SimSections.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "scan/ScanChannelsDialog.h"
#include "tests/CardListener.h"
#include "tests/ProgramTestSupport.h"

namespace {

using cardlib::EmulatedDvb;
using cardlib::LinuxDvbBackend;
using cardlib::SimNetwork;
using cardtest::Listener;

const std::string kFrontend = "/dev/dvb/adapter0/frontend0";

// The seam with the emulated kernel behind it, keeping the section filters
// the backend set.
class Recorder final : public cardlib::DvbSystem {
public:
    explicit Recorder(std::shared_ptr<EmulatedDvb> kernel) : m_Kernel(std::move(kernel)) {}
    int Open(const std::string& path, int flags) override { return m_Kernel->Open(path, flags); }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (request == DMX_SET_FILTER) filters.push_back(*static_cast<dmx_sct_filter_params*>(arg));
        if (request == DMX_SET_BUFFER_SIZE) bufferSize = reinterpret_cast<uintptr_t>(arg);
        return m_Kernel->Ioctl(fd, request, arg);
    }
    long Read(int fd, uint8_t* buffer, size_t size) override { return m_Kernel->Read(fd, buffer, size); }
    int Poll(pollfd* fds, size_t count, int timeoutMs) override { return m_Kernel->Poll(fds, count, timeoutMs); }
    int Close(int fd) override { return m_Kernel->Close(fd); }

    std::vector<dmx_sct_filter_params> filters;
    uintptr_t bufferSize = 0;

private:
    std::shared_ptr<EmulatedDvb> m_Kernel;
};

class LinuxDvb : public programtest::ProgramFixture {
public:
    void SetUp() override { host.SetModalTimeLimit(60 * 60 * 1000); }

    // Installs the backend over an emulated adapter carrying `network`.
    LinuxDvbBackend* Use(const SimNetwork& network, EmulatedDvb::Setup setup = {}, cardlib::DvbSettings settings = {}) {
        kernel = std::make_shared<EmulatedDvb>(host, network, setup);
        recorder = std::make_shared<Recorder>(kernel);
        if (settings.homeFrequencyKHz == 0)
            settings.homeFrequencyKHz = network.transports[network.homeTransport].frequencyKHz;
        auto backend = std::make_unique<LinuxDvbBackend>(settings, recorder);
        LinuxDvbBackend* raw = backend.get();
        card.Detach();
        card.UseBackend(std::move(backend));
        card.Attach(host);
        return raw;
    }

    // The program list a whole scan leaves, row by row from "Programm" on,
    // sorted; `took`: the virtual time the scan took.
    // `silent`: the transports that sent no SDT.
    std::vector<std::vector<std::string>> Scan(std::vector<std::string>* log = nullptr, int64_t* took = nullptr,
                                               std::vector<ScanChannelsDialog::SilentTransport>* silent = nullptr) {
        ProgramListDialog window(host);
        CardStatus status(card, window);
        host.Open(window);
        ScanChannelsDialog scan(host, &window, 1);
        const int64_t began = host.GetClock().NowMs();
        EXPECT_EQ(window.RunScan(scan), 1);
        if (took) *took = host.GetClock().NowMs() - began;
        std::vector<std::vector<std::string>> rows;
        for (int r = 0; r < window.ProgramList().GetItemCount(); ++r) {
            std::vector<std::string> cells;
            for (int c = 1; c <= kColumnState; ++c) cells.push_back(window.ProgramList().GetItemText(r, c));
            rows.push_back(cells);
        }
        for (int i = 0; log && i < scan.LogList().GetItemCount(); ++i) log->push_back(scan.LogList().GetItemText(i, 0));
        if (silent) *silent = scan.SilentTransports();
        host.Close(window);
        // Where a service added on air falls in the list depends on when
        // each tuner locked.
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    std::shared_ptr<EmulatedDvb> kernel;
    std::shared_ptr<Recorder> recorder;
    // Outside a scan, a window that is not open hears the card.
    ProgramListDialog owner{host};
    CardStatus ownerStatus{card, owner};
};

TEST_F(LinuxDvb, ScanThroughTheDevicesGivesTheSimulatedBackendsProgramList) {
    const SimNetwork& network = cardlib::DefaultNetwork();
    card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
    card.Attach(host);
    // Tables go out at the same moments of every minute: scans begun on the
    // minute meet them alike.
    auto onTheMinute = [&] { host.Advance(60000 - host.GetClock().NowMs() % 60000); };
    onTheMinute();
    int64_t simulatedMs = 0;
    std::vector<ScanChannelsDialog::SilentTransport> silent;
    const auto simulated = Scan(nullptr, &simulatedMs, &silent);
    ASSERT_GT(simulated.size(), 40u);
    // The tuner's own word on the transport that never answers.
    const std::vector<ScanChannelsDialog::SilentTransport> dark{{"450.0 MHz (TS 11)", false}};
    EXPECT_EQ(silent, dark);

    // A frontend without its own constellation search, card.ini's defaults:
    // the home transport is found by trying 256-QAM, then 64-QAM, the rest
    // with what the NIT says. Each retune leaves the old transport's packets
    // coming for a while, as a real tuner does.
    EmulatedDvb::Setup slow;
    slow.retuneMs = 50;
    Use(network, slow);
    std::vector<std::string> log;
    EXPECT_EQ(Scan(&log, nullptr, &silent), simulated);
    EXPECT_EQ(silent, dark);
    // The last transport the scan read locked.
    EXPECT_EQ(card.TunerLocked(), true);
    EXPECT_TRUE(host.Messages().empty());
    // The devices send by the simulated network's schedule: no table comes
    // in pieces of two versions.
    for (const std::string& line : log) EXPECT_EQ(line.find("incomplete"), std::string::npos) << line;
    // Each transport that locks has its signal figures in the log.
    std::set<std::string> locked, expected;
    for (const std::string& line : log) {
        char mhz[16];
        if (std::sscanf(line.c_str(), "Signal at %15s MHz: strength -38.3 dBm, C/N 34.5 dB", mhz) == 1) locked.insert(mhz);
    }
    for (size_t i : network.nitTransports) {
        const auto& t = network.transports[i];
        char mhz[16];
        std::snprintf(mhz, sizeof mhz, "%.1f", t.frequencyKHz / 1000.0);
        if (t.locks) expected.insert(mhz);
    }
    EXPECT_EQ(locked, expected);
    // Nothing is left open once the scan has shut its filters down.
    EXPECT_EQ(kernel->OpenDemuxes(), 0u);
    EXPECT_EQ(recorder->bufferSize, LinuxDvbBackend::kDemuxBufferBytes);

    // A frontend that finds the constellation itself and stands locked on
    // the home transport, as the simulated one does: the scan takes the
    // simulated backend's time to the tick.
    EmulatedDvb::Setup standing;
    standing.canQamAuto = true;
    standing.standsOnHome = true;
    standing.retuneMs = 50;
    Use(network, standing);
    onTheMinute();
    int64_t standingMs = 0;
    log.clear();
    EXPECT_EQ(Scan(&log, &standingMs), simulated);
    for (const std::string& line : log) EXPECT_EQ(line.find("incomplete"), std::string::npos) << line;
    EXPECT_EQ(standingMs, simulatedMs);
}

// The devices send what the simulated network sends: one version of a table
// at a time, and the clock and guide tables with the time they go out.
TEST_F(LinuxDvb, EmulatedDemuxSendsOneVersionAtATimeAndTheClockAndGuideTables) {
    const SimNetwork& network = cardlib::DefaultNetwork();
    EmulatedDvb::Setup setup;
    setup.canQamAuto = true;
    Use(network, setup);
    cardtest::Tune(354000);  // its SDT takes a new version soon after the first lock
    Listener sdt(host, 0x11, 0x42, 0xFF), tdt(host, 0x14, 0x70, 0xFF), eit(host, 0x12, 0x4E, 0xFF);
    host.Advance(2 * network.timing.timeIntervalMs);
    std::vector<int> versions;
    for (const auto& s : sdt.sections) versions.push_back((s[5] >> 1) & 0x1F);
    ASSERT_GT(versions.size(), 4u);
    EXPECT_TRUE(std::is_sorted(versions.begin(), versions.end())) << testing::PrintToString(versions);
    EXPECT_EQ(versions.back(), network.transports[1].sdtVersion + 1);
    ASSERT_FALSE(tdt.sections.empty());
    for (size_t i = 0; i < tdt.sections.size(); ++i) EXPECT_EQ(tdt.sections[i], cardlib::BuildTdt(tdt.times[i]));
    // Present and following event of every service with a programme.
    std::set<uint16_t> services;
    for (const auto& s : eit.sections) services.insert(static_cast<uint16_t>(s[3] << 8 | s[4]));
    EXPECT_EQ(services.size(), network.transports[1].services.size());
}

TEST_F(LinuxDvb, FilterBytesSkipTheSectionLengthOnTheWayToTheKernel) {
    SimNetwork network = cardlib::DefaultNetwork();
    Use(network);
    const uint16_t nid = network.networkId;
    struct Case {
        std::vector<uint8_t> value, mask;
        std::vector<uint8_t> kernelFilter, kernelMask;  // bytes 0 to 3
        bool delivers;
    } cases[] = {
        {{0x40}, {0xFF}, {0x40, 0, 0, 0}, {0xFF, 0, 0, 0}, true},
        // network_id is section bytes 3 and 4: kernel bytes 1 and 2.
        {{0x40, 0, 0, uint8_t(nid >> 8), uint8_t(nid)}, {0xFF, 0, 0, 0xFF, 0xFF},
         {0x40, uint8_t(nid >> 8), uint8_t(nid), 0}, {0xFF, 0xFF, 0xFF, 0}, true},
        {{0x40, 0, 0, uint8_t(nid >> 8), uint8_t(nid + 1)}, {0xFF, 0, 0, 0xFF, 0xFF},
         {0x40, uint8_t(nid >> 8), uint8_t(nid + 1), 0}, {0xFF, 0xFF, 0xFF, 0}, false},
        // The kernel cannot look at section_length; the card does.
        {{0x40, 0x0F}, {0xFF, 0x0F}, {0x40, 0, 0, 0}, {0xFF, 0, 0, 0}, false},
        // current_next_indicator, section byte 5.
        {{0x40, 0, 0, 0, 0, 0x01}, {0xFF, 0, 0, 0, 0, 0x01}, {0x40, 0, 0, 0x01}, {0xFF, 0, 0, 0x01}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        recorder->filters.clear();
        std::vector<std::vector<uint8_t>> got;
        {
            CPIDFilter filter;
            std::vector<uint8_t> value = c.value, mask = c.mask;
            ASSERT_EQ(filter.SetBitFilter(0x10, value.data(), mask.data(), static_cast<unsigned char>(value.size()), 0),
                      CCommonDVB::DVB_ERR_NONE);
            struct Socket : CDVBWinSock {
                std::vector<std::vector<uint8_t>>* out;
                void OnDataReceived(unsigned char* data, int length) override { out->emplace_back(data, data + length); }
            } socket;
            socket.out = &got;
            int error = 0;
            ASSERT_EQ(socket.SOpen(filter.GetFilterHandle(), &error), 1);
            host.Advance(network.timing.nitIntervalMs + 2000);
            filter.ShutDownFilter();
            socket.SClose();
        }
        ASSERT_EQ(recorder->filters.size(), 1u);
        const dmx_sct_filter_params& p = recorder->filters[0];
        EXPECT_EQ(p.pid, 0x10);
        // No CRC check: the dispatcher sees every section. (Set before the
        // first lock, the filter starts with the lock.)
        EXPECT_EQ(p.flags & ~unsigned(DMX_IMMEDIATE_START), 0u);
        EXPECT_EQ(std::vector<uint8_t>(p.filter.filter, p.filter.filter + 4), c.kernelFilter);
        EXPECT_EQ(std::vector<uint8_t>(p.filter.mask, p.filter.mask + 4), c.kernelMask);
        EXPECT_EQ(!got.empty(), c.delivers);
        for (const auto& s : got) EXPECT_EQ(s.size(), 3u + (((s[1] & 0x0F) << 8) | s[2]));  // whole sections, one each
        EXPECT_EQ(kernel->OpenDemuxes(), 0u);
    }
}

TEST_F(LinuxDvb, SymbolRateAndModulationComeFromTheNitElseFromTheSettings) {
    SimNetwork network = cardlib::DefaultNetwork();
    network.transports[1].symbolRate = 6875000;
    network.transports[1].modulation = cardlib::Modulation::Qam256;
    cardlib::DvbSettings settings;
    settings.symbolRates = {6900000};
    settings.modulation = 128;
    Use(network, {}, settings);
    // Home: nothing known yet, so card.ini's figures (it does not lock there).
    Listener nit(host, 0x10, 0x40, 0xFF);
    host.Advance(100);
    ASSERT_FALSE(kernel->Tunings().empty());
    EXPECT_EQ(kernel->Tunings().back().symbolRate, 6900000u);
    EXPECT_EQ(kernel->Tunings().back().modulation, unsigned(QAM_128));
    EXPECT_EQ(kernel->Tunings().back().deliverySystem, unsigned(SYS_DVBC_ANNEX_A));
    EXPECT_EQ(kernel->Tunings().back().inversion, unsigned(INVERSION_AUTO));
    EXPECT_TRUE(nit.sections.empty());

    // What the NIT says, once a NIT went through this backend.
    struct Step {
        unsigned long kHz;
        uint32_t symbolRate, modulation, fec;
    } steps[] = {{354000, 6875000, QAM_256, FEC_NONE}, {346000, 6900000, QAM_64, FEC_NONE},
                 {802000, 6900000, QAM_128, FEC_AUTO}};
    cardtest::Tune(346000);
    // Not yet known: still 128-QAM, so no lock and no NIT. Settings say 64 now.
    host.Advance(3000);
    EXPECT_TRUE(nit.sections.empty());
    Listener pat(host, 0x00, 0x00, 0xFF);
    card.Detach();
    settings.modulation = 64;
    Use(network, {}, settings);
    Listener nit2(host, 0x10, 0x40, 0xFF);
    host.Advance(network.timing.nitIntervalMs + 2000);
    ASSERT_FALSE(nit2.sections.empty());
    for (const Step& s : steps) {
        SCOPED_TRACE(s.kHz);
        cardtest::Tune(s.kHz);
        host.Advance(50);
        const EmulatedDvb::Tuning& t = kernel->Tunings().back();
        EXPECT_EQ(t.frequencyHz, s.kHz * 1000);
        EXPECT_EQ(t.symbolRate, s.symbolRate);
        EXPECT_EQ(t.modulation, s.modulation == QAM_128 ? unsigned(QAM_64) : s.modulation);
        EXPECT_EQ(t.innerFec, s.fec);
    }
    // The transport the NIT described locks and sends its tables.
    cardtest::Tune(354000);
    Listener pat2(host, 0x00, 0x00, 0xFF);
    host.Advance(1500);
    EXPECT_FALSE(pat2.sections.empty());
}

TEST_F(LinuxDvb, AutoModulationIsTheFrontendsOwnSearchWhereItHasOne) {
    EmulatedDvb::Setup setup;
    setup.canQamAuto = true;
    const SimNetwork& network = cardlib::DefaultNetwork();
    Use(network, setup);
    Listener pat(host, 0x00, 0x00, 0xFF);
    host.Advance(1200);
    ASSERT_EQ(kernel->Tunings().size(), 1u);
    EXPECT_EQ(kernel->Tunings()[0].modulation, unsigned(QAM_AUTO));
    EXPECT_FALSE(pat.sections.empty());
}

TEST_F(LinuxDvb, DevicesThatCannotBeUsedAreNamedWithTheirError) {
    auto setup = [](bool present, bool permitted, bool busy, std::vector<uint32_t> systems) {
        EmulatedDvb::Setup s;
        s.present = present, s.permitted = permitted, s.frontendBusy = busy, s.deliverySystems = std::move(systems);
        return s;
    };
    struct Case {
        const char* what;
        EmulatedDvb::Setup setup;
        std::string expected;
    } cases[] = {
        {"no adapter", setup(false, true, false, {}),
         "No DVB adapter: " + kFrontend + " does not exist (No such file or directory)"},
        {"not permitted", setup(true, false, false, {}),
         "Permission denied on " + kFrontend + ": the DVB devices belong to the group \"video\""},
        {"busy", setup(true, true, true, {}), kFrontend + " is busy (Device or resource busy): another program"},
        {"terrestrial", setup(true, true, false, {SYS_DVBT, SYS_DVBT2}),
         kFrontend + " (\"Emulated DVB-C frontend\") is not a DVB-C frontend: it receives DVB-T, DVB-T2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.ClearMessages();
        LinuxDvbBackend* backend = Use(cardlib::DefaultNetwork(), c.setup);
        EXPECT_NE(backend->Problem().find(c.expected), std::string::npos) << backend->Problem();
        // The card goes on without a signal: filters set, nothing arrives,
        // the trouble is not told again.
        Listener pat(host, 0x00, 0x00, 0xFF);
        cardtest::Tune(354000);
        host.Advance(20000);
        EXPECT_TRUE(pat.sections.empty());
        EXPECT_TRUE(kernel->Tunings().empty());
        for (const std::string& m : host.Messages()) EXPECT_EQ(m.find(c.expected), std::string::npos) << m;
        // What was never there was not unplugged.
        for (const std::string& m : host.Messages()) EXPECT_EQ(m.find("unplugged"), std::string::npos) << m;
        if (!c.setup.present) {
            EXPECT_EQ(host.Messages(), std::vector<std::string>{"No DVB adapter: /dev/dvb/adapter0/demux0 was not found "
                                                                "(No such file or directory). Plug in the tuner, or "
                                                                "set Adapter and Frontend in card.ini."});
        }
    }
}

TEST_F(LinuxDvb, ReadErrorsKeepTheFilterAndOverrunsAreCounted) {
    const SimNetwork& network = cardlib::DefaultNetwork();
    LinuxDvbBackend* backend = Use(network);
    Listener pat(host, 0x00, 0x00, 0xFF);
    host.Advance(LinuxDvbBackend::kFallbackMs + 1500);
    ASSERT_FALSE(pat.sections.empty());
    for (int error : {EOVERFLOW, ETIMEDOUT}) {
        SCOPED_TRACE(error);
        const size_t before = pat.sections.size();
        kernel->FailNextRead(0x00, error);
        host.Advance(500);
        EXPECT_GT(pat.sections.size(), before);
        EXPECT_EQ(kernel->OpenDemuxes(), 1u);
    }
    EXPECT_EQ(backend->Overflows(), 1u);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(LinuxDvb, UnpluggedMidScanTheRequestsEndByTimeOutAndTheListStays) {
    const SimNetwork& network = cardlib::DefaultNetwork();
    Use(network);
    ProgramListDialog window(host);
    CardStatus status(card, window);
    host.Open(window);
    window.OnCommand(res::IDC_SEARCH);  // a first scan fills the list
    const int rows = window.ProgramList().GetItemCount();
    ASSERT_GT(rows, 40);
    // Pulled out in the second scan's service phase, after its first PMTs
    // (before the first PAT the scan never gives up by design).
    ScanChannelsDialog scan(host, &window, 1);
    std::function<void()> watch = [&] {
        fw::ListView& log = scan.LogList();
        int pmts = 0;
        for (int i = 0; i < log.GetItemCount(); ++i) pmts += log.GetItemText(i, 0).rfind("Request PMT", 0) == 0;
        if (pmts >= 3)
            kernel->Unplug();
        else
            host.Post(watch, 500);
    };
    host.Post(watch, 500);
    EXPECT_EQ(window.RunScan(scan), 1);
    EXPECT_EQ(window.ProgramList().GetItemCount(), rows);
    // The first scan's summary, then the tuner that went, once.
    ASSERT_EQ(host.Messages().size(), 2u);
    EXPECT_EQ(host.Messages()[0], "Scan: " + std::to_string(rows) + " added, 0 updated, 0 actual, 0 missing; no lock on 450.0 MHz (TS 11)\n" +
                                      "Networks on this cable: 28432 \"Lindwurm Kabel\" (NIT actual, 11 transports), 28433 \"Grenzland Kabel\" (NIT other, 2 transports); scanning 28432, set NetworkId for another");
    EXPECT_EQ(host.Messages()[1].rfind("/dev/dvb/adapter0 has gone (", 0), 0u) << host.Messages()[1];
    EXPECT_EQ(kernel->OpenDescriptors(), 0u);
    host.Close(window);
}

}  // namespace
