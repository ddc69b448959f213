// The app's helper actions as a user runs them: AerivoMac inside its signed bundle, the simulated
// Mac approving (or refusing) the installation and starting the helper on demand.

#include "platform/codesign/CodeSigner.h"
#include "platform/posix/SystemPaths.h"
#include "shared/AerivoPrivilegedHelperXPC.h"
#include "tests/e2e/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <ctime>

namespace aerivo {
namespace {

using testing::ProgramRun;
using testing::SimulatorProcess;
using testing::TemporarySystemRoot;
namespace fs = std::filesystem;

const fs::path bundledApp = fs::path(AERIVO_APP_BUNDLE_PATH) / "Contents" / "MacOS" / "AerivoMac";

class HelperClientOnSimulator : public ::testing::Test {
protected:
    void start(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.end(), {"--workload", "idle"});
        simulator = std::make_unique<SimulatorProcess>(root.path(), arguments);
        ASSERT_TRUE(simulator->isServing());
    }

    ProgramRun app(const std::vector<std::string>& arguments,
                   const fs::path& program = bundledApp) const {
        return testing::runProgram(program, arguments,
                                   {"AERIVO_SYSTEM_ROOT=" + root.path().string(),
                                    "XDG_CONFIG_HOME=" + (root.path() / "config").string()});
    }

    std::string fan(const std::string& key) const {
        return simulator->status("fan0" + key).value_or("missing");
    }

    fs::path installedHelper() const {
        return SystemPaths(root.path()).privilegedHelperTools() /
               std::string(AerivoPrivilegedHelperXPC::serviceName);
    }

    // Signs `file` as `identifier` of another team whose anchor the root trusts: the signature
    // is sound, but neither side's requirement names that team.
    void signWithAnotherTeam(const fs::path& file, const std::string& identifier) const {
        const Ed25519PrivateKey anchor = CodeSigner::makeKey();
        CodeSigner::writePublicKeyFile(SystemPaths(root.path()).trustAnchors() / "Other.pem",
                                       anchor.publicKey(), true);
        TeamSigningIdentity other{CodeSigner::makeKey(), {}};
        const std::int64_t now = std::time(nullptr);
        other.certificate = CodeSigner::makeTeamCertificate("OTHERTEAM1", other.key.publicKey(),
                                                            anchor, now - 3600, now + 3600);
        SigningRequest request;
        request.identifier = identifier;
        request.team = other;
        CodeSigner::signFile(file, request);
    }

    std::string job(const std::string& key) const {
        return simulator
            ->status("job." + std::string(AerivoPrivilegedHelperXPC::serviceName) + "." + key)
            .value_or("missing");
    }

