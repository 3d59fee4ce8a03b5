#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
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
    void RequestNit() override {}
    void RequestPat() override {}
    void RequestPmt(int) override {}
    void RequestSdt() override {}
    int IsNitDone() override { return 1; }
    int IsPatDone() override { return 1; }
    int IsPmtDone() override { return 1; }
    int IsSdtDone() override { return 1; }
    int Tune(unsigned long) override { return 0; }
    fw::ListView& ProgramList() override { return m_Programs; }

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
        window.AddPmtStream(1, 0x100, 0x101, 2, 0);
        window.AddPmtStream(1, 0x100, 0x102, 3, 0);
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
