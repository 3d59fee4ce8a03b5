#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "programs/ProgramListMerge.h"
#include "res/Resources.h"
#include "scan/ScanChannelsDialog.h"
#include "scan/ScanOwner.h"

namespace {

// An owner with a program list and idle table filters: the merge needs only
// the list.
class ListOwner : public ScanOwner {
public:
    ListOwner() {
        for (int c = 0; c < 25; ++c) m_Programs.InsertColumn(c, std::to_string(c), fw::Align::Center, 40);
    }
    void SetResultWindowForAll(ScanRowWriter*) override {}
    void RequestNit(int) override {}
    void RequestPat() override {}
    void RequestPmt(int, int) override {}
    void RequestSdt() override {}
    int IsNitDone() override { return 1; }
    int IsPatDone() override { return 1; }
    int IsPmtDone() override { return 1; }
    int IsSdtDone() override { return 1; }
    TableProgress NitProgress() override { return {}; }
    TableProgress SdtProgress() override { return {}; }
    int Tune(unsigned long) override { return 0; }
    void MergeService(const ScannedService& service, int updateNames) override {
        MergeScannedService(m_Programs, service, updateNames);
    }
    fw::ListView& ProgramList() { return m_Programs; }

private:
    fw::ListView m_Programs;
};

// Merges 1,000 scanned services into a program list of 10,000 rows, half of
// which describe those services already.
void BM_MergeThousandServicesIntoTenThousandPrograms(benchmark::State& state) {
    const auto ini = std::filesystem::temp_directory_path() / "kelvane-scan-bench.INI";
    fw::Profile profile(ini.string());
    for (auto _ : state) {
        state.PauseTiming();
        fw::HeadlessHost host;
        res::RegisterResources(host);
        host.SetProfile(&profile);
        ListOwner owner;
        fw::ListView& programs = owner.ProgramList();
        for (int i = 0; i < 10000; ++i) {
            const int row = programs.InsertItem(i, std::to_string(i + 1));
            programs.SetItemText(row, 3, std::to_string(i % 2 == 0 ? 1000 + i / 2 : 20000 + i));
            programs.SetItemText(row, 11, "1");
        }
        ScanChannelsDialog window(host, &owner, 1);
        host.Open(window);
        window.AddTransport(1, 1, 34600000, 6900, 3, 0);
        window.AddPatEntry(1, 1, 0x100);
        window.AddPmtStream(1, 0x100, 0x101, 2, 0, si::StreamKind::Video);
        window.AddPmtStream(1, 0x100, 0x102, 3, 0, si::StreamKind::Audio);
        for (int s = 0; s < 1000; ++s) window.AddServiceDetails(1, 1, 1000 + s * 2, 1, "Dienst", "Anbieter", {}, 0);
        state.ResumeTiming();
        for (int s = 0; s < 1000; ++s) {
            window.SetCurrentRows(s, 0, 0);
            window.MergeService();
        }
        state.PauseTiming();
        benchmark::DoNotOptimize(programs.GetItemCount());
        host.Close(window);
        state.ResumeTiming();
    }
    std::filesystem::remove(ini);
}
BENCHMARK(BM_MergeThousandServicesIntoTenThousandPrograms)->Unit(benchmark::kMillisecond);

}  // namespace

#include <algorithm>
#include <vector>

#include "board/BoardDatabase.h"
#include "simnet/BroadcastSchedule.h"
#include "cardlib/Card.h"
#include "simnet/SimBackend.h"
#include "simnet/SimNetwork.h"
#include "programs/ProgramListDialog.h"
#include "broadcast/SiTags.h"

