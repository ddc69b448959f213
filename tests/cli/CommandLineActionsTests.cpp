#include "app/cli/CommandLineActions.h"
#include "app/hardware/KnownMacFanCatalog.h"
#include "shared/SMCValue.h"
#include "tests/support/FakeHIDEventSystem.h"
#include "tests/support/FakeIOKit.h"
#include "tests/support/ScriptedProcessRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace aerivo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using testing::FakeHIDEventSystem;
using testing::FakeIOKit;
using ::testing::IsSupersetOf;
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
    CommandLineActions actions{
        CommandLineEnvironment{fake, hid, runner, SystemPaths("/tmp/mac-root"),
                               [](std::string_view) { return std::nullopt; }, "none"},
        [this](const std::string& line) { output.push_back(line); }};
};

TEST_F(CommandLine, NoActionFlagRunsNothing) {
    EXPECT_FALSE(run({"--smc-debug", "--headless"}));
    EXPECT_TRUE(output.empty());
    EXPECT_TRUE(fake.calls().empty());
}

TEST_F(CommandLine, HelperActionsAreRefusedWithoutTouchingHardware) {
    // The reset comes before the hardware print in the table, so only the reset is tried.
    EXPECT_EQ(run({"--print-hardware", "--xpc-reset"}), 2);
    EXPECT_THAT(output,
                ElementsAre("unavailableAction=--xpc-reset", ::testing::StartsWith("message=")));
    EXPECT_TRUE(fake.calls().empty());
    EXPECT_TRUE(runner.runs.empty());
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
    // The probe block ends with the last fan; the backend line follows it.
    ASSERT_GE(output.size(), 2u);
    EXPECT_EQ(output[output.size() - 2], "fan0Source=Mac17,2 built-in fan preset");
    EXPECT_EQ(output.back(), "hardware=none");
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
    ASSERT_GE(output.size(), 2u);
    EXPECT_EQ(output[output.size() - 2], "fallback=smcDiagnose applied");
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
