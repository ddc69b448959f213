#include "app/cli/CommandLineActions.h"
#include "app/hardware/KnownMacFanCatalog.h"
#include "shared/SMCValue.h"
#include "tests/support/FakeHIDEventSystem.h"
#include "tests/support/FakeIOKit.h"
#include "tests/support/ScriptedPrivilegedHelperClient.h"
#include "tests/support/ScriptedProcessRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace aerivo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using testing::FakeHIDEventSystem;
using testing::FakeIOKit;
using ::testing::IsSupersetOf;
using ::testing::Not;

using testing::ScriptedProcessRunner;
using Lines = std::vector<std::string>;

std::vector<std::uint8_t> floatBytes(float speed) {
    return SMCValue{"F0Ac", "flt ", 4, {0, 0, 0, 0}}.replacingRPM(speed).bytes;
}

std::vector<std::uint8_t> text(std::string_view value) {
    std::vector<std::uint8_t> bytes(value.begin(), value.end());
    bytes.push_back(0);
    return bytes;
}

TEST(CommandLineActionFlags, FirstFlagInTableOrderWinsWhateverTheArgumentOrder) {
    for (std::size_t earlier = 0; earlier < allCommandLineActions.size(); ++earlier) {
        for (std::size_t later = earlier + 1; later < allCommandLineActions.size(); ++later) {
            const std::vector<std::string> arguments{
                "AerivoMac", std::string(rawValue(allCommandLineActions[later])),
                std::string(rawValue(allCommandLineActions[earlier]))};
            EXPECT_EQ(requestedCommandLineAction(arguments), allCommandLineActions[earlier]);
        }
    }
}

TEST(CommandLineActionFlags, ExactCaseSensitiveMatchesOnly) {
    EXPECT_FALSE(requestedCommandLineAction({"AerivoMac"}));
    EXPECT_FALSE(requestedCommandLineAction({"AerivoMac", "--PRINT-HARDWARE"}));
    EXPECT_FALSE(requestedCommandLineAction({"AerivoMac", "--print-hardware=1"}));
    // Modifiers alone are no action: the application starts normally.
    EXPECT_FALSE(requestedCommandLineAction({"AerivoMac", "--smc-debug", "--temperature-debug"}));
    EXPECT_EQ(commandLineActionFromRawValue("--helper-preflight"),
              CommandLineAction::helperPreflight);
    EXPECT_FALSE(commandLineActionFromRawValue("helper-preflight"));
}

class CommandLine : public ::testing::Test {
protected:
    void mac17WithoutRangeKeys() {
        fake.addService("AppleSMCKeysEndpoint");
        fake.setRegistryProperty(RegistryEntry::deviceTreeRoot, "model", text("Mac17,2"));
        fake.setKey("FNum", "ui8 ", {1});
        fake.setKey("F0Ac", "flt ", floatBytes(2400));
    }
    std::optional<int> run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "AerivoMac");
        return actions.run(arguments);
    }
    std::optional<std::string> fallbackLine() const {
        for (const std::string& line : output) {
            if (line.starts_with("fallback=")) {
                return line;
            }
        }
        return std::nullopt;
    }

    FakeIOKit fake;
    FakeHIDEventSystem hid;
    ScriptedProcessRunner runner;
    Lines output;
    std::shared_ptr<ScriptedPrivilegedHelperClient> helper =
        std::make_shared<ScriptedPrivilegedHelperClient>();
    CommandLineActions actions{CommandLineEnvironment{fake, hid, runner,
                                                      SystemPaths("/tmp/mac-root"),
                                                      [](std::string_view) { return std::nullopt; },
                                                      "none", [this] { return helper; }},
                               [this](const std::string& line) { output.push_back(line); }};
};

TEST_F(CommandLine, NoActionFlagRunsNothing) {
    EXPECT_FALSE(run({"--smc-debug", "--headless"}));
    EXPECT_TRUE(output.empty());
    EXPECT_TRUE(fake.calls().empty());
}

TEST_F(CommandLine, ResetComesBeforeTheHardwarePrintAndEndsWithThePreflightBlock) {
    EXPECT_EQ(run({"--print-hardware", "--xpc-reset"}), 0);
    EXPECT_EQ(helper->count(ScriptedPrivilegedHelperClient::Action::reset), 1u);
    ASSERT_EQ(output.size(), 3u + 28u);
    EXPECT_EQ(output[0], "success=true");
    EXPECT_EQ(output[1], "message=Helper reset accepted.");
    EXPECT_EQ(output[2], "resetToSystem=accepted");
    EXPECT_EQ(output[3], "helperLabel=" + PrivilegedHelperHealth::expectedLabel());
    EXPECT_TRUE(fake.calls().empty());
}

