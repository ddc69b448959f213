// Admission of connecting peers, against real child processes: signed, altered, unsigned,
// preloading, traced, exec'ing while checked; and the verified-image cache.

#include "platform/admission/ClientAdmission.h"
#include "tests/codesign/SigningFixture.h"
#include "tests/support/RunningProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

namespace aerivo {
namespace {

using testing::fileText;
using testing::RunningProcess;
using testing::SigningFixture;
using testing::writeText;

const std::filesystem::path clientProgram = AERIVO_TEST_CLIENT_PATH;

// Forwards to the real implementation, counting image checks (each one a full hash) and running
// a hook first.
class CountingCodeSigning final : public CodeSigning {
public:
    explicit CountingCodeSigning(std::shared_ptr<const CodeSigning> inner)
        : inner_(std::move(inner)) {}

    std::function<void()> beforeImageCheck;
    mutable std::atomic<int> imageChecks{0};

    CodeSigningFacts inspect(const std::filesystem::path& file) const override {
        return inner_->inspect(file);
    }
    std::variant<std::shared_ptr<const CodeRequirement>, std::string>
    compileRequirement(std::string_view text) const override {
        return inner_->compileRequirement(text);
    }
    int checkFile(const std::filesystem::path& file,
                  const CodeRequirement& requirement) const override {
        return inner_->checkFile(file, requirement);
    }
    int checkProcess(pid_t pid, const CodeRequirement& requirement) const override {
        return checkProcessImage(pid, requirement).status;
    }
    ProcessCodeCheck checkProcessImage(pid_t pid,
                                       const CodeRequirement& requirement) const override {
        ++imageChecks;
        if (beforeImageCheck) {
            beforeImageCheck();
        }
        return inner_->checkProcessImage(pid, requirement);
    }

private:
    std::shared_ptr<const CodeSigning> inner_;
};

// Changes one letter of the client's marker text: the copy runs as before, but its digest
// no longer matches.
void alterMarker(const std::filesystem::path& program) {
    std::string bytes = fileText(program);
    const std::size_t marker = bytes.find("aerivo-test-client-marker");
    ASSERT_NE(marker, std::string::npos);
    bytes[marker + 24] = 's';
    const auto mode = std::filesystem::status(program).permissions();
    writeText(program, bytes);
    std::filesystem::permissions(program, mode);
}

struct Admission {
    SigningFixture fixture;
    std::shared_ptr<CountingCodeSigning> signing = std::make_shared<CountingCodeSigning>(
        std::make_shared<OpenSSLCodeSigning>(fixture.anchors()));
    ClientAdmission admission{signing,
                              fixture.requirement(SigningFixture::clientRequirementText())};

