#include "tests/e2e/SimulatorProcess.h"
#include "tests/e2e/SocketJob.h"
#include "tests/support/FakeCodeSigning.h"

#include "platform/simulator/SimulatorJobInstaller.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

namespace aerivo {
namespace {

namespace fs = std::filesystem;
using testing::FakeCodeSigning;
using testing::SimulatorProcess;
using testing::SocketJob;
using testing::TemporarySystemRoot;

constexpr const char* label = "com.aerivo.mac.Helper";
constexpr const char* team = "AERIVOTEAM";
const std::string requirement = std::string("anchor apple generic and identifier \"") + label +
                                "\" and certificate leaf[subject.OU] = \"" + team + "\"";

nlohmann::json launchdPlist() {
    return {{"Label", label},
            {"AssociatedBundleIdentifiers", {"com.aerivo.mac"}},
            {"MachServices", {{label, true}}}};
}

FakeCodeSigning::Signature helperSignature() {
    return {label, team, {{"CFBundleIdentifier", label}}, launchdPlist()};
}

class JobInstaller : public ::testing::Test {
protected:
    void start(const std::string& approval) {
        simulator.emplace(
            root.path(), std::vector<std::string>{"--approve", approval, "--trust-anchor", "none"});
        ASSERT_TRUE(simulator->isServing());
    }
    // An app bundle carrying the test job as its helper, signed as given.
    fs::path makeApp(const std::optional<FakeCodeSigning::Signature>& signature,
                     const nlohmann::json& privilegedExecutables) const {
        const fs::path app = paths.applications() / "Aerivo Mac.app";
        fs::remove_all(app);
        fs::create_directories(app / "Contents" / "Library" / "LaunchServices");
        std::ofstream(app / "Contents" / "Info.json") << nlohmann::json{
            {"CFBundleIdentifier", "com.aerivo.mac"},
            {"SMPrivilegedExecutables",
             privilegedExecutables}}.dump();
        const fs::path helper = app / "Contents" / "Library" / "LaunchServices" / label;
        fs::copy_file(SocketJob::program(), helper);
        if (signature) {
            FakeCodeSigning::sign(helper, *signature);
        }
        return app;
    }
    fs::path appWithSignedHelper() const {
        return makeApp(helperSignature(), {{label, requirement}});
    }
    fs::path installed() const { return paths.privilegedHelperTools() / label; }
    fs::path definition() const { return paths.launchDaemons() / (std::string(label) + ".plist"); }
    int daemonStatus() { return installer.daemonServiceStatus(std::string(label) + ".plist"); }
    void authorize() {
        ASSERT_EQ(installer.createAuthorization(), 0);
        ASSERT_EQ(installer.copyBlessRights(), 0);
    }
    void expectNothingInstalled() const {
        EXPECT_FALSE(fs::exists(installed()));
        EXPECT_FALSE(fs::exists(installed().string() + ".codesig"));
        EXPECT_FALSE(fs::exists(definition()));
        if (fs::exists(paths.privilegedHelperTools())) {
            EXPECT_TRUE(fs::is_empty(paths.privilegedHelperTools())) << "no staged copy is left";
        }
    }

    TemporarySystemRoot root;
    SystemPaths paths{root.path()};
    std::optional<SimulatorProcess> simulator;
    FakeCodeSigning signing;
    SimulatorJobInstaller installer{paths, signing};

    JobInstaller() { signing.trustedTeams = {team, "OTHERTEAM"}; }
};

TEST_F(JobInstaller, AnApprovedBlessingInstallsTheHelperAndItsFirstConnectionStartsIt) {
    start("yes");
    const fs::path app = appWithSignedHelper();
    EXPECT_EQ(daemonStatus(), 3); // notFound
    authorize();
    const auto nothing = installer.removeJob(label);
    ASSERT_TRUE(nothing.has_value());
    EXPECT_EQ(nothing->code, PrivilegedJobError::noSuchJob);

    const auto blessed = installer.blessJob(label, app);
    ASSERT_FALSE(blessed.has_value()) << blessed->description;
    struct stat info {};
    ASSERT_EQ(::stat(installed().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0544u);
    EXPECT_EQ(signing.inspect(installed()).validityStatus, CodeSigningStatus::success);
    std::ifstream file(definition());
    const nlohmann::json written = nlohmann::json::parse(file);
    nlohmann::json expected = launchdPlist();
    expected["Program"] = installed().string();
    EXPECT_EQ(written, expected);
    EXPECT_EQ(daemonStatus(), 1); // enabled
    EXPECT_EQ(simulator->status("approval1.right"), SimulatorJobInstaller::blessRight);
    EXPECT_EQ(simulator->status("approval1.who"), fs::read_symlink("/proc/self/exe").string());

    // Loaded at once: the first connection starts the installed copy.
    const auto hello = SocketJob::hello(paths.helperSocket(label));
    ASSERT_TRUE(hello.has_value());
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(hello->pid) + "/exe"), installed());
    EXPECT_EQ(simulator->status("job." + std::string(label) + ".pid"), std::to_string(hello->pid));