TEST_F(CommandLine, LeaseActionsWorkOutTheTargetAndLength) {
    using Action = ScriptedPrivilegedHelperClient::Action;
    fake.addService("AppleSMCKeysEndpoint");
    fake.setKey("FNum", "ui8 ", {1});
    fake.setKey("F0Ac", "flt ", floatBytes(2000));
    // No target given: 300 rpm above the live speed; a bad hold length falls back to 5 s.
    EXPECT_EQ(run({"--xpc-manual-target-hold", "--hold-seconds", "abc"}), 0);
    const auto holds = helper->calls(Action::hold);
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_NEAR(holds.front().targetRPM, 2300.0, 1e-3);
    EXPECT_EQ(holds.front().seconds, 5);
    EXPECT_THAT(output, Contains("fan0CurrentRPM=2000"));
    EXPECT_THAT(output, Contains(::testing::StartsWith("helperDetail=")));

    output.clear();
    EXPECT_EQ(run({"--xpc-curve-renewal", "--target-rpm", "3000"}), 0);
    const auto renewals = helper->calls(Action::renewal);
    ASSERT_EQ(renewals.size(), 1u);
    EXPECT_EQ(renewals.front().targetRPM, 3000.0);
    EXPECT_EQ(renewals.front().seconds, 15);
    // The renewal prints no preflight block.
    EXPECT_THAT(output, Not(Contains(::testing::StartsWith("helperLabel="))));

    // An enormous length is passed on bounded to an int; the helper bounds it further.
    EXPECT_EQ(run({"--xpc-curve-renewal", "--target-rpm", "3000", "--lease-seconds",
                   "9223372036854775807"}),
              0);
    EXPECT_EQ(helper->calls(Action::renewal).back().seconds, std::numeric_limits<int>::max());
}

TEST_F(CommandLine, ALeaseWithoutATargetPrintsTwoLinesAndSendsNothing) {
    for (const char* action : {"--xpc-manual-target-hold", "--xpc-curve-renewal"}) {
        output.clear();
        EXPECT_EQ(run({action, "--target-rpm", "2500", "--target-delta", "100"}), 2);
        EXPECT_THAT(output,
                    ElementsAre("success=false", "message=requires --target-rpm, --target-delta, "
                                                 "AERIVO_SMC_TARGET_RPM, or live current RPM"));
    }
    EXPECT_EQ(helper->callCount(), 0u);
}

TEST_F(CommandLine, PreflightPrintsTheHealthInTwentyEightLines) {
    helper->health.detail = "first line\r\nsecond line\n";
    EXPECT_EQ(run({"--helper-preflight"}), 0);
    ASSERT_EQ(output.size(), 28u);
    EXPECT_EQ(output[1], "helperPath=nil");
    EXPECT_EQ(output[18], "helperXPCActivationState=unavailable");
    EXPECT_EQ(output[21], "helperXPCActivationBlockers=bundled helper, valid helper signature, "
                          "ServiceManagement helper metadata, privileged helper install "
                          "verified, trusted helper provenance");
    EXPECT_EQ(output[27], "helperDetail=first line  second line");
}

TEST_F(CommandLine, WithoutAHelperClientTheActionsFailAndReportNoHelper) {
    CommandLineActions bare{CommandLineEnvironment{fake, hid, runner, SystemPaths("/tmp/mac-root"),
                                                   [](std::string_view) { return std::nullopt; },
                                                   "none", nullptr},
                            [this](const std::string& line) { output.push_back(line); }};
    EXPECT_EQ(bare.run({"AerivoMac", "--install-helper"}), 0);
    ASSERT_GE(output.size(), 2u);
    EXPECT_EQ(output[0], "success=false");
    EXPECT_EQ(output[1], "message=Privileged helper install is unavailable.");
    EXPECT_THAT(output, Contains("helperBundled=false"));
}

TEST_F(CommandLine, SMCMatrixComesFirst) {
    fake.addService("AppleSMC");
    EXPECT_EQ(run({"--print-hardware", "--smc-matrix"}), 0);
    ASSERT_FALSE(output.empty());
    EXPECT_THAT(output, ::testing::Not(Contains(::testing::StartsWith("fanCount="))));
    EXPECT_EQ(output, SMCReadOnlyClient::debugConnectionMatrix(fake));
}

TEST_F(CommandLine, PrintHardwareWithoutFallbackFlagRunsNoProgram) {
    mac17WithoutRangeKeys();
    EXPECT_EQ(run({"--print-hardware"}), 0);
    EXPECT_TRUE(runner.runs.empty());
    EXPECT_FALSE(fallbackLine());
    EXPECT_THAT(output, IsSupersetOf({"fanCount=1", "minimumRPM=2500", "maximumRPM=6550",
                                      "source=Mac17,2 built-in fan preset"}));
    // The probe block ends with the last fan; the backend and the curve's sensor follow it.
    ASSERT_GE(output.size(), 3u);
    EXPECT_EQ(output[output.size() - 3], "fan0Source=Mac17,2 built-in fan preset");
    EXPECT_EQ(output[output.size() - 2], "hardware=none");
    EXPECT_EQ(output.back(), "temperatureSensor=none");
}

