#include "app/model/AerivoProfile.h"

#include <benchmark/benchmark.h>

namespace {

// The curve target the store asks for on every refresh, over the default five-point profile.
void BM_TargetRPMBalanced(benchmark::State& state) {
    const aerivo::AerivoProfile& profile = aerivo::AerivoProfile::balanced();
    double temperature = 20.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(profile.targetRPM(temperature));
        temperature = temperature >= 100.0 ? 20.0 : temperature + 0.37;
    }
}
BENCHMARK(BM_TargetRPMBalanced);

} // namespace