namespace {

// The phases after lock of the tables on `pid` that carry sections of
// `tableId` (of sub-table `extension`, unless negative) from the lock on.
std::vector<int64_t> Phases(const std::vector<cardlib::SimTable>& tables, uint16_t pid, uint8_t tableId,
                            int extension = -1) {
    std::vector<int64_t> phases;
    for (const cardlib::SimTable& table : tables) {
        if (table.pid != pid || table.fromMs != 0) continue;
        for (const cardlib::Section& section : table.sections) {
            if (section.size() < 5 || section[0] != tableId) continue;
            if (extension >= 0 && ((section[3] << 8) | section[4]) != extension) continue;
            phases.push_back(table.phaseMs);
            break;
        }
    }
    return phases;
}

int64_t Latest(const std::vector<int64_t>& phases) {
    return phases.empty() ? 0 : *std::max_element(phases.begin(), phases.end());
}

// What the network's schedule forces on any scan, in ms: the NIT on the home
// transport (asked for at the best moment of its cycle: its interval less the
// widest gap between its sections), then each transport the NIT lists tuned
// once, its lock and the first emission of its SDT, PAT and every PMT after
// it, all asked for at once (a transport that never locks: the network's
// longest lock time, when a tuner gives up). `steps`: in the scan's order
// instead, one table at a time: every transport for its SDT, then again for
// its PAT; a PMT asked for on a locked transport may come at once.
int64_t NetworkFloorMs(const cardlib::SimNetwork& network, bool steps) {
    const cardlib::SimTransport& home = network.transports[network.homeTransport];
    std::vector<int64_t> nit = Phases(cardlib::TransportTables(network, home, 0), si::pid::kNit, si::table::kNitActual);
    std::sort(nit.begin(), nit.end());
    int64_t gap = 0;
    for (size_t i = 0; i < nit.size(); ++i)
        gap = std::max(gap, (i + 1 < nit.size() ? nit[i + 1] : nit[0] + network.timing.nitIntervalMs) - nit[i]);
    int64_t floor = nit.empty() ? 0 : network.timing.nitIntervalMs - gap;
    for (size_t i = 0; i < network.transports.size(); ++i) {
        const auto& listed = network.nitTransports;
        if (!listed.empty() && std::find(listed.begin(), listed.end(), i) == listed.end()) continue;
        const cardlib::SimTransport& t = network.transports[i];
        if (!t.locks) {
            floor += network.timing.lockMaxMs;
            continue;
        }
        const auto tables = cardlib::TransportTables(network, t);
        const int64_t lock = cardlib::LockDelayMs(network, t);
        const int64_t sdt = Latest(Phases(tables, si::pid::kSdtBat, si::table::kSdtActual));
        const int64_t pat = Latest(Phases(tables, si::pid::kPat, si::table::kPat));
        int64_t pmts = 0;
        for (const cardlib::SimService& service : t.services)
            if (service.pmtPid != 0) pmts = std::max(pmts, Latest(Phases(tables, service.pmtPid, si::table::kPmt, service.serviceId)));
        floor += steps ? 2 * lock + sdt + pat : lock + std::max({sdt, pat, pmts});
    }
    return floor;
}

// A whole scan on the headless host's virtual clock, counting the 500 ms ticks
// it takes against the least the sequence allows when every table arrives
// before the next tick: 2 + 2T + 1 + 3R + 2S + 1 for T transports, R runs of
// services of one transport and S services. `instant` gives the network no
// lock delay and 10 ms repetitions, so only the sequence itself counts.
// `cli`: as kelvane-cli scans (100 ms ticks, "ChainSteps", "SkipUnlocked");
// its ticks are then of 100 ms.
void RunScanTicks(benchmark::State& state, const cardlib::SimNetwork& base, bool instant, bool cli = false) {
    cardlib::SimNetwork network = base;
    if (instant) {
        network.timing = cardlib::SimTiming{0, 0, 10, 10, 10};
    }
    const auto dir = std::filesystem::temp_directory_path() / "kelvane-scan-ticks";
    std::filesystem::create_directories(dir);
    fw::Profile profile((dir / "kelvane.INI").string());
    cardlib::Board board((dir / "board.db").string());
    profile.WriteInt("ScanNetwork", "TickMs", cli ? 100 : 500);
    profile.WriteInt("ScanNetwork", "ChainSteps", cli ? 1 : 0);
    profile.WriteInt("ScanNetwork", "SkipUnlocked", cli ? 1 : 0);
    const int64_t tickMs = cli ? 100 : 500;
    double ticks = 0, least = 0, transports = 0, runs = 0, services = 0, merged = 0, seconds = 0;
    for (auto _ : state) {
        fw::HeadlessHost host;
        res::RegisterResources(host);
        host.SetProfile(&profile);
        host.SetModalTimeLimit(4 * 60 * 60 * 1000);
        cardlib::Card card;
        card.UseBackend(std::make_unique<cardlib::SimBackend>(network));
        card.Attach(host);
        ProgramListDialog window(host);
        host.Open(window);
        ScanChannelsDialog scan(host, &window, 1);
        const int64_t began = host.GetClock().NowMs();
        scan.DoModal();
        ticks = static_cast<double>((host.GetClock().NowMs() - began) / tickMs);
        seconds = static_cast<double>(host.GetClock().NowMs() - began) / 1000.0;
        fw::ListView& list = scan.ServiceList();
        transports = scan.TransportList().GetItemCount();
        services = list.GetItemCount();
        runs = 0;
        for (int r = 0; r < list.GetItemCount(); ++r) {
            if (r == 0 || list.GetItemText(r, 1) != list.GetItemText(r - 1, 1) ||
                list.GetItemText(r, 2) != list.GetItemText(r - 1, 2)) {
                ++runs;
            }
        }
        least = cli ? transports + runs + services + 2 : 2 + 2 * transports + 1 + 3 * runs + 2 * services + 1;
        merged = window.ProgramList().GetItemCount();
        host.Close(window);
    }
    state.counters["ticks"] = ticks;
    state.counters["least"] = least;
    state.counters["T"] = transports;
    state.counters["R"] = runs;
    state.counters["S"] = services;
    state.counters["merged"] = merged;
    state.counters["scan_s"] = seconds;
    state.counters["floor_s"] = static_cast<double>(NetworkFloorMs(network, false)) / 1000.0;
    state.counters["order_s"] = static_cast<double>(NetworkFloorMs(network, true)) / 1000.0;
    std::filesystem::remove_all(dir);
}

void BM_ScanTicksDefaultNetwork(benchmark::State& state) { RunScanTicks(state, cardlib::DefaultNetwork(), false); }
void BM_ScanTicksDefaultNetworkInstant(benchmark::State& state) { RunScanTicks(state, cardlib::DefaultNetwork(), true); }
void BM_ScanTicksLargeNetwork(benchmark::State& state) { RunScanTicks(state, cardlib::LargeNetwork(), false); }
void BM_ScanTicksLargeNetworkInstant(benchmark::State& state) { RunScanTicks(state, cardlib::LargeNetwork(), true); }
void BM_ScanTicksDefaultNetworkCli(benchmark::State& state) { RunScanTicks(state, cardlib::DefaultNetwork(), false, true); }
void BM_ScanTicksLargeNetworkCli(benchmark::State& state) { RunScanTicks(state, cardlib::LargeNetwork(), false, true); }
void BM_ScanTicksLargeNetworkInstantCli(benchmark::State& state) { RunScanTicks(state, cardlib::LargeNetwork(), true, true); }
BENCHMARK(BM_ScanTicksDefaultNetworkCli)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksLargeNetworkCli)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksLargeNetworkInstantCli)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksDefaultNetwork)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksDefaultNetworkInstant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksLargeNetwork)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksLargeNetworkInstant)->Unit(benchmark::kMillisecond);

}  // namespace
