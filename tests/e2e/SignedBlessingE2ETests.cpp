#include "tests/codesign/SigningFixture.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/e2e/SocketJob.h"

#include "platform/simulator/SimulatorJobInstaller.h"
#include "shared/AerivoPrivilegedHelperXPC.h"

#include <gtest/gtest.h>

#include <signal.h>

namespace aerivo {
namespace {

namespace fs = std::filesystem;
using testing::SigningFixture;
using testing::SimulatorProcess;
using testing::SocketJob;
using testing::TemporarySystemRoot;

const std::string label(AerivoPrivilegedHelperXPC::serviceName);
const std::string requirement = "anchor apple generic and identifier \"" + label +
                                "\" and certificate leaf[subject.OU] = \"" + SigningFixture::team +
                                "\"";

// Installation with real signatures: the simulator puts the test anchor into the root, and the
// installer verifies with the OpenSSL implementation over the root's trust store.
class SignedBlessing : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(simulator.isServing()); }

    SigningRequest helperRequest(const std::string& team) const {
        SigningRequest request;
        request.identifier = label;
        request.infoPlist = {{"CFBundleIdentifier", label}};
        request.launchdPlist = {{"Label", label},
                                {"AssociatedBundleIdentifiers", {AERIVO_BUNDLE_IDENTIFIER}},
                                {"MachServices", {{label, true}}}};
        request.team = keys.teamIdentity(team);
        return request;
    }
    // The app bundle with the test job as its helper, signed by `team`.
    fs::path makeApp(const std::string& team) const {
        const fs::path app = paths.applications() / "Aerivo Mac.app";
        fs::remove_all(app);
        fs::create_directories(app / "Contents" / "Library" / "LaunchServices");
        testing::writeText(app / "Contents" / "Info.json",
                           nlohmann::json{{"CFBundleIdentifier", AERIVO_BUNDLE_IDENTIFIER},
                                          {"SMPrivilegedExecutables", {{label, requirement}}}}
                               .dump());
        const fs::path helper = app / "Contents" / "Library" / "LaunchServices" / label;
        fs::copy_file(SocketJob::program(), helper);
        CodeSigner::signFile(helper, helperRequest(team));
        return app;
    }
    std::shared_ptr<const CodeRequirement> appRequirement() const {
        auto compiled = signing.compileRequirement(requirement);
        return std::get<std::shared_ptr<const CodeRequirement>>(compiled);
    }

    SigningFixture keys;
    TemporarySystemRoot root;
    SystemPaths paths{root.path()};
    SimulatorProcess simulator{root.path(),
                               {"--trust-anchor", (keys.anchors() / "TestAnchor.pem").string()}};
    OpenSSLCodeSigning signing{paths.trustAnchors()};
    SimulatorJobInstaller installer{paths, signing};
};

TEST_F(SignedBlessing, AnInstalledHelperStartsOnDemandAndPassesTheAppsChecks) {
    ASSERT_EQ(installer.createAuthorization(), 0);
    ASSERT_EQ(installer.copyBlessRights(), 0);
    const auto blessed = installer.blessJob(label, makeApp(SigningFixture::team));
    ASSERT_FALSE(blessed.has_value()) << blessed->description;
    const fs::path installed = paths.privilegedHelperTools() / label;
    EXPECT_EQ(signing.checkFile(installed, *appRequirement()), CodeSigningStatus::success);
    EXPECT_TRUE(fs::exists(paths.launchDaemons() / (label + ".plist")));

    const auto first = SocketJob::hello(paths.helperSocket(label));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(signing.checkProcess(first->pid, *appRequirement()), CodeSigningStatus::success);
    ASSERT_EQ(::kill(first->pid, SIGKILL), 0);
    ASSERT_TRUE(simulator.waitForStatus("job." + label + ".lastExit", "signal 9"));
    const auto second = SocketJob::hello(paths.helperSocket(label));
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(second->pid, first->pid);
    EXPECT_EQ(simulator.status("job." + label + ".starts"), "2");
}

TEST_F(SignedBlessing, ATamperedOrForeignHelperIsRefusedAtBlessing) {
    ASSERT_EQ(installer.createAuthorization(), 0);
    ASSERT_EQ(installer.copyBlessRights(), 0);
    const fs::path tampered = makeApp(SigningFixture::team);
    std::ofstream(tampered / "Contents" / "Library" / "LaunchServices" / label, std::ios::app)
        << "x";
    const auto changed = installer.blessJob(label, tampered);
    ASSERT_TRUE(changed.has_value());
    EXPECT_EQ(changed->code, SimulatorJobInstaller::invalidSignature);
    EXPECT_NE(changed->description.find("(-67061)"), std::string::npos) << changed->description;

    const auto foreign = installer.blessJob(label, makeApp(SigningFixture::otherTeam));
    ASSERT_TRUE(foreign.has_value());
    EXPECT_EQ(foreign->code, SimulatorJobInstaller::invalidSignature);
    EXPECT_NE(foreign->description.find("(-67050)"), std::string::npos) << foreign->description;
    EXPECT_FALSE(fs::exists(paths.privilegedHelperTools() / label));
    EXPECT_FALSE(fs::exists(paths.launchDaemons() / (label + ".plist")));
}

TEST_F(SignedBlessing, AHelperCopiedByHandWithAnotherTeamsSignatureIsStartedButSeenForWhatItIs) {
    const fs::path installed = paths.privilegedHelperTools() / label;
    fs::create_directories(installed.parent_path());
    fs::copy_file(SocketJob::program(), installed);
    CodeSigner::signFile(installed, helperRequest(SigningFixture::otherTeam));
    SocketJob::writeDefinition(root.path(), SocketJob::definition(label, installed));
    ASSERT_TRUE(simulator.waitForStatus("job." + label + ".loaded", "true"));

    const auto job = SocketJob::hello(paths.helperSocket(label));
    ASSERT_TRUE(job.has_value());
    EXPECT_EQ(signing.inspect(installed).validityStatus, CodeSigningStatus::success);
    EXPECT_EQ(signing.inspect(installed).teamIdentifier, SigningFixture::otherTeam);
    EXPECT_EQ(signing.checkProcess(job->pid, *appRequirement()),
              CodeSigningStatus::requirementFailed);
}

} // namespace
} // namespace aerivo