    TemporarySystemRoot root;
    std::unique_ptr<SimulatorProcess> simulator;
};

TEST_F(HelperClientOnSimulator, InstallThenACurveLeaseThatEndsByItself) {
    start();
    const ProgramRun before = app({"--helper-preflight"});
    EXPECT_EQ(before.exitCode, 0);
    EXPECT_EQ(testing::linesOf(before.output).size(), 28u) << before.output;
    EXPECT_EQ(testing::lineValue(before.output, "helperPrivilegedInstallVerified"), "false");
    EXPECT_EQ(testing::lineValue(before.output, "helperXPCActivationState"), "installRequired");

    const ProgramRun install = app({"--install-helper"});
    ASSERT_EQ(testing::lineValue(install.output, "success"), "true") << install.output;
    EXPECT_EQ(testing::lineValue(install.output, "message"), "Privileged helper installed.");
    for (const char* key : {"helperTrustedProvenance", "helperHeartbeat", "helperResetAccepted",
                            "helperFanWritesEnabled", "helperXPCActivationAllowed"}) {
        EXPECT_EQ(testing::lineValue(install.output, key), "true") << key << "\n" << install.output;
    }
    EXPECT_EQ(testing::lineValue(install.output, "helperXPCActivationState"), "activationAllowed");
    EXPECT_EQ(testing::lineValue(install.output, "helperPath"), installedHelper().string());

    const ProgramRun lease =
        app({"--xpc-curve-renewal", "--target-rpm", "3000", "--lease-seconds", "5"});
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_EQ(testing::lineValue(lease.output, "success"), "true") << lease.output;
    EXPECT_EQ(fan("Mode"), "1 (manual)");
    EXPECT_EQ(fan("TargetRPM"), "3000");
    EXPECT_TRUE(fan("LastWriter").starts_with(std::string(AerivoPrivilegedHelperXPC::serviceName)))
        << fan("LastWriter");
    // The app has exited; the helper's lease hands the fan back by itself.
    EXPECT_TRUE(
        testing::waitUntil([&] { return fan("Mode") == "0 (system)"; }, std::chrono::seconds(7)));
    EXPECT_LE(std::chrono::steady_clock::now() - ended, std::chrono::seconds(6));
}

TEST_F(HelperClientOnSimulator, AnAppCopyOfAnotherTeamIsRefusedByTheHelper) {
    start();
    ASSERT_EQ(testing::lineValue(app({"--install-helper"}).output, "success"), "true");

    const fs::path copy = root.path() / "Other.app" / "Contents" / "MacOS" / "AerivoMac";
    fs::create_directories(copy.parent_path());
    fs::copy_file(bundledApp, copy);
    signWithAnotherTeam(copy, AERIVO_BUNDLE_IDENTIFIER);

    const std::string targetBefore = fan("TargetRPM");
    const ProgramRun lease = app({"--xpc-curve-renewal", "--target-rpm", "3000"}, copy);
    EXPECT_EQ(testing::lineValue(lease.output, "success"), "false") << lease.output;
    EXPECT_EQ(testing::lineValue(lease.output, "message"), "Could not create XPC connection.");
    EXPECT_EQ(fan("Mode"), "0 (system)");
    EXPECT_EQ(fan("TargetRPM"), targetBefore);
}

TEST_F(HelperClientOnSimulator, AKilledHelperIsStartedAfreshByTheNextConnection) {
    start();
    ASSERT_EQ(testing::lineValue(app({"--install-helper"}).output, "helperHeartbeat"), "true");
    const std::string first = job("pid");
    ASSERT_NE(first, "none");
    EXPECT_EQ(job("starts"), "1");
    ASSERT_EQ(::kill(std::stoi(first), SIGKILL), 0);
    ASSERT_TRUE(testing::waitUntil([&] { return job("lastExit") == "signal 9"; }));

    const ProgramRun preflight = app({"--helper-preflight"});
    EXPECT_EQ(testing::lineValue(preflight.output, "helperHeartbeat"), "true") << preflight.output;
    EXPECT_EQ(job("starts"), "2");
    EXPECT_NE(job("pid"), first);
}

TEST_F(HelperClientOnSimulator, AHelperOfAnotherTeamCopiedInByHandRunsButIsNotTrusted) {
    start();
    ASSERT_EQ(testing::lineValue(app({"--install-helper"}).output, "success"), "true");
    // Replaced beside the service manager's back, as someone with root could; the running copy
    // is stopped so that the next connection starts the new file.
    const fs::path replacement = root.path() / "replacement";
    fs::copy_file(installedHelper(), replacement);
    signWithAnotherTeam(replacement, std::string(AerivoPrivilegedHelperXPC::serviceName));
    fs::rename(replacement.string() + ".codesig", installedHelper().string() + ".codesig");
    fs::rename(replacement, installedHelper());
    ASSERT_EQ(::kill(std::stoi(job("pid")), SIGKILL), 0);
    ASSERT_TRUE(testing::waitUntil([&] { return job("pid") == "none"; }));

    const ProgramRun preflight = app({"--helper-preflight"});
    EXPECT_EQ(testing::lineValue(preflight.output, "helperTeamIdentifier"), "OTHERTEAM1");
    EXPECT_EQ(testing::lineValue(preflight.output, "helperPrivilegedInstallVerified"), "true");
    EXPECT_EQ(testing::lineValue(preflight.output, "helperTrustedProvenance"), "false");
    EXPECT_EQ(testing::lineValue(preflight.output, "helperHeartbeat"), "false");
    EXPECT_EQ(testing::lineValue(preflight.output, "helperXPCActivationState"),
              "provenanceRequired");
    EXPECT_EQ(job("starts"), "1"); // the untrusted helper was not even asked

    // The service manager starts it on a connection all the same: it never looks at teams.
    app({"--xpc-reset"});
    EXPECT_EQ(job("starts"), "2");
}

TEST_F(HelperClientOnSimulator, ARefusedApprovalInstallsNothing) {
    start({"--approve", "no"});
    const ProgramRun install = app({"--install-helper"});
    EXPECT_EQ(install.exitCode, 0);
    EXPECT_EQ(testing::lineValue(install.output, "success"), "false");
    EXPECT_EQ(testing::lineValue(install.output, "message"),
              "AuthorizationCopyRights failed: -60006");
    EXPECT_EQ(testing::lineValue(install.output, "helperPrivilegedInstallVerified"), "false");
    EXPECT_FALSE(fs::exists(installedHelper()));
    EXPECT_TRUE(fs::is_empty(SystemPaths(root.path()).launchDaemons()) ||
                !fs::exists(SystemPaths(root.path()).launchDaemons()));
}

} // namespace
} // namespace aerivo
