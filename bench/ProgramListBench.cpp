// The program list at the size of a large cable network's list: Load and Save
// of 10,000 programs through the board database and the list window, and a
// header-click sort by a numeric and by the text column, and what undo costs.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "card/DBDVBX32.h"
#include "board/BoardDatabase.h"
#include "cardlib/Card.h"
#include "framework/Profile.h"
#include "framework/headless/HeadlessHost.h"
#include "card/ProgramFields.h"
#include "programs/ProgramListDialog.h"
#include "res/Resources.h"

namespace {

constexpr uint32_t kPrograms = 10000;

// Name parts from several scripts and cases, so the sort folds real text.
const char* const kParts[] = {"Das", "erste", "ZDF", "arte", "Öffentlich", "über", "Канал", "первый",
                              "ΕΡΤ", "ελληνικά", "テレビ", "News", "sport", "KINO", "Straße", "radio"};

TunProgDataTag MakeProgram(uint32_t i, std::mt19937& random) {
    TunProgDataTag r;
    r.index = i + 1;
    r.name = std::string(kParts[random() % 16]) + " " + kParts[random() % 16] + " " + std::to_string(random() % 1000);
    r.frequency = 114000 + (random() % 744) * 1000;
    r.progId = static_cast<uint16_t>(random());
    r.tsId = static_cast<uint16_t>(random());
    r.nwId = 1;
    r.serviceId = r.progId;
    r.modulation = 3;
    r.fec = 0x15;
    r.symbolRate = 6900000;
    r.progType = 1;
    r.videoPid = static_cast<uint16_t>(random() & 0x1FFF);
    r.audioPid = static_cast<uint16_t>(random() & 0x1FFF);
    r.pmtPid = static_cast<uint16_t>(random() & 0x1FFF);
    r.reserved1 = static_cast<uint32_t>(random());  // a shuffled order to sort back to
    return r;
}

// A list window over a board database of 10,000 programs in a directory of its own.
class ProgramListFixture {
public:
    ProgramListFixture() {
        m_Profile = std::make_unique<fw::Profile>((m_Dir / "kelvane.INI").string());
        host.SetProfile(m_Profile.get());
        res::RegisterResources(host);
        std::mt19937 random(2026);
        DVB_LoadDBProgData();
        DVB_DelAllDBProgData();
        for (uint32_t i = 0; i < kPrograms; ++i) {
            TunProgDataTag r = MakeProgram(i, random);
            DVB_SetDBProgData(kTunProgDataTagSize, &r);
        }
        DVB_SaveDBProgData();
        window = std::make_unique<ProgramListDialog>(host);
        host.Open(*window);
    }
    ~ProgramListFixture() {
        host.Close(*window);
        window.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_Dir, ec);
    }

private:
    static std::filesystem::path MakeTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvane-bench-XXXXXX").string();
        return mkdtemp(pattern.data());
    }
    std::filesystem::path m_Dir = MakeTempDir();
    std::unique_ptr<fw::Profile> m_Profile;

public:
    fw::HeadlessHost host;
    cardlib::Board board{(m_Dir / "board.db").string()};
    cardlib::Card card;
    std::unique_ptr<ProgramListDialog> window;
};

void CheckRows(benchmark::State& state, ProgramListDialog& window) {
    if (window.ProgramList().GetItemCount() != static_cast<int>(kPrograms)) state.SkipWithError("rows missing");
}

void BM_ProgramListLoad(benchmark::State& state) {
    ProgramListFixture f;
    for (auto _ : state) {
        f.window->OnLoad();
        benchmark::DoNotOptimize(f.window->ProgramList().GetItemCount());
    }
    CheckRows(state, *f.window);
    if (!f.host.Messages().empty()) state.SkipWithError(f.host.Messages().front().c_str());
    state.SetItemsProcessed(state.iterations() * kPrograms);
}
BENCHMARK(BM_ProgramListLoad)->Unit(benchmark::kMillisecond);

void BM_ProgramListSave(benchmark::State& state) {
    ProgramListFixture f;
    f.window->OnLoad();
    for (auto _ : state) f.window->OnSave();
    CheckRows(state, *f.window);
    if (!f.host.Messages().empty()) state.SkipWithError(f.host.Messages().front().c_str());
    state.SetItemsProcessed(state.iterations() * kPrograms);
}
BENCHMARK(BM_ProgramListSave)->Unit(benchmark::kMillisecond);

// Each sort starts from the shuffled order of column "Reserved 1".
void SortBy(benchmark::State& state, int column) {
    ProgramListFixture f;
    f.window->OnLoad();
    for (auto _ : state) {
        state.PauseTiming();
        f.window->SortByColumn(kColumnReserved1);
        state.ResumeTiming();
        f.window->OnColumnClick(1150, column);
    }
    CheckRows(state, *f.window);
    state.SetItemsProcessed(state.iterations() * kPrograms);
}

void BM_ProgramListSortNumeric(benchmark::State& state) { SortBy(state, kColumnFrequency); }
BENCHMARK(BM_ProgramListSortNumeric)->Unit(benchmark::kMillisecond);

void BM_ProgramListSortText(benchmark::State& state) { SortBy(state, kColumnName); }
BENCHMARK(BM_ProgramListSortText)->Unit(benchmark::kMillisecond);

// The cost of keeping every change undoable: a Move Down (with the snapshot
// taken before it and the check that it changed something), then its Undo.
void BM_ProgramListMoveDownThenUndo(benchmark::State& state) {
    ProgramListFixture f;
    f.window->OnLoad();
    f.window->ProgramList().SetSelectionMark(0);
    for (auto _ : state) {
        f.window->OnMoveDown();
        f.window->OnUndo();
    }
    CheckRows(state, *f.window);
    if (f.window->History().CanUndo()) state.SkipWithError("the undo did not take the move back");
    // What one step of a list this long holds.
    f.window->OnMoveDown();
    state.counters["step_bytes"] = static_cast<double>(f.window->History().Bytes());
}
BENCHMARK(BM_ProgramListMoveDownThenUndo)->Unit(benchmark::kMillisecond);

}  // namespace
