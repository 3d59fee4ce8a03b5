// The Qt list at scale: a ListView of 100,000 rows of 25 columns in the
// program list window, filled while the view is on screen, painted, scrolled
// to its end and sorted. The view reads the rows lazily, so each step should
// cost about what the ListView itself costs plus the rows on screen.
//
//   QT_QPA_PLATFORM=offscreen ./build/kelvane_qt_bench
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTreeView>
#include <string>
#include <time.h>

#include "framework/Dialog.h"
#include "framework/ListView.h"
#include "framework/qt/QtHost.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"

namespace {

constexpr int kColumns = 25;

void AddColumns(fw::ListView& list) {
    for (int c = 0; c < kColumns; ++c)
        list.InsertColumn(c, "Col " + std::to_string(c), c == 1 ? fw::Align::Left : fw::Align::Center, 60);
}

void FillRows(fw::ListView& list, int rows) {
    for (int i = 0; i < rows; ++i) {
        const int row = list.InsertItem(list.GetItemCount(), std::to_string(i + 1));
        list.SetItemText(row, 1, "Program " + std::to_string(i));
        for (int c = 2; c < kColumns; ++c) list.SetItemText(row, c, std::to_string((i * 7919 + c * 104729) % 65536));
    }
}

// Milliseconds of this thread's processor time since the last call: the GUI
// thread does all the work (the offscreen platform paints on it too), and
// processor time does not depend on what else the shared machine runs.
class StepTimer {
public:
    StepTimer() : m_Last(Now()) {}
    double Lap() {
        const double now = Now();
        const double ms = now - m_Last;
        m_Last = now;
        return ms;
    }

private:
    static double Now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
    double m_Last;
};

// Everything the user waits for, with the window up: the rows arrive, the
// first paint, a jump to the last row, a sort by a column.
void BM_QtListFillPaintScrollSort(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    fw::QtHost host;
    res::RegisterResources(host);
    double insertMs = 0, paintMs = 0, scrollMs = 0, sortMs = 0;
    for (auto _ : state) {
        fw::Dialog dialog(host, res::IDD_PROGRAM_LIST);
        host.Post([&] {
            auto* view = qobject_cast<QTreeView*>(host.ControlWidget(dialog, res::IDC_PROGRAM_LIST));
            fw::ListView& list = dialog.List(res::IDC_PROGRAM_LIST);
            AddColumns(list);
            QApplication::processEvents();

            StepTimer timer;
            FillRows(list, rows);
            insertMs += timer.Lap();

            QApplication::processEvents();
            view->viewport()->repaint();
            paintMs += timer.Lap();

            list.EnsureVisible(rows - 1);
            QApplication::processEvents();
            view->viewport()->repaint();
            scrollMs += timer.Lap();
            if (view->verticalScrollBar()->value() != view->verticalScrollBar()->maximum())
                state.SkipWithError("the view did not scroll to the last row");

            // Descending by the name column: a reset of the whole model.
            list.SortItemsByRow([&list](int a, int b) { return list.ItemText(b, 1).compare(list.ItemText(a, 1)); });
            QApplication::processEvents();
            view->viewport()->repaint();
            sortMs += timer.Lap();
            dialog.EndDialog(fw::IDOK);
        });
        dialog.DoModal();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["insert_ms"] = insertMs / n;
    state.counters["first_paint_ms"] = paintMs / n;
    state.counters["scroll_to_end_ms"] = scrollMs / n;
    state.counters["sort_ms"] = sortMs / n;
}
BENCHMARK(BM_QtListFillPaintScrollSort)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

// The same rows into a ListView that no view watches: what the model costs alone.
void BM_ListViewFillWithoutView(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    for (auto _ : state) {
        fw::ListView list;
        AddColumns(list);
        FillRows(list, rows);
        benchmark::DoNotOptimize(list.GetItemCount());
    }
}
BENCHMARK(BM_ListViewFillWithoutView)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
