// The signed bundle the build assembles, the helper's embedded property lists, and the
// aerivo-codesign command line.

#include "helper/core/HelperPropertyLists.h"
#include "platform/posix/ProcessRunner.h"
#include "shared/AerivoPrivilegedHelperXPC.h"
#include "tests/codesign/SigningFixture.h"

#include <gtest/gtest.h>

namespace aerivo {
namespace {

using testing::fileText;
using testing::SigningFixture;
using testing::writeText;

const std::filesystem::path tool = AERIVO_CODESIGN_TOOL_PATH;
const std::filesystem::path bundle = AERIVO_APP_BUNDLE_PATH;
const std::filesystem::path developmentAnchors =
    std::filesystem::path(AERIVO_DEV_TRUST_ANCHOR).parent_path();
const std::string helperLabel(AerivoPrivilegedHelperXPC::serviceName);

const std::filesystem::path bundledApp = bundle / "Contents/MacOS/AerivoMac";
const std::filesystem::path bundledHelper =
    bundle / "Contents/Library/LaunchServices" / helperLabel;

ProcessOutput runTool(const std::vector<std::string>& arguments) {
    PosixProcessRunner runner;
    auto result = runner.run(tool.string(), arguments);
    if (auto* error = std::get_if<ProcessLaunchError>(&result)) {
        return {-1, "", error->message};
    }
    return std::get<ProcessOutput>(result);
}

bool hasLine(const std::string& output, const std::string& line) {
    return ("\n" + output).find("\n" + line + "\n") != std::string::npos;
}

struct BundledProgram {
    std::filesystem::path file;
    std::string identifier;
};

std::vector<BundledProgram> bundledPrograms() {
    std::vector<BundledProgram> programs{{bundledApp, AERIVO_BUNDLE_IDENTIFIER}};
#ifdef AERIVO_BUNDLE_HAS_HELPER
    programs.push_back({bundledHelper, helperLabel});
#endif
    return programs;
}

TEST(SignedBundle, DisplayShowsIdentifierTeamAndValid) {
    for (const auto& program : bundledPrograms()) {
        SCOPED_TRACE(program.file.string());
        const ProcessOutput run =
            runTool({"display", program.file.string(), "--anchors", developmentAnchors.string()});
        EXPECT_EQ(run.exitStatus, 0) << run.standardError;
        EXPECT_TRUE(hasLine(run.standardOutput, "Identifier=" + program.identifier));
        EXPECT_TRUE(hasLine(run.standardOutput, "TeamIdentifier=" AERIVO_TEAM_IDENTIFIER));
        EXPECT_TRUE(hasLine(run.standardOutput, "Status=valid")) << run.standardOutput;
    }
}

TEST(SignedBundle, AppSatisfiesTheHelpersClientRequirementAndCarriesItsInfoJson) {
    const OpenSSLCodeSigning signing(developmentAnchors);
    const CodeSigningFacts app = signing.inspect(bundledApp);
    ASSERT_TRUE(app.infoPlist.has_value());
    EXPECT_EQ(*app.infoPlist, nlohmann::json::parse(fileText(bundle / "Contents/Info.json")));

    const nlohmann::json clients = helperInfoPropertyList().at("SMAuthorizedClients");
    ASSERT_EQ(clients.size(), 1u);
    auto requirement = signing.compileRequirement(clients.front().get<std::string>());
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<const CodeRequirement>>(requirement));
    EXPECT_EQ(signing.checkFile(bundledApp,
                                *std::get<std::shared_ptr<const CodeRequirement>>(requirement)),
              CodeSigningStatus::success);

#ifdef AERIVO_BUNDLE_HAS_HELPER
    // And the bundled helper satisfies the app's requirement for it, with the helper's own
    // property lists in its signature.
    auto helperRequirement = signing.compileRequirement(
        app.infoPlist->at("SMPrivilegedExecutables").at(helperLabel).get<std::string>());
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<const CodeRequirement>>(helperRequirement));
    EXPECT_EQ(signing.checkFile(bundledHelper, *std::get<std::shared_ptr<const CodeRequirement>>(
                                                   helperRequirement)),
              CodeSigningStatus::success);
    const CodeSigningFacts helper = signing.inspect(bundledHelper);
    EXPECT_EQ(helper.infoPlist, helperInfoPropertyList());
    EXPECT_EQ(helper.launchdPlist, helperLaunchdPropertyList());
#endif
}

