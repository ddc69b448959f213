// Helper admission: a repeat (cached) client, and the first admission of a 10 MB image, which
// hashes the whole image and verifies the team's and the anchor's signatures.

#include "platform/admission/ClientAdmission.h"
#include "tests/codesign/SigningFixture.h"
#include "tests/support/RunningProcess.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

using namespace aerivo;
using aerivo::testing::RunningProcess;
using aerivo::testing::SigningFixture;

// A signed test client, padded with zeros to `bytes` (the loader ignores what follows the
// program), running.
struct RunningSignedClient {
    SigningFixture fixture;
    std::filesystem::path program;
    std::unique_ptr<RunningProcess> process;
    std::shared_ptr<const CodeSigning> signing;
    std::shared_ptr<const CodeRequirement> requirement;

    explicit RunningSignedClient(std::size_t bytes) {
        program = fixture.copy(AERIVO_TEST_CLIENT_PATH, "client");
        if (std::filesystem::file_size(program) < bytes) {
            std::filesystem::resize_file(program, bytes);
        }
        CodeSigner::signFile(program, fixture.teamRequest());
        process = std::make_unique<RunningProcess>(program);
        process->readLine();
        signing = std::make_shared<OpenSSLCodeSigning>(fixture.anchors());
        requirement = fixture.requirement(SigningFixture::clientRequirementText());
    }
};

void BM_AdmitCachedClient(benchmark::State& state) {
    RunningSignedClient client(0);
    ClientAdmission admission(client.signing, client.requirement);
    if (!admission.check(client.process->pid(), getuid(), getgid()).admitted) {
        state.SkipWithError("the signed client was not admitted");
        return;
    }
    for (auto _ : state) {
        const AdmissionVerdict verdict = admission.check(client.process->pid(), getuid(), getgid());
        if (!verdict.fromCache) {
            state.SkipWithError("the repeat check was not served from the cache");
            break;
        }
    }
}
BENCHMARK(BM_AdmitCachedClient)->Unit(benchmark::kMicrosecond);

void BM_FirstAdmissionOf10MBImage(benchmark::State& state) {
    RunningSignedClient client(10 * 1024 * 1024);
    for (auto _ : state) {
        // A fresh admission each time: an empty cache, so every check hashes the image.
        ClientAdmission admission(client.signing, client.requirement);
        if (!admission.check(client.process->pid(), getuid(), getgid()).admitted) {
            state.SkipWithError("the signed client was not admitted");
            break;
        }
    }
}
BENCHMARK(BM_FirstAdmissionOf10MBImage)->Unit(benchmark::kMillisecond);

} // namespace
