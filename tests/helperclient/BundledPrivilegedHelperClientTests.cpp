#include "app/helperclient/BundledPrivilegedHelperClient.h"
#include "tests/support/FakeCodeSigning.h"
#include "tests/support/ScriptedHelperTransport.h"
#include "tests/support/ScriptedJobInstaller.h"
#include "tests/support/TemporaryDirectory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace aerivo {
namespace {

using ::testing::ElementsAre;
using testing::FakeCodeSigning;
using testing::ScriptedHelperTransport;
using testing::ScriptedJobInstaller;
using Outcome = HelperRequestOutcome;
using namespace std::chrono_literals;

const std::string label = PrivilegedHelperHealth::expectedLabel();
const std::string team = "TEAMAAAAA1";

std::string requirementFor(const std::string& identifier, const std::string& teamName) {
    return "anchor apple generic and identifier \"" + identifier +
           "\" and certificate leaf[subject.OU] = \"" + teamName + "\"";
}

void writeExecutable(const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// An app bundle with a signed main executable and a signed helper, a system root to install
// into, and a client over a scripted transport and installer.
class HelperClient : public ::testing::Test {
protected:
    enum class HelperPlace { launchServices, besideExecutable, nowhere };

    HelperClient() { signing->trustedTeams = {team, "OTHERTEAM1"}; }

    std::filesystem::path bundlePath() const { return folder.path() / "Aerivo Mac.app"; }
    std::filesystem::path executablePath() const {
        return bundlePath() / "Contents" / "MacOS" / "AerivoMac";
    }

    void makeBundle(HelperPlace place = HelperPlace::launchServices,
                    std::optional<std::string> appTeam = team) {
        writeExecutable(executablePath());
        FakeCodeSigning::sign(executablePath(), {"com.aerivo.mac", appTeam, {}, std::nullopt});
        if (place != HelperPlace::nowhere) {
            bundledHelper = place == HelperPlace::launchServices
                                ? bundlePath() / "Contents" / "Library" / "LaunchServices" / label
                                : executablePath().parent_path() / label;
            writeExecutable(bundledHelper);
            FakeCodeSigning::sign(
                bundledHelper, {label,
                                team,
                                {{"SMAuthorizedClients", {requirementFor("com.aerivo.mac", team)}}},
                                std::nullopt});
        }
        platform.bundle = ApplicationBundle{
            bundlePath(),
            executablePath(),
            {{"SMPrivilegedExecutables", {{label, requirementFor(label, team)}}}}};
    }

    void installHelper(const std::string& helperTeam = team) {
        const std::filesystem::path installed =
            root.path() / "Library" / "PrivilegedHelperTools" / label;
        writeExecutable(installed);
        FakeCodeSigning::sign(installed, {label, helperTeam, {}, std::nullopt});
    }

    BundledPrivilegedHelperClient& client() {
        if (!client_) {
            platform.paths = SystemPaths(root.path());
            platform.transport = transport;
            platform.installer = installer;
            platform.codeSigning = signing;
            client_.emplace(platform);
        }
        return *client_;
    }

    void answerStatus(nlohmann::json status,
                      nlohmann::json reset = {{"resetToSystem", "accepted"}}) {
        transport->byMethod =
            [status, reset](const HelperRequest& request) -> std::optional<HelperRequestResult> {
            return ScriptedHelperTransport::replying(request.method == "readStatus" ? status
                                                                                    : reset);
        };
    }

    testing::TemporaryDirectory folder{"aerivo-helperclient"};
    testing::TemporaryDirectory root{"aerivo-helperclient-root"};
    std::filesystem::path bundledHelper;
    std::shared_ptr<ScriptedHelperTransport> transport =
        std::make_shared<ScriptedHelperTransport>();
    std::shared_ptr<ScriptedJobInstaller> installer = std::make_shared<ScriptedJobInstaller>();
    std::shared_ptr<FakeCodeSigning> signing = std::make_shared<FakeCodeSigning>();
    BundledPrivilegedHelperClient::Platform platform;
    std::optional<BundledPrivilegedHelperClient> client_;
};

TEST_F(HelperClient, NoHelperInTheBundleIsTheUnavailableHealthAndSendsNothing) {
    makeBundle(HelperPlace::nowhere);
    installHelper();
    EXPECT_EQ(client().readHealth(), PrivilegedHelperHealth::unavailable());
    EXPECT_TRUE(transport->sent().empty());
}

TEST_F(HelperClient, AHelperBesideTheExecutableIsFoundAndANeverInstalledOneIsNotAsked) {
    makeBundle(HelperPlace::besideExecutable);
    installer->serviceStatus = 7; // not a status the service manager defines
    const PrivilegedHelperHealth health = client().readHealth();
    EXPECT_EQ(client().resolveHelperURL(), bundledHelper);
    EXPECT_EQ(health.executablePath, bundledHelper.string());
    EXPECT_TRUE(health.isBundled);
    EXPECT_TRUE(health.isSignatureValid);
    EXPECT_TRUE(health.hasBlessMetadata);
    EXPECT_EQ(health.serviceManagementStatus, "unknown");
    EXPECT_FALSE(health.isPrivilegedInstallVerified || health.hasTrustedProvenance ||
                 health.hasHeartbeat || health.resetCommandAccepted || health.fanWritesEnabled);
    EXPECT_EQ(health.detail, "signature valid, metadata ready, xpc enabled, privileged install not "
                             "verified, trusted provenance missing, heartbeat unavailable, reset "
                             "unavailable");
    EXPECT_TRUE(transport->sent().empty());
}

TEST_F(HelperClient, ATrustedHelperThatAnswersIsResetOnEveryHealthRead) {
    makeBundle();
    installHelper();
    installer->serviceStatus = 1;
    answerStatus({{"heartbeat", "ok"}, {"fanWrites", "enabled"}});
    for (int read = 1; read <= 2; ++read) {
        const PrivilegedHelperHealth health = client().readHealth();
        EXPECT_TRUE(health.isPrivilegedInstallVerified && health.hasTrustedProvenance &&
                    health.hasHeartbeat && health.resetCommandAccepted && health.fanWritesEnabled);
        EXPECT_EQ(health.executablePath,
                  (root.path() / "Library" / "PrivilegedHelperTools" / label).string());
        EXPECT_EQ(health.serviceManagementStatus, "enabled");
        EXPECT_EQ(health.teamIdentifier, team);
        EXPECT_EQ(health.detail, "signature valid, metadata ready, xpc enabled, privileged "
                                 "install verified, trusted provenance, heartbeat ok, reset ok");
        EXPECT_EQ(transport->methods().size(), 2u * read);
    }
    const auto sent = transport->sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].request.method, "readStatus");
    EXPECT_EQ(sent[0].deadline, 2s);
    EXPECT_EQ(sent[1].request.method, "resetToSystem");
    EXPECT_EQ(sent[1].deadline, 8s);
}

