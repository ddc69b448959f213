// One SMC call round trip through the simulated Mac's device socket: SimulatorIOKit's
// struct-method call (80 bytes each way plus a frame header) against a running aerivo-sim-mac.

#include "platform/services/IOKitSMCConnection.h"
#include "platform/services/SMCServiceConnection.h"
#include "platform/simulator/SimulatorIOKit.h"
#include "shared/SMCKeyCodec.h"
#include "shared/SimulatorWire.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

extern char** environ;

namespace aerivo {
namespace {

// A simulator in its own temporary root for the whole run.
class BenchSimulator {
public:
    BenchSimulator() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "aerivo-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        root_ = pattern;
        std::string program = AERIVO_SIM_MAC_PATH;
        std::string rootFlag = "--root";
        std::string rootValue = root_.string();
        char* argv[] = {program.data(), rootFlag.data(), rootValue.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pid_ > 0 && std::chrono::steady_clock::now() < deadline &&
               !std::filesystem::is_socket(simulatorSocketPath(root_))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~BenchSimulator() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
    pid_t pid_ = -1;
};

BenchSimulator& simulator() {
    static BenchSimulator instance;
    return instance;
}

void BM_SimSocketSMCCall(benchmark::State& state) {
    SimulatorIOKit io(simulator().root());
    const auto opened = openSMCService(io);
    if (!opened) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    SMCKeyData input;
    input.key = smcKeyCode("F0Ac");
    input.keyInfo.dataSize = 4;
    input.data8 = commandCode(SMCCommand::readBytes);
    const IOStructMethodRecord record = input.image();
    IOStructMethodRecord output{};
    std::vector<double> micros;
    micros.reserve(1 << 20);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const KernReturn result =
            io.callStructMethod(opened->connection, smcStructMethodSelector, record, output);
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(output);
        if (micros.size() < micros.capacity()) {
            micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
    }
    if (!micros.empty()) {
        std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
        state.counters["median_us"] = micros[micros.size() / 2];
    }
    io.closeService(opened->connection);
}
BENCHMARK(BM_SimSocketSMCCall)->MinTime(2.0);

// The two-step key read (information, then bytes) a client makes per value.
void BM_SimSocketReadValue(benchmark::State& state) {
    SimulatorIOKit io(simulator().root());
    const auto opened = openSMCService(io);
    if (!opened) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    IOKitSMCConnection smc(io, opened->connection);
    for (auto _ : state) {
        benchmark::DoNotOptimize(smc.readValue("F0Ac"));
    }
    io.closeService(opened->connection);
}
BENCHMARK(BM_SimSocketReadValue)->MinTime(1.0);

} // namespace
} // namespace aerivo
