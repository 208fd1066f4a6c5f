// Start-up to a shown window: a new main window over fresh folders, created, shown and
// drawn, with the web engine already running (the first window of the process pays for
// starting it; main reports that cold figure on its own).
#include "BenchWindow.h"

#include <QApplication>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

void BM_StartUpToShownWindow(benchmark::State& state) {
    ShownWindow(); // the web engine is up before new windows are timed
    for (auto _ : state) {
        {
            const auto window = std::make_unique<BenchWindow>();
            window->form.show();
            WaitUntilExposed(window->form);
        }
    }
}
BENCHMARK(BM_StartUpToShownWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
