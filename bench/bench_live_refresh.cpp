// One store refresh against the simulated Mac daemon: the SMC fan hardware controller reads the
// fan speed ("F0Ac", information then bytes) and every HID temperature service (service list,
// then each service's product and temperature event) through the device socket, and the store
// publishes the snapshot and records the sample.

#include "app/hardware/SMCFanHardwareController.h"
#include "app/model/AerivoStore.h"
#include "platform/simulator/SimulatorHIDEventSystem.h"
#include "platform/simulator/SimulatorIOKit.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/ManualSerialQueue.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace aerivo {
namespace {

struct LiveMac {
    testing::TemporarySystemRoot root;
    testing::SimulatorProcess simulator{root.path(), {"--model", "laptop-2fan", "--seed", "1"}};
};

LiveMac& liveMac() {
    static LiveMac instance;
    return instance;
}

void BM_LiveStoreRefresh(benchmark::State& state) {
    LiveMac& mac = liveMac();
    if (!mac.simulator.isServing()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    SimulatorIOKit io(mac.root.path());
    SimulatorHIDEventSystem hid(mac.root.path());
    ManualMainLoop loop;
    auto controller = std::make_shared<SMCFanHardwareController>(io, hid);
    if (!controller->hasSMCClient()) {
        state.SkipWithError("no SMC client on the simulator");
        return;
    }
    AerivoStore store(
        loop, AerivoStoreCollaborators{controller, nullptr, nullptr, nullptr}, std::nullopt,
        AerivoProfile::balanced(), ThermalSnapshot::initial(), FanControlMode::system, true,
        std::make_unique<ManualSerialQueue>(loop, AerivoStore::curveLeaseQueueLabel()));
    if (!store.snapshot().hasLiveTemperatureTelemetry) {
        state.SkipWithError("no live temperature from the simulator");
        return;
    }
    std::vector<double> micros;
    micros.reserve(1 << 18);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        store.refreshSnapshot();
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(store.snapshot());
        if (micros.size() < micros.capacity()) {
            micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
        // Spaced like the real loop, so each refresh records a sample (1.5 s minimum spacing).
        loop.advanceBy(MainLoop::Seconds(2.0));
    }
    if (!micros.empty()) {
        std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
        state.counters["median_us"] = micros[micros.size() / 2];
    }
}
BENCHMARK(BM_LiveStoreRefresh)->MinTime(2.0);

} // namespace
} // namespace aerivo
