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

#include "cardlib/BoardDatabase.h"
#include "cardlib/Card.h"
#include "cardlib/SimBackend.h"
#include "cardlib/SimNetwork.h"
#include "programs/ProgramListDialog.h"

namespace {

// A whole scan on the headless host's virtual clock, counting the 500 ms ticks
// it takes against the least the sequence allows when every table arrives
// before the next tick: 2 + 2T + 1 + 3R + 2S + 1 for T transports, R runs of
// services of one transport and S services. `instant` gives the network no
// lock delay and 10 ms repetitions, so only the sequence itself counts.
void RunScanTicks(benchmark::State& state, const cardlib::SimNetwork& base, bool instant) {
    cardlib::SimNetwork network = base;
    if (instant) {
        network.timing = cardlib::SimTiming{0, 0, 10, 10, 10};
    }
    const auto dir = std::filesystem::temp_directory_path() / "kelvane-scan-ticks";
    std::filesystem::create_directories(dir);
    fw::Profile profile((dir / "kelvane.INI").string());
    cardlib::Board board((dir / "board.db").string());
    double ticks = 0, least = 0, transports = 0, runs = 0, services = 0, merged = 0;
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
        ticks = static_cast<double>((host.GetClock().NowMs() - began) / 500);
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
        least = 2 + 2 * transports + 1 + 3 * runs + 2 * services + 1;
        merged = window.ProgramList().GetItemCount();
        host.Close(window);
    }
    state.counters["ticks"] = ticks;
    state.counters["least"] = least;
    state.counters["T"] = transports;
    state.counters["R"] = runs;
    state.counters["S"] = services;
    state.counters["merged"] = merged;
    std::filesystem::remove_all(dir);
}

void BM_ScanTicksDefaultNetwork(benchmark::State& state) { RunScanTicks(state, cardlib::DefaultNetwork(), false); }
void BM_ScanTicksDefaultNetworkInstant(benchmark::State& state) { RunScanTicks(state, cardlib::DefaultNetwork(), true); }
void BM_ScanTicksLargeNetwork(benchmark::State& state) { RunScanTicks(state, cardlib::LargeNetwork(), false); }
void BM_ScanTicksLargeNetworkInstant(benchmark::State& state) { RunScanTicks(state, cardlib::LargeNetwork(), true); }
BENCHMARK(BM_ScanTicksDefaultNetwork)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksDefaultNetworkInstant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksLargeNetwork)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTicksLargeNetworkInstant)->Unit(benchmark::kMillisecond);

}  // namespace