TEST_F(CommandLine, SMCDiagnoseAppliedReplacesThePreset) {
    mac17WithoutRangeKeys();
    runner.next = ProcessOutput{0, "SMC diagnose\nfRMN, 1250\nfRMX = 6800 rpm\n", ""};
    EXPECT_EQ(run({"--print-hardware", "--smc-diagnose-fallback"}), 0);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0].path, "/tmp/mac-root/usr/libexec/smcDiagnose");
    EXPECT_TRUE(runner.runs[0].arguments.empty());
    EXPECT_THAT(output, IsSupersetOf({"minimumRPM=1250", "maximumRPM=6800",
                                      "source=smcDiagnose fRMN/fRMX read-only"}));
    ASSERT_GE(output.size(), 3u);
    EXPECT_EQ(output[output.size() - 3], "fallback=smcDiagnose applied");
}

TEST_F(CommandLine, SMCDiagnoseUnreadableKeepsTheReadCapabilities) {
    mac17WithoutRangeKeys();
    runner.next = ProcessOutput{0, "nothing useful\n", ""};
    EXPECT_EQ(run({"--smc-diagnose-fallback", "--print-hardware"}), 0);
    EXPECT_EQ(fallbackLine(), "fallback=smcDiagnose unreadable");
    EXPECT_THAT(output, Contains("source=Mac17,2 built-in fan preset"));
}

TEST_F(CommandLine, SMCDiagnoseFailuresGiveTheirMessageOnOneLine) {
    mac17WithoutRangeKeys();
    runner.next = ProcessOutput{1, "ignored", "\n  permission denied\r\nfor smcDiagnose  \n"};
    EXPECT_EQ(run({"--print-hardware", "--smc-diagnose-fallback"}), 0);
    EXPECT_EQ(fallbackLine(), "fallback=smcDiagnose failed: permission denied  for smcDiagnose");
    EXPECT_THAT(output, Contains("minimumRPM=2500"));

    output.clear();
    runner.next = ProcessLaunchError{"No such file or directory"};
    EXPECT_EQ(run({"--print-hardware", "--smc-diagnose-fallback"}), 0);
    EXPECT_EQ(fallbackLine(), "fallback=smcDiagnose failed: No such file or directory");
}

TEST_F(CommandLine, NoFallbackWhenTheSMCGaveARange) {
    fake.addService("AppleSMCKeysEndpoint");
    fake.setKey("FNum", "ui8 ", {1});
    fake.setKey("F0Mn", "flt ", floatBytes(1200));
    fake.setKey("F0Mx", "flt ", floatBytes(6000));
    fake.setKey("F0Ac", "flt ", floatBytes(1500));
    EXPECT_EQ(run({"--print-hardware", "--smc-diagnose-fallback"}), 0);
    EXPECT_TRUE(runner.runs.empty());
    EXPECT_FALSE(fallbackLine());
    EXPECT_THAT(output, Contains("currentRPM=1500"));
}

TEST_F(CommandLine, ReportsFollowTheProbeBlockInFixedOrder) {
    hid.add("PMU tdie1", 55.0);
    EXPECT_EQ(run({"--temperature-debug", "--smc-write-debug", "--smc-debug", "--print-hardware"}),
              0);
    // No SMC and no catalog entry: the unavailable block, then the three reports.
    const Lines tail(output.end() - 5, output.end());
    EXPECT_THAT(tail, ElementsAre("smcService=unavailable", "smcFanControlKeyProbe=unavailable",
                                  "temperatureTelemetry=IOHID sensors=1",
                                  "temperaturePrimary=55 C source=IOHID PMU max (PMU tdie1)",
                                  "PMU tdie1: 55 C processor"));
    EXPECT_THAT(output, Contains("source=Hardware range unavailable"));
    EXPECT_THAT(output, Contains("supportStatus=unavailable"));
    // Without the SMC the fallback is always needed.
    EXPECT_TRUE(
        CommandLineActions::needsSMCDiagnoseFallback(FanHardwareCapabilities::unavailable()));
}

TEST_F(CommandLine, FanlessModelNeedsAndUsesNoFallbackRange) {
    fake.setRegistryProperty(RegistryEntry::deviceTreeRoot, "model", text("MacBookAir10,1"));
    runner.next = ProcessOutput{0, "", ""};
    EXPECT_EQ(run({"--print-hardware", "--smc-diagnose-fallback"}), 0);
    // A fanless Air has no speed range, so smcDiagnose is tried; empty output is unreadable.
    EXPECT_EQ(fallbackLine(), "fallback=smcDiagnose unreadable");
    EXPECT_THAT(output, Contains("supportStatus=unsupportedNoFan"));
}

} // namespace
} // namespace aerivo