// A fan the helper could not hand back reaches the health (and so the write plan), the reset's
// reply being the newer word; a helper that says nothing of it leaves the health clear.
TEST_F(HelperClient, AFanTheHelperCouldNotHandBackReachesTheHealth) {
    const nlohmann::json stuck = {{"fanHandBack", "failed"},
                                  {"fanHandBackError", "ResetModeKernelResult=unsupported(-1)"}};
    struct Row {
        const char* name;
        nlohmann::json status;
        nlohmann::json reset;
        std::optional<std::string> failure;
    };
    const std::vector<Row> rows{
        {"both say it", stuck, stuck, "ResetModeKernelResult=unsupported(-1)"},
        {"the reset returned it", stuck, {{"resetToSystem", "accepted"}}, std::nullopt},
        {"failed without a reason", {}, {{"fanHandBack", "failed"}}, "no reason given"},
        {"neither says it", {}, {{"resetToSystem", "accepted"}}, std::nullopt},
    };
    makeBundle();
    installHelper();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        nlohmann::json status = row.status;
        status["heartbeat"] = "ok";
        answerStatus(status, row.reset);
        EXPECT_EQ(client().readHealth().fanHandBackFailure, row.failure);
    }
}

TEST_F(HelperClient, WithoutAHeartbeatNoResetIsSentAndNoWriteIsAllowed) {
    makeBundle();
    installHelper();
    answerStatus({{"heartbeat", "stale"}, {"fanWrites", "enabled"}});
    const PrivilegedHelperHealth health = client().readHealth();
    EXPECT_FALSE(health.hasHeartbeat || health.resetCommandAccepted || health.fanWritesEnabled);
    EXPECT_THAT(transport->methods(), ElementsAre("readStatus"));
}

TEST_F(HelperClient, TheAppsWriteSwitchOffKeepsFanWritesOffDespiteTheHelper) {
    makeBundle();
    installHelper();
    platform.fanWritesEnabled = false;
    answerStatus({{"heartbeat", "ok"}, {"fanWrites", "enabled"}});
    const PrivilegedHelperHealth health = client().readHealth();
    EXPECT_TRUE(health.hasHeartbeat && health.resetCommandAccepted);
    EXPECT_FALSE(health.fanWritesEnabled);
}

