// The curve editor window's resident memory: a process with a store holding a full day of history
// (43200 samples) shows the editor's content at 1280 x 820 and paints it. Reports the process's
// resident set before the window exists and once it has been shown and painted, and the cost of
// one complete window paint. Run it under Xvfb (QT_QPA_PLATFORM=xcb) for a real window; by
// default it uses the offscreen platform.
#include "app/ui/ContentView.h"
#include "tests/store/StoreTestSupport.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>
#include <fstream>
#include <string>

namespace aerivo {
namespace {

// VmRSS of this process, in megabytes.
double residentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

void settle() {
    for (int pass = 0; pass < 5; ++pass) {
        QApplication::processEvents();
    }
}

void BM_EditorWindowShownAndPainted(benchmark::State& state) {
    StoreHarness harness;
    harness.controller->capabilities = StoreHarness::oneFan();
    harness.controller->nextSnapshot = [&harness] {
        const double t =
            std::chrono::duration<double>(harness.loop.now() - ManualMainLoop::referenceDate)
                .count();
        const double temperature = 55.0 + 18.0 * std::sin(t / 900.0) + 6.0 * std::sin(t / 37.0);
        return ThermalSnapshot{temperature, 2400, 2400, "PMU tdie1", true, harness.loop.now()};
    };
    std::unique_ptr<AerivoStore> store = harness.make();
    harness.loop.advanceBy(MainLoop::Seconds(AerivoStore::thermalHistoryRetentionSeconds));
    store->setThermalHistoryWindow(ThermalHistoryWindow::twentyFourHours);
    settle();
    const double before = residentMegabytes();

    ContentView content(*store);
    content.resize(1280, 820);
    content.show();
    settle();
    for (auto _ : state) {
        content.repaint();
    }
    settle();
    const double after = residentMegabytes();
    state.counters["rss_before_window_MB"] = before;
    state.counters["rss_with_window_MB"] = after;
    state.counters["window_MB"] = after - before;
    state.counters["history_samples"] = static_cast<double>(store->thermalSamples().size());
}
BENCHMARK(BM_EditorWindowShownAndPainted)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace
} // namespace aerivo

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