TEST(HelperPropertyLists, NameTheHelperLabelWhereverTheSystemLooksItUp) {
    const nlohmann::json info = helperInfoPropertyList();
    const nlohmann::json launchd = helperLaunchdPropertyList();
    EXPECT_EQ(info.at("CFBundleIdentifier"), helperLabel);
    EXPECT_EQ(info.at("CFBundleExecutable"), helperLabel);
    EXPECT_EQ(launchd.at("Label"), helperLabel);
    EXPECT_EQ(launchd.at("MachServices"), nlohmann::json({{helperLabel, true}}));
    EXPECT_EQ(launchd.at("AssociatedBundleIdentifiers"),
              nlohmann::json::array({AERIVO_BUNDLE_IDENTIFIER}));
}

TEST(CodesignTool, MakesAnIdentityOnceSignsAndVerifiesThroughTheCommandLine) {
    SigningFixture folder;
    const std::string anchorKey = folder.path("anchor.key.pem").string();
    const std::string anchor = (folder.anchors() / "Made.pem").string();
    const std::string teamKey = folder.path("team.key.pem").string();
    const std::string certificate = folder.path("team.json").string();
    const std::string program = folder.path("program").string();
    writeText(program, "program");
    const std::vector<std::string> makeAnchor = {"keygen",  "anchor",   "--key",
                                                 anchorKey, "--public", anchor};
    const std::vector<std::string> makeTeam = {"keygen",        "team",     "--team", "TESTTEAMA1",
                                               "--anchor-key",  anchorKey,  "--key",  teamKey,
                                               "--certificate", certificate};
    ASSERT_EQ(runTool(makeAnchor).exitStatus, 0);
    ASSERT_EQ(runTool(makeTeam).exitStatus, 0);
    const std::string keptAnchorKey = fileText(anchorKey);
    const std::string keptCertificate = fileText(certificate);

    // Made once: a second run refuses, and --reuse keeps every file as it is.
    EXPECT_EQ(runTool(makeAnchor).exitStatus, 1);
    auto reuse = [](std::vector<std::string> command) {
        command.push_back("--reuse");
        return command;
    };
    EXPECT_EQ(runTool(reuse(makeAnchor)).exitStatus, 0);
    EXPECT_EQ(runTool(reuse(makeTeam)).exitStatus, 0);
    EXPECT_EQ(fileText(anchorKey), keptAnchorKey);
    EXPECT_EQ(fileText(certificate), keptCertificate);
    EXPECT_EQ(std::filesystem::status(anchorKey).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    ASSERT_EQ(runTool({"sign", program, "--identifier", SigningFixture::identifier, "--team-key",
                       teamKey, "--certificate", certificate})
                  .exitStatus,
              0);
    const std::vector<std::string> verify = {
        "verify",        program,
        "--anchors",     folder.anchors().string(),
        "--requirement", SigningFixture::clientRequirementText()};
    EXPECT_EQ(runTool(verify).exitStatus, 0);
    writeText(program, "altered");
    const ProcessOutput altered = runTool(verify);
    EXPECT_EQ(altered.exitStatus, 1);
    EXPECT_NE(altered.standardError.find("signature invalid (-67061)"), std::string::npos);
}

TEST(CodesignTool, BadArgumentsPrintTheUsageAndExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"keygen"},
        {"keygen", "anchor", "--key", "k"},
        {"keygen", "anchor", "--key", "k", "--public", "p", "--force", "--reuse"},
        {"keygen", "team", "--team", "lowercase1", "--anchor-key", "a", "--key", "k",
         "--certificate", "c"},
        {"keygen", "team", "--team", "TESTTEAMA1", "--anchor-key", "a", "--key", "k",
         "--certificate", "c", "--valid-days", "0"},
        {"sign", "file", "--identifier", "x"},
        {"sign", "file", "--identifier", "x", "--adhoc", "--team-key", "k", "--certificate", "c"},
        {"sign", "file", "--identifier", "x", "--identifier", "y", "--adhoc"},
        {"sign", "--identifier", "x", "--adhoc"},
        {"verify", "file", "--requirement", "anchor apple generic or identifier \"x\""},
        {"display", "file", "--color"},
        {"display", "one", "two"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const ProcessOutput run = runTool(arguments);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_NE(run.standardError.find("usage:"), std::string::npos);
        EXPECT_TRUE(run.standardOutput.empty());
    }
}

} // namespace
} // namespace aerivo