TEST_F(HelperClient, AHelperOfAnotherTeamOrAnUnsignedAppIsNotTrustedAndNotAsked) {
    for (const bool foreignHelper : {true, false}) {
        SCOPED_TRACE(foreignHelper ? "helper of another team" : "app without a team");
        client_.reset();
        transport = std::make_shared<ScriptedHelperTransport>();
        makeBundle(HelperPlace::launchServices,
                   foreignHelper ? std::optional<std::string>(team) : std::nullopt);
        installHelper(foreignHelper ? "OTHERTEAM1" : team);
        answerStatus({{"heartbeat", "ok"}, {"fanWrites", "enabled"}});
        const PrivilegedHelperHealth health = client().readHealth();
        EXPECT_TRUE(health.isPrivilegedInstallVerified);
        EXPECT_FALSE(health.hasTrustedProvenance || health.fanWritesEnabled);
        EXPECT_TRUE(transport->sent().empty());
    }
}

TEST_F(HelperClient, AnUnsignedOrMissingFileIsDescribedByItsStatus) {
    writeExecutable(folder.path() / "unsigned");
    const CodeSigningInfo unsignedFile =
        CodeSigningInspector::inspect(*signing, folder.path() / "unsigned");
    EXPECT_FALSE(unsignedFile.isValid);
    EXPECT_EQ(unsignedFile.status, "signature invalid (-67062)");
    const CodeSigningInfo missing =
        CodeSigningInspector::inspect(*signing, folder.path() / "missing");
    EXPECT_EQ(missing, (CodeSigningInfo{false, std::nullopt, std::nullopt, std::nullopt,
                                        "signature object unavailable"}));
}

TEST_F(HelperClient, TheConnectionSwitchOffFailsEveryRequestWithoutSendingOne) {
    makeBundle();
    installHelper();
    platform.connectionEnabled = false;
    EXPECT_EQ(client().resetToSystem(),
              PrivilegedHelperActionResult::failure("XPC connection is disabled."));
    EXPECT_EQ(client().holdManualTargetLease(3000, 5),
              PrivilegedHelperActionResult::failure("XPC connection is disabled."));
    const PrivilegedHelperHealth health = client().readHealth();
    EXPECT_FALSE(health.isXPCConnectionEnabled || health.hasHeartbeat || health.fanWritesEnabled);
    EXPECT_NE(health.detail.find("xpc disabled"), std::string::npos);
    EXPECT_TRUE(transport->sent().empty());
}

TEST_F(HelperClient, ResetRepliesAndFailures) {
    makeBundle();
    const nlohmann::json noValue = {{"heartbeat", "ok"}};
    struct Case {
        HelperRequestResult answer;
        bool success;
        std::string message;
        bool attached;
    };
    const Case cases[] = {
        {ScriptedHelperTransport::replying({{"resetToSystem", "accepted"}}), true,
         "Helper reset accepted.", true},
        {ScriptedHelperTransport::replying({{"resetToSystem", "noop"}}), true,
         "Helper reset accepted.", true},
        {ScriptedHelperTransport::replying({{"resetToSystem", "failed"}}), false,
         "Helper reset failed.", true},
        {ScriptedHelperTransport::replying(noValue), false, "Helper reset failed.", true},
        {ScriptedHelperTransport::failing(Outcome::timedOut), false,
         "Timed out waiting for helper reset.", false},
        // A helper that dies with the request is a time-out, as on the Mac.
        {ScriptedHelperTransport::failing(Outcome::closedBeforeReply), false,
         "Timed out waiting for helper reset.", false},
        {ScriptedHelperTransport::failing(Outcome::malformedReply), false,
         "Timed out waiting for helper reset.", false},
        {ScriptedHelperTransport::failing(Outcome::refused), false,
         "Could not create XPC connection.", false},
        {ScriptedHelperTransport::failing(Outcome::connectionFailed), false,
         "Could not create XPC connection.", false},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.message + " " + std::string(rawValue(each.answer.outcome)));
        transport->queued = {each.answer};
        const PrivilegedHelperActionResult result = client().resetToSystem();
        EXPECT_EQ(result.isSuccess, each.success);
        EXPECT_EQ(result.message, each.message);
        EXPECT_EQ(result.dictionary.has_value(), each.attached);
        if (each.attached) {
            EXPECT_EQ(result.dictionary, each.answer.reply);
        }
    }
}