    // Blessing again over the running job replaces the program: the old copy is stopped and
    // the next connection starts the new one.
    ASSERT_EQ(installer.blessJob(label, app), std::nullopt);
    EXPECT_TRUE(testing::waitUntil([&] { return !testing::isProcessRunning(hello->pid); }));
    const auto again = SocketJob::hello(paths.helperSocket(label));
    ASSERT_TRUE(again.has_value());
    EXPECT_NE(again->pid, hello->pid);

    EXPECT_EQ(installer.removeJob(label), std::nullopt);
    expectNothingInstalled();
    EXPECT_TRUE(testing::waitUntil([&] { return !testing::isProcessRunning(again->pid); }));
    EXPECT_FALSE(fs::exists(paths.helperSocket(label)));
    EXPECT_EQ(daemonStatus(), 3);
    installer.freeAuthorization();
}

TEST_F(JobInstaller, ARefusedApprovalInstallsNothing) {
    EXPECT_EQ(installer.copyBlessRights(), SimulatorJobInstaller::authorizationInvalidRef);
    ASSERT_EQ(installer.createAuthorization(), 0);
    // No simulator: no agent to ask.
    EXPECT_EQ(installer.copyBlessRights(),
              SimulatorJobInstaller::authorizationInteractionNotAllowed);
    start("no");
    const fs::path app = appWithSignedHelper();
    EXPECT_EQ(installer.copyBlessRights(), PrivilegedJobInstaller::authorizationCanceled);
    // Without the right, a caller that goes on anyway is refused.
    const auto refused = installer.blessJob(label, app);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->code, SimulatorJobInstaller::authorizationFailure);
    expectNothingInstalled();
    EXPECT_EQ(simulator->status("approval1.answer"), "refused");
}

TEST_F(JobInstaller, BlessingRefusesAHelperTheAppDoesNotVouchFor) {
    start("yes");
    authorize();
    auto tampered = [&](const fs::path& app) {
        std::ofstream(app / "Contents" / "Library" / "LaunchServices" / label, std::ios::app)
            << "patched";
    };
    auto withoutLaunchdPlist = helperSignature();
    withoutLaunchdPlist.launchdPlist.reset();
    auto otherLabel = helperSignature();
    otherLabel.launchdPlist = launchdPlist();
    (*otherLabel.launchdPlist)["Label"] = "com.aerivo.mac.Other";
    auto otherTeam = helperSignature();
    otherTeam.teamIdentifier = "OTHERTEAM";
    const nlohmann::json vouched = {{label, requirement}};
    struct Case {
        std::string name;
        std::optional<FakeCodeSigning::Signature> signature;
        nlohmann::json executables;
        std::function<void(const fs::path&)> change;
        int code;
        std::string description;
    };
    const std::vector<Case> cases = {
        {"tampered", helperSignature(), vouched, tampered, 3,
         "its signature does not verify (-67061)"},
        {"unsigned", std::nullopt, vouched, nullptr, 3, "it is not signed (-67062)"},
        {"other team", otherTeam, vouched, nullptr, 3, "does not satisfy the app's requirement"},
        {"no requirement", helperSignature(), nlohmann::json::object(), nullptr, 5,
         "no SMPrivilegedExecutables requirement"},
        {"bad requirement",
         helperSignature(),
         {{label, "anchor anything"}},
         nullptr,
         5,
         "does not compile"},
        {"no helper", helperSignature(), vouched,
         [](const fs::path& app) {
             fs::remove(app / "Contents" / "Library" / "LaunchServices" / label);
         },
         5, "holds no helper tool"},
        {"no launchd plist", withoutLaunchdPlist, vouched, nullptr, 8, "no launchd property list"},
        {"other label", otherLabel, vouched, nullptr, 10, "does not match the file name"},
    };
    for (const Case& c : cases) {
        const fs::path app = makeApp(c.signature, c.executables);
        if (c.change) {
            c.change(app);
        }
        const auto refused = installer.blessJob(label, app);
        ASSERT_TRUE(refused.has_value()) << c.name;
        EXPECT_EQ(refused->code, c.code) << c.name;
        EXPECT_NE(refused->description.find(c.description), std::string::npos)
            << c.name << ": " << refused->description;
        expectNothingInstalled();
    }
    const auto escaping = installer.blessJob("../escape", appWithSignedHelper());
    ASSERT_TRUE(escaping.has_value());
    EXPECT_EQ(escaping->code, SimulatorJobInstaller::toolNotValid);
}

TEST_F(JobInstaller, DaemonServiceStatusFollowsWhatIsInstalled) {
    start("yes");
    EXPECT_EQ(installer.daemonServiceStatus("../" + std::string(label) + ".plist"), 3);
    EXPECT_EQ(installer.daemonServiceStatus(label), 3);
    fs::create_directories(paths.privilegedHelperTools());
    fs::copy_file(SocketJob::program(), installed());
    EXPECT_EQ(daemonStatus(), 0); // notRegistered: a helper but no definition
    fs::create_directories(paths.launchDaemons());
    std::ofstream(definition()) << "{";
    EXPECT_EQ(daemonStatus(), 2); // requiresApproval: a definition the manager cannot load
    SocketJob::writeDefinition(root.path(), SocketJob::definition(label, installed()));
    EXPECT_EQ(daemonStatus(), 1);
}

} // namespace
} // namespace aerivo
