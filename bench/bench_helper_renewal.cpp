// One curve renewal as the app sends it: a fresh connection to the running helper's socket, the
// admission of a repeat client, the lease controller's reads and writes on the simulated Mac's
// SMC through the device socket, the expiry re-armed, and the reply. This program signs its own
// image as the app under a throwaway anchor of its temporary system root, so the helper admits
// it.

#include "platform/helpersocket/HelperTransport.h"
#include "shared/AerivoManualTargetLeaseRequest.h"
#include "tests/e2e/HelperProcess.h"
#include "tests/e2e/SimulatorProcess.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

namespace aerivo {
namespace {

struct RunningHelper {
    RunningHelper() {
        // The image is signed where it lies: a copy would be another program.
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
        signing.signedAppCopy(self, self.string() + ".signed");
        std::filesystem::rename(self.string() + ".signed.codesig", self.string() + ".codesig");
        std::filesystem::remove(self.string() + ".signed");
    }

    testing::TemporarySystemRoot root;
    testing::SimulatorProcess simulator{root.path(), {"--model", "laptop-2fan", "--seed", "1"}};
    testing::RootSigningIdentity signing{root.path()};
    std::unique_ptr<testing::HelperProcess> helper =
        std::make_unique<testing::HelperProcess>(AERIVO_MAC_HELPER_PATH, root.path());
};

void BM_CurveRenewalThroughTheHelper(benchmark::State& state) {
    static RunningHelper running;
    if (!running.simulator.isServing() || !running.helper->isServing()) {
        state.SkipWithError("the simulator or the helper did not start");
        return;
    }
    UnixSocketHelperTransport transport(
        testing::HelperProcess::socketPath(running.root.path()).string());
    std::vector<double> micros;
    micros.reserve(1 << 16);
    double target = 2400;
    for (auto _ : state) {
        // Alternating targets, as a curve moving with the temperature.
        target = target == 2400 ? 2600 : 2400;
        const HelperRequest request =
            HelperRequest::holdManualTargetLease(AerivoManualTargetLeaseRequest{
                0, target, 15, std::string(AerivoManualTargetLeaseRequest::curveRenewalReason)}
                                                     .dictionary());
        const auto start = std::chrono::steady_clock::now();
        const HelperRequestResult result = transport.send(request, std::chrono::seconds(5));
        const auto end = std::chrono::steady_clock::now();
        if (!result.isReplied() || !result.reply || !result.reply->value("accepted", false)) {
            state.SkipWithError(("renewal not accepted: " + result.detail + " " +
                                 (result.reply ? result.reply->dump() : std::string()) + "\n" +
                                 running.helper->log())
                                    .c_str());
            return;
        }
        if (micros.size() < micros.capacity()) {
            micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
    }
    if (!micros.empty()) {
        std::sort(micros.begin(), micros.end());
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
        state.counters["samples"] = static_cast<double>(micros.size());
    }
}
BENCHMARK(BM_CurveRenewalThroughTheHelper)->MinTime(3.0)->UseRealTime();

} // namespace
} // namespace aerivo