TEST_F(HelperClient, OnlyABooleanTrueAcceptsALease) {
    makeBundle();
    const std::pair<nlohmann::json, bool> cases[] = {
        {{{"accepted", true}}, true},
        {{{"accepted", "true"}}, false},
        {{{"accepted", 1}}, false},
        {{{"accepted", false}, {"reason", "write gate closed"}}, false},
        {nlohmann::json::object(), false},
    };
    for (const auto& [reply, accepted] : cases) {
        SCOPED_TRACE(reply.dump());
        transport->queued = {ScriptedHelperTransport::replying(reply)};
        const PrivilegedHelperActionResult result = client().renewCurveTargetLease(3000, 15);
        EXPECT_EQ(result.isSuccess, accepted);
        EXPECT_EQ(result.message,
                  accepted ? "Helper fan lease accepted." : "Helper fan lease rejected.");
        EXPECT_EQ(result.dictionary, reply);
    }
    transport->queued = {ScriptedHelperTransport::failing(Outcome::timedOut)};
    EXPECT_EQ(client().renewCurveTargetLease(3000, 15),
              PrivilegedHelperActionResult::failure("Timed out waiting for helper fan lease."));
}

TEST_F(HelperClient, LeaseRequestsCarryTheLengthUnboundedAndWaitTheContractTime) {
    makeBundle();
    transport->fallback = ScriptedHelperTransport::failing(Outcome::timedOut);
    struct Case {
        bool curve;
        int seconds;
        std::chrono::milliseconds wait;
    };
    for (const Case& each :
         {Case{false, 0, 11s}, Case{false, 60, 20s}, Case{false, 4, 14s}, Case{true, 45, 5s}}) {
        if (each.curve) {
            client().renewCurveTargetLease(2750.5, each.seconds);
        } else {
            client().holdManualTargetLease(2750.5, each.seconds);
        }
        const auto sent = transport->sent();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back().deadline, each.wait);
        EXPECT_EQ(sent.back().request.method, "holdManualTargetLease");
        EXPECT_EQ(sent.back().request.argument,
                  (nlohmann::json{
                      {"fanIndex", 0},
                      {"targetRPM", 2750.5},
                      {"holdSeconds", each.seconds},
                      {"reason", each.curve ? "app-curve-renewal" : "app-manual-target-lease"}}));
    }
}

TEST_F(HelperClient, InstallationStepsAndTheirFailures) {
    makeBundle();
    const std::string bless = "bless " + label + " " + bundlePath().string();
    const std::string remove = "remove " + label;
    struct Case {
        std::string name;
        std::function<void(ScriptedJobInstaller&)> script;
        PrivilegedHelperActionResult result;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"installed",
         [](ScriptedJobInstaller&) {},
         {true, "Privileged helper installed.", std::nullopt},
         {"create", "rights", remove, bless, "free"}},
        {"no job to remove",
         [](ScriptedJobInstaller& i) {
             i.removeError = PrivilegedJobError{6, "no such job"};
         },
         {true, "Privileged helper installed.", std::nullopt},
         {"create", "rights", remove, bless, "free"}},
        {"create fails",
         [](ScriptedJobInstaller& i) { i.createStatus = -60008; },
         PrivilegedHelperActionResult::failure("AuthorizationCreate failed: -60008"),
         {"create"}},
        {"refused",
         [](ScriptedJobInstaller& i) { i.rightsStatus = -60006; },
         PrivilegedHelperActionResult::failure("AuthorizationCopyRights failed: -60006"),
         {"create", "rights", "free"}},
        {"remove fails",
         [](ScriptedJobInstaller& i) {
             i.removeError = PrivilegedJobError{2, "cannot remove"};
         },
         PrivilegedHelperActionResult::failure("cannot remove"),
         {"create", "rights", remove, "free"}},
        {"remove fails silently",
         [](ScriptedJobInstaller& i) {
             i.removeError = PrivilegedJobError{2, ""};
         },
         PrivilegedHelperActionResult::failure("SMJobRemove failed without an error."),
         {"create", "rights", remove, "free"}},
        {"bless fails",
         [](ScriptedJobInstaller& i) {
             i.blessError = PrivilegedJobError{3, "not signed"};
         },
         PrivilegedHelperActionResult::failure("not signed"),
         {"create", "rights", remove, bless, "free"}},
        {"bless fails silently",
         [](ScriptedJobInstaller& i) {
             i.blessError = PrivilegedJobError{8, ""};
         },
         PrivilegedHelperActionResult::failure("SMJobBless failed without an error."),
         {"create", "rights", remove, bless, "free"}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        *installer = ScriptedJobInstaller{};
        each.script(*installer);
        EXPECT_EQ(client().installPrivilegedHelper(), each.result);
        EXPECT_EQ(installer->calls, each.calls);
    }
}

} // namespace
} // namespace aerivo