    std::filesystem::path signedClient(const std::string& name) {
        return fixture.signedCopy(clientProgram, name, fixture.teamRequest());
    }
    AdmissionVerdict check(const RunningProcess& process) {
        return admission.check(process.pid(), getuid(), getgid());
    }
};

// Starts a program and waits until it runs its own image (it prints "ready" first).
#define START_CLIENT(process, ...)                                                                 \
    RunningProcess process(__VA_ARGS__);                                                           \
    ASSERT_GT(process.pid(), 0);                                                                   \
    ASSERT_EQ(process.readLine().rfind("ready", 0), 0u)

struct ClientCase {
    const char* name;
    std::function<std::filesystem::path(Admission&)> program;
    std::vector<std::string> environment;
    bool traced;
    bool admitted;
    std::string reason; // a part of the refusal's text
};

std::vector<ClientCase> clientCases() {
    auto signedClient = [](Admission& test) { return test.signedClient("client"); };
    auto signedAs = [](const std::string& identifier, std::optional<std::string> team) {
        return [=](Admission& test) {
            SigningRequest request = test.fixture.teamRequest(identifier);
            request.team = team ? std::optional(test.fixture.teamIdentity(*team)) : std::nullopt;
            return test.fixture.signedCopy(clientProgram, "client", request);
        };
    };
    return {
        {"signed client", signedClient, {}, false, true, ""},
        {"signed copy with one byte changed",
         [](Admission& test) {
             auto program = test.signedClient("client");
             alterMarker(program);
             return program;
         },
         {},
         false,
         false,
         "signature invalid (-67061)"},
        {"unsigned copy",
         [](Admission& test) { return test.fixture.copy(clientProgram, "client"); },
         {},
         false,
         false,
         "signature invalid (-67062)"},
        {"signed under another identifier",
         signedAs("com.example.other", SigningFixture::team),
         {},
         false,
         false,
         "signature invalid (-67050)"},
        {"signed by another team",
         signedAs(SigningFixture::identifier, SigningFixture::otherTeam),
         {},
         false,
         false,
         "signature invalid (-67050)"},
        {"ad hoc",
         signedAs(SigningFixture::identifier, std::nullopt),
         {},
         false,
         false,
         "signature invalid (-67050)"},
        {"signed client started with LD_PRELOAD",
         signedClient,
         {"LD_PRELOAD=libm.so.6"},
         false,
         false,
         "preloads code (LD_PRELOAD)"},
        {"signed client started with LD_AUDIT",
         signedClient,
         {"LD_AUDIT=libaerivo-none.so"},
         false,
         false,
         "preloads code (LD_AUDIT)"},
        {"signed client started with LD_LIBRARY_PATH",
         signedClient,
         {"LD_LIBRARY_PATH=/nonexistent"},
         false,
         false,
         "preloads code (LD_LIBRARY_PATH)"},
        {"signed client under ptrace",
         signedClient,
         {},
         true,
         false,
         "is being traced by process " + std::to_string(getpid())},
    };
}

TEST(ClientAdmission, AdmitsOnlyAnUntouchedSignedClientRunningOnItsOwn) {
    for (const ClientCase& row : clientCases()) {
        SCOPED_TRACE(row.name);
        Admission test;
        START_CLIENT(client, row.program(test), {}, row.environment);
        if (row.traced) {
            ASSERT_EQ(ptrace(PTRACE_SEIZE, client.pid(), nullptr, nullptr), 0);
        }
        const AdmissionVerdict verdict = test.check(client);
        EXPECT_EQ(verdict.admitted, row.admitted);
        EXPECT_NE(verdict.reason.find(row.reason), std::string::npos) << verdict.reason;
        // Only an admitted image is remembered.
        EXPECT_EQ(test.admission.cachedImageCount(), row.admitted ? 1u : 0u);
    }
}

TEST(ClientAdmission, RefusesAPeerThatIsGoneOrRunsAsSomeoneElse) {
    Admission test;
    START_CLIENT(client, test.signedClient("client"));
    EXPECT_NE(test.admission.check(client.pid(), getuid() + 1, getgid())
                  .reason.find("runs as another user or group"),
              std::string::npos);
    EXPECT_FALSE(test.admission.check(client.pid(), getuid(), getgid() + 1).admitted);
    client.stop();
    EXPECT_NE(test.check(client).reason.find("is gone"), std::string::npos);
}

TEST(ClientAdmission, ProcessThatExecsWhileBeingCheckedIsRefused) {
    Admission test;
    const auto successor = test.signedClient("successor");
    START_CLIENT(client, test.signedClient("client"), {successor.string()});
    // The image changes between the look before the check and the check itself; the new image
    // is signed too, but it is not what connected.
    test.signing->beforeImageCheck = [&] {
        kill(client.pid(), SIGUSR1);
        EXPECT_EQ(client.readLine().rfind("ready", 0), 0u);
    };
    const AdmissionVerdict verdict = test.check(client);
    EXPECT_FALSE(verdict.admitted);
    EXPECT_NE(verdict.reason.find("changed while it was being checked"), std::string::npos);
    EXPECT_EQ(test.admission.cachedImageCount(), 0u);

    test.signing->beforeImageCheck = nullptr;
    EXPECT_TRUE(test.check(client).admitted);
}

struct CacheStep {
    const char* name;
    std::function<void(Admission&, const std::filesystem::path& program)> action;
    bool admitted;
    bool fromCache;
    int imageChecks; // full checks so far
};

void touch(const std::filesystem::path& path) {
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0);
}

TEST(ClientAdmission, RepeatClientCostsNoRehashUntilAFileItRestsOnChanges) {
    const std::vector<CacheStep> steps = {
        {"first connection", [](auto&, auto&) {}, true, false, 1},
        {"repeat connection", [](auto&, auto&) {}, true, true, 1},
        {"image touched", [](auto&, auto& program) { touch(program); }, true, false, 2},
        {"repeat after the touch", [](auto&, auto&) {}, true, true, 2},
        {"signature rewritten",
         [](Admission& test, auto& program) {
             CodeSigner::signFile(program, test.fixture.teamRequest());
         },
         true, false, 3},
        {"trust anchor touched",
         [](Admission& test, auto&) { touch(test.fixture.anchors() / "TestAnchor.pem"); }, true,
         false, 4},
        // Unlinking the old file changes its inode's change time, so the running image is checked
        // afresh: it is still the image that was signed, whatever the path names now.
        {"file replaced on disk by an altered copy",
         [](Admission& test, auto& program) {
             const auto replacement = test.fixture.copy(program, "replacement");
             alterMarker(replacement);
             std::filesystem::rename(replacement, program);
         },
         true, false, 5},
    };
    Admission test;
    const auto program = test.signedClient("client");
    START_CLIENT(client, program);
    for (const CacheStep& step : steps) {
        SCOPED_TRACE(step.name);
        step.action(test, program);
        const AdmissionVerdict verdict = test.check(client);
        EXPECT_EQ(verdict.admitted, step.admitted) << verdict.reason;
        EXPECT_EQ(verdict.fromCache, step.fromCache);
        EXPECT_EQ(test.signing->imageChecks, step.imageChecks);
    }
    // A process started from the replaced file runs the altered image: checked, and refused.
    START_CLIENT(successor, program);
    EXPECT_FALSE(test.check(successor).admitted);
    EXPECT_EQ(test.signing->imageChecks, 6);
}

TEST(ClientAdmission, ConcurrentChecksOfOneClientAgree) {
    Admission test;
    START_CLIENT(client, test.signedClient("client"));
    std::atomic<int> admitted{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&] {
            for (int round = 0; round < 25; ++round) {
                admitted += test.check(client).admitted ? 1 : 0;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(admitted, 100);
    EXPECT_EQ(test.admission.cachedImageCount(), 1u);
}

} // namespace
} // namespace aerivo
