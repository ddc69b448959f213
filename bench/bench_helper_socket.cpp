// One request round trip over the helper socket with a trivial handler: connect, frame, the
// server's admission (allow-all here), its per-connection thread, the reply frame, close.

#include "platform/helpersocket/HelperSocketServer.h"
#include "platform/helpersocket/HelperTransport.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <thread>

namespace aerivo {
namespace {

void BM_HelperSocketRoundTrip(benchmark::State& state) {
    std::string folder = (std::filesystem::temp_directory_path() / "aerivo-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string path = folder + "/helper.sock";
    auto server = HelperSocketServer::bind(
        path, [](const PeerCredentials&) { return true; },
        [](const HelperRequest&, HelperSocketServer::Reply reply) {
            reply({{"heartbeat", "ok"}});
        },
        {});
    std::thread runner([&] { server->run(); });
    UnixSocketHelperTransport transport(path);
    for (auto _ : state) {
        HelperRequestResult result =
            transport.send(HelperRequest::readStatus(), std::chrono::seconds(2));
        if (!result.isReplied()) {
            state.SkipWithError(result.detail.c_str());
            break;
        }
        benchmark::DoNotOptimize(result);
    }
    server->stop();
    runner.join();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_HelperSocketRoundTrip)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
} // namespace aerivo
