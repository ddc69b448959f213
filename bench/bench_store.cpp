// Budgets: a store refresh against the in-process mock (< 20 µs, also with curve leasing on),
// history append + trim at a full history (< 1 µs amortised), a 24-hour window plus a 28-bin
// histogram over 43200 samples (< 300 µs), and at most 32 bytes per stored sample.
#include "app/model/AerivoStore.h"
#include "app/model/MockFanHardwareController.h"
#include "app/telemetry/ThermalDistribution.h"
#include "app/telemetry/ThermalHistory.h"
#include "tests/support/FakeFanHardwareController.h"
#include "tests/support/ManualMainLoop.h"
#include "tests/support/ManualSerialQueue.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace aerivo {
namespace {

using Seconds = MainLoop::Seconds;

Instant secondsAfterReference(double seconds) {
    return ManualMainLoop::referenceDate +
           std::chrono::duration_cast<Instant::duration>(Seconds(seconds));
}

ThermalSample sampleAt(std::size_t index) {
    const double t = static_cast<double>(index) * 2.0;
    return ThermalSample(55.0 + 20.0 * std::sin(t / 600.0), 2000.0, 2100.0,
                         secondsAfterReference(t));
}

std::unique_ptr<AerivoStore> makeStore(ManualMainLoop& loop,
                                       std::shared_ptr<FanHardwareController> controller,
                                       FanControlMode mode) {
    return std::make_unique<AerivoStore>(
        loop, AerivoStoreCollaborators{std::move(controller), nullptr, nullptr, nullptr},
        std::nullopt, AerivoProfile::balanced(), ThermalSnapshot::initial(), mode, true,
        std::make_unique<ManualSerialQueue>(loop, AerivoStore::curveLeaseQueueLabel()));
}

// One refresh step against the mock controller (system clock, sines, curve target).
void BM_StoreRefreshMock(benchmark::State& state) {
    ManualMainLoop loop;
    auto store =
        makeStore(loop, std::make_shared<MockFanHardwareController>(), FanControlMode::curve);
    for (auto _ : state) {
        store->refreshSnapshot();
        benchmark::DoNotOptimize(store->snapshot().actualRPM);
    }
}
BENCHMARK(BM_StoreRefreshMock);

// One two-second refresh with curve leasing on and every write requirement met: the lease
// decision each time, and every third refresh a renewal through the lease queue and back.
void BM_StoreRefreshCurveLeasing(benchmark::State& state) {
    class AcceptingHelper final : public PrivilegedHelperClient {
    public:
        PrivilegedHelperHealth readHealth() override {
            PrivilegedHelperHealth health = PrivilegedHelperHealth::unavailable();
            health.isSignatureValid = health.hasBlessMetadata = true;
            health.isPrivilegedInstallVerified = health.hasTrustedProvenance = true;
            health.hasHeartbeat = health.resetCommandAccepted = health.fanWritesEnabled = true;
            return health;
        }
        PrivilegedHelperActionResult renewCurveTargetLease(double, int) override {
            return {true, "Helper fan lease accepted.", nlohmann::json{{"accepted", true}}};
        }
    };
    ManualMainLoop loop;
    auto controller = std::make_shared<FakeFanHardwareController>();
    controller->capabilities = FanHardwareCapabilities(1, 1200.0, 6200.0, 2000.0, "SMC");
    controller->clock = [&] { return loop.now(); };
    AerivoStore store(
        loop,
        AerivoStoreCollaborators{controller, std::make_shared<AcceptingHelper>(), nullptr, nullptr},
        std::nullopt, AerivoProfile::balanced(), ThermalSnapshot::initial(), FanControlMode::curve,
        true, std::make_unique<ManualSerialQueue>(loop, AerivoStore::curveLeaseQueueLabel()));
    std::int64_t leases = 0;
    store.setFanControlEventHandler([&](const FanControlEvent&) { ++leases; });
    for (auto _ : state) {
        loop.advanceBy(Seconds(2.0)); // the tick's refresh, and the renewal's round trip
    }
    state.counters["leasesPerRefresh"] =
        static_cast<double>(leases) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_StoreRefreshCurveLeasing);

// One refresh step that also records a live sample into a full history (append + trim).
void BM_StoreRefreshLiveFullHistory(benchmark::State& state) {
    ManualMainLoop loop;
    auto controller = std::make_shared<FakeFanHardwareController>();
    std::size_t tick = 0;
    controller->clock = [&] { return secondsAfterReference(static_cast<double>(tick) * 2.0); };
    auto store = makeStore(loop, controller, FanControlMode::curve);
    for (tick = 1; tick <= AerivoStore::thermalHistoryLimit; ++tick) {
        store->refreshSnapshot();
    }
    for (auto _ : state) {
        store->refreshSnapshot();
        ++tick;
    }
    state.counters["samples"] = static_cast<double>(store->thermalSamples().size());
}
BENCHMARK(BM_StoreRefreshLiveFullHistory);

// What the store does per recorded sample once the history is full: append, cut at 24 h, cap.
void BM_HistoryAppendTrimFull(benchmark::State& state) {
    ThermalHistory history(AerivoStore::thermalHistoryLimit);
    std::size_t index = 0;
    for (; index < AerivoStore::thermalHistoryLimit; ++index) {
        history.append(sampleAt(index));
    }
    for (auto _ : state) {
        const ThermalSample sample = sampleAt(index++);
        history.append(sample);
        history.removeRecordedBefore(
            instantBefore(sample.recordedAt, Seconds(AerivoStore::thermalHistoryRetentionSeconds)));
        benchmark::DoNotOptimize(history.size());
    }
    state.counters["samples"] = static_cast<double>(history.size());
}
BENCHMARK(BM_HistoryAppendTrimFull);

// The curve graph's work: the 24-hour window of a full history and its 28-bin histogram.
void BM_WindowAndHistogram24h(benchmark::State& state) {
    ThermalHistory history(AerivoStore::thermalHistoryLimit);
    for (std::size_t index = 0; index < AerivoStore::thermalHistoryLimit + 1000; ++index) {
        history.append(sampleAt(index)); // wrapped ring: the window comes in two pieces
    }
    const Instant now = history.back().recordedAt;
    const AerivoAxis axis = AerivoProfile::balanced().temperatureAxis;
    for (auto _ : state) {
        const auto window = history.between(
            instantBefore(now, duration(ThermalHistoryWindow::twentyFourHours)), now);
        const auto distribution = ThermalDistribution::make(window, axis, 28);
        benchmark::DoNotOptimize(distribution.sampleCount);
    }
    state.counters["samples"] = static_cast<double>(history.size());
}
BENCHMARK(BM_WindowAndHistogram24h);

// Memory per stored sample at a full history (storage bytes / samples) and sizeof(ThermalSample).
void BM_BytesPerSample(benchmark::State& state) {
    ThermalHistory history(AerivoStore::thermalHistoryLimit);
    for (auto _ : state) {
        history.clear();
        for (std::size_t index = 0; index < AerivoStore::thermalHistoryLimit; ++index) {
            history.append(sampleAt(index));
        }
        benchmark::DoNotOptimize(history.size());
    }
    state.counters["bytesPerSample"] =
        static_cast<double>(history.storageBytes()) / static_cast<double>(history.size());
    state.counters["sizeofSample"] = static_cast<double>(sizeof(ThermalSample));
}
BENCHMARK(BM_BytesPerSample)->Iterations(3);

} // namespace
} // namespace aerivo
