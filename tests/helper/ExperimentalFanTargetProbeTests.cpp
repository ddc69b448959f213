#include "helper/core/ExperimentalFanTargetProbe.h"

#include "helper/core/FanTargetLeaseController.h"
#include "shared/SMCKeyCodec.h"
#include "sim/model/SimulatedMac.h"
#include "tests/support/FakeIOKit.h"
#include "tests/support/SMCWriteFaults.h"
#include "tests/support/SimulatedMacIOKit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <map>

namespace aerivo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using testing::FakeIOKit;
using ::testing::Not;
using testing::SimulatedMacIOKit;
using testing::SMCWriteFaults;
using testing::SMCWriteOutcome;
using Probe = ExperimentalFanTargetProbe;

const std::string armFlag{Probe::armFlag};

struct ProbeRun {
    std::int32_t exitCode = -1;
    std::vector<std::string> lines;

    bool has(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // The number after the first line starting with the key and "=".
    double number(const std::string& key) const {
        for (const std::string& line : lines) {
            if (line.starts_with(key + "=")) {
                return std::stod(line.substr(key.size() + 1));
            }
        }
        ADD_FAILURE() << "no line " << key;
        return 0;
    }
    bool hasPrefix(const std::string& prefix) const {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.starts_with(prefix); });
    }
};

// `arguments` come after the program path and "--smc-write-probe"; `arming` is the value of the
// arming variable (absent: unset).
ProbeRun runProbe(IOKitPort& port, std::vector<std::string> arguments,
                  std::optional<std::string> arming, Sleeper sleeper) {
    arguments.insert(arguments.begin(), {"AerivoMacHelper", "--smc-write-probe"});
    ProbeRun run;
    Probe probe([&port] { return SMCProbeClient::open(port); }, std::move(sleeper),
                [&run](const std::string& line) { run.lines.push_back(line); });
    run.exitCode = probe.run(arguments, [&](std::string_view name) -> std::optional<std::string> {
        return name == Probe::armEnvironmentName ? arming : std::nullopt;
    });
    return run;
}

// --- On the simulated Mac: the experiments move (or do not move) the real simulated fan -------

class ProbeOnSimulatedMac : public ::testing::Test {
protected:
    ProbeOnSimulatedMac() : machine(*simModelPreset("laptop-2fan"), 7) { machine.advanceTo(60); }

    ProbeRun probe(std::vector<std::string> arguments, std::optional<std::string> arming = "1") {
        return runProbe(faults, std::move(arguments), std::move(arming),
                        [this](std::chrono::duration<double> pause) {
                            machine.advanceTo(machine.now() + pause.count());
                        });
    }

    const SimFanState& fan() const { return machine.fans().at(0); }

    SimulatedMac machine;
    SimulatedMacIOKit port{machine, "helper", true};
    SMCWriteFaults faults{port};
};

TEST_F(ProbeOnSimulatedMac, WritesOnlyWhenArmedByTheVariableAndTheFlag) {
    struct Row {
        std::optional<std::string> variable;
        bool flag;
        bool armed;
    };
    for (const Row& row :
         {Row{"1", true, true}, Row{"true", true, false}, Row{std::nullopt, true, false},
          Row{"1", false, false}, Row{"1 ", true, false}}) {
        std::vector<std::string> arguments{"--zero-delta"};
        if (row.flag) {
            arguments.push_back(armFlag);
        }
        const int writesBefore = faults.passedWrites();
        const ProbeRun run = probe(arguments, row.variable);
        const std::string label = row.variable.value_or("unset") + (row.flag ? " +flag" : "");
        EXPECT_EQ(run.exitCode, row.armed ? 0 : 2) << label;
        EXPECT_EQ(faults.passedWrites() - writesBefore, row.armed ? 1 : 0) << label;
        EXPECT_EQ(run.has("smcWriteProbeReason=requires AERIVO_ALLOW_SMC_WRITE_PROBE=1 and "
                          "--i-understand-this-writes-smc"),
                  !row.armed)
            << label;
    }
    EXPECT_EQ(fan().lastWriter, "helper");
}

TEST_F(ProbeOnSimulatedMac, TheFirstRequestedActionWins) {
    struct Row {
        std::vector<std::string> arguments;
        std::string action;
        std::int32_t exitCode;
    };
    const std::vector<Row> rows{
        {{"--dry-run", "--scan-fan-keys", "--manual-target-hold", "--target-rpm", "3000"},
         "scan-fan-keys",
         0},
        {{"--manual-target-hold", "--target-rpm", "3000", "--dry-run"}, "dry-run", 0},
        {{"--reset-automatic", "--mode-pulse-up", "--zero-delta"}, "zero-delta", 0},
        {{"--reset-automatic", "--mode-pulse-up", "--mode-zero-delta"}, "mode-zero-delta", 0},
        {{"--manual-target-hold", "--mode-pulse-up", "--pulse-up"}, "pulse-up", 0},
        {{"--reset-automatic", "--mode-pulse-up"}, "mode-pulse-up", 0},
        {{"--reset-automatic", "--manual-target-hold"}, "manual-target-hold", 2},
        {{"--hold-seconds", "3"}, "blocked", 2},
    };
    for (const Row& row : rows) {
        std::vector<std::string> arguments = row.arguments;
        arguments.push_back(armFlag);
        const int writesBefore = faults.passedWrites();
        const ProbeRun run = probe(arguments);
        const std::string label = row.action;
        ASSERT_GE(run.lines.size(), 13U) << label;
        // The snapshot comes first, whatever else runs.
        EXPECT_EQ(run.lines.at(0), "smcWriteProbe=experimental") << label;
        EXPECT_EQ(run.lines.at(1), "smcWriteProbeService=AppleSMCKeysEndpoint") << label;
        EXPECT_EQ(run.lines.at(2), "smcWriteProbeStructSize=80") << label;
        EXPECT_TRUE(run.lines.at(3).starts_with("FNum: info=success")) << label;
        EXPECT_TRUE(run.lines.at(11).starts_with("F0Sf: info=success")) << label;
        EXPECT_EQ(run.lines.at(12), "smcWriteProbeAction=" + row.action) << label;
        EXPECT_EQ(run.exitCode, row.exitCode) << label;
        EXPECT_EQ(faults.passedWrites() > writesBefore,
                  row.action != "scan-fan-keys" && row.action != "dry-run" &&
                      row.action != "blocked" && row.action != "manual-target-hold")
            << label;
        EXPECT_EQ(fan().mode, 0) << label;
    }
    // Without an experiment the armed probe names them all.
    EXPECT_TRUE(probe({armFlag}).has(
        "smcWriteProbeReason=requires --dry-run, --zero-delta, --mode-zero-delta, --pulse-up, "
        "--mode-pulse-up, --manual-target-hold, or --reset-automatic"));
}

TEST_F(ProbeOnSimulatedMac, TheScanListsTheFanKeysItFinds) {
    const ProbeRun run = probe({"--scan-fan-keys"}, std::nullopt);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.has("smcKeyScanCount=" + std::to_string(machine.keyTable().size())));
    // Two fans with seven keys each, plus FNum and FS!.
    EXPECT_TRUE(run.has("smcKeyScanFanMatchCount=16"));
    EXPECT_TRUE(run.hasPrefix("F1Tg: info=success"));
}

TEST_F(ProbeOnSimulatedMac, ManualTargetHoldHoldsTheFanAndPrintsTheLeaseResponse) {
    const double start = machine.now();
    const ProbeRun run =
        probe({"--manual-target-hold", "--target-rpm", "3000", "--hold-seconds", "6", armFlag});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.has("smcWriteProbeSample6ModeBytes=01"));
    EXPECT_TRUE(run.has("leaseResponse.accepted=true"));
    EXPECT_TRUE(run.has("leaseResponse.appliedTargetRPM=3000.0"));
    EXPECT_TRUE(run.has("leaseResponse.fanIndex=0"));
    EXPECT_DOUBLE_EQ(machine.now() - start, 6 + 3);
    EXPECT_EQ(fan().mode, 0);

    // By delta from the present speed; without a target nothing is written.
    const ProbeRun delta =
        probe({"--manual-target-hold", "--target-delta", "1000", "--hold-seconds", "1", armFlag});
    EXPECT_TRUE(delta.hasPrefix("smcWriteProbeRequestedTargetRPM=2"));
    const ProbeRun none = probe({"--manual-target-hold", "--target-rpm", armFlag});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.has("smcWriteProbeReason=requires --target-rpm or --target-delta"));
    EXPECT_FALSE(none.hasPrefix("leaseResponse."));
}

TEST_F(ProbeOnSimulatedMac, ResetAutomaticHandsAManualFanBack) {
    auto client = SMCProbeClient::open(port);
    ASSERT_NE(client, nullptr);
    FanTargetLeaseController(*client, [](std::chrono::duration<double>) {
    }).renewManualTarget(3500.0, std::nullopt, 15);
    ASSERT_EQ(fan().mode, 1);
    const ProbeRun run = probe({"--reset-automatic", armFlag});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.has("smcWriteProbeBeforeModeBytes=01"));
    EXPECT_FALSE(run.hasPrefix("leaseResponse."));
    EXPECT_EQ(fan().mode, 0);
}

TEST_F(ProbeOnSimulatedMac, ModePulseUpSpinsTheFanUpFiveSecondsAndRestoresSystemControl) {
    const double start = machine.now();
    const ProbeRun run = probe({"--mode-pulse-up", armFlag});
    EXPECT_EQ(run.exitCode, 0);
    // 300 rpm above the faster of the fan (1200 and its noise) and its target (the floor, 1200).
    const double pulse = run.number("smcWriteProbePulseTargetRPM");
    EXPECT_NEAR(pulse, std::max(run.number("smcWriteProbeBeforeCurrentRPM"), 1200.0) + 300, 1);
    EXPECT_TRUE(run.has("smcWriteProbePulseModeBytes=01"));
    EXPECT_TRUE(run.has("smcWriteProbeSample5ModeBytes=01"));
    EXPECT_NEAR(run.number("smcWriteProbeSample5TargetRPM"), pulse, 1);
    EXPECT_NEAR(run.number("smcWriteProbeSample5ActualRPM"), pulse, 60);
    EXPECT_TRUE(run.has("smcWriteProbeRestoredModeBytes=00"));
    EXPECT_DOUBLE_EQ(machine.now() - start, 5 + 3);
    EXPECT_EQ(fan().mode, 0);
}

// --- Argument readers --------------------------------------------------------------------------

TEST(ProbeArguments, HoldSecondsDefaultToFiveAndStayWithinOneToTen) {
    struct Row {
        std::vector<std::string> tail;
        int seconds;
    };
    const std::vector<Row> rows{
        {{}, 5},
        {{"30"}, 10},
        {{"abc"}, 5},
        {{"0"}, 1},
        {{"-4"}, 1},
        {{"7"}, 7},
        {{"+3"}, 3},
        {{"3.5"}, 5},
        {{" 3"}, 5},
        {{"99999999999999999999"}, 5},
        {{"9999999999"}, 10},
    };
    for (const Row& row : rows) {
        std::vector<std::string> arguments{"AerivoMacHelper", "--smc-write-probe",
                                           "--hold-seconds"};
        arguments.insert(arguments.end(), row.tail.begin(), row.tail.end());
        EXPECT_EQ(Probe::holdSeconds(arguments), row.seconds)
            << (row.tail.empty() ? "last" : row.tail.front());
    }
}

TEST(ProbeArguments, ATargetIsAFiniteDecimalNumberRightAfterItsName) {
    struct Row {
        std::vector<std::string> arguments;
        std::optional<double> target;
    };
    const std::vector<Row> rows{
        {{"--target-rpm", "3000"}, 3000.0},
        {{"--target-rpm", "+2500.5"}, 2500.5},
        {{"--target-rpm", "1e3"}, 1000.0},
        {{"--target-rpm", "-20"}, -20.0},
        {{"--target-rpm"}, std::nullopt},
        {{"--target-rpm", "inf"}, std::nullopt},
        {{"--target-rpm", "nan"}, std::nullopt},
        {{"--target-rpm", "3000rpm"}, std::nullopt},
        {{"--target-rpm", ""}, std::nullopt},
        {{"--target-rpm", "+-3"}, std::nullopt},
        {{"--target-rpm", "1e999"}, std::nullopt},
        // The first occurrence decides.
        {{"--target-rpm", "2000", "--target-rpm", "4000"}, 2000.0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Probe::doubleArgument("--target-rpm", row.arguments), row.target)
            << row.arguments.back();
    }
}

// --- Failures, on the scripted IOKit -------------------------------------------------------------

std::vector<std::uint8_t> floatBytes(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits & 0xFF), static_cast<std::uint8_t>(bits >> 8 & 0xFF),
            static_cast<std::uint8_t>(bits >> 16 & 0xFF), static_cast<std::uint8_t>(bits >> 24)};
}

struct ProbeFailureCase {
    const char* name;
    std::vector<std::string> arguments;
    std::function<void(FakeIOKit&, SMCWriteFaults&)> setup;
    std::int32_t exitCode;
    std::vector<std::string> expectedLines;
    std::vector<std::string> absentPrefixes;
    // Keys written, in order (only checked when given).
    std::optional<std::vector<std::string>> writes;
};

void PrintTo(const ProbeFailureCase& row, std::ostream* out) {
    *out << row.name;
}

class ProbeFailures : public ::testing::TestWithParam<ProbeFailureCase> {};

TEST_P(ProbeFailures, EndWithTheirReasonAndExitCode) {
    const ProbeFailureCase& row = GetParam();
    // Fan 0 at rest: 1000...5000 rpm, turning at 1200 with a target of 1200, system control.
    FakeIOKit iokit;
    iokit.addService("AppleSMC");
    iokit.setKey("F0Mn", "flt ", floatBytes(1000));
    iokit.setKey("F0Mx", "flt ", floatBytes(5000));
    iokit.setKey("F0Ac", "flt ", floatBytes(1200));
    iokit.setKey("F0Tg", "flt ", floatBytes(1200));
    iokit.setKey("F0md", "ui8 ", {0x00});
    SMCWriteFaults faults(iokit);
    row.setup(iokit, faults);
    std::vector<std::string> arguments = row.arguments;
    arguments.push_back(armFlag);
    int pauses = 0;
    const ProbeRun run =
        runProbe(faults, arguments, "1", [&](std::chrono::duration<double>) { ++pauses; });

    EXPECT_EQ(run.exitCode, row.exitCode);
    for (const std::string& line : row.expectedLines) {
        EXPECT_TRUE(run.has(line)) << line;
    }
    for (const std::string& prefix : row.absentPrefixes) {
        EXPECT_FALSE(run.hasPrefix(prefix)) << prefix;
    }
    if (row.writes) {
        std::vector<std::string> written;
        for (const SMCKeyData& input : iokit.smcInputs(SMCCommand::writeBytes)) {
            written.push_back(fourCharacterString(input.key));
        }
        EXPECT_EQ(written, *row.writes);
    }
}

const auto noSetup = [](FakeIOKit&, SMCWriteFaults&) {};
const SMCWriteOutcome refusedWrite{kIOReturnNotPrivileged, 0};
using Keys = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Probe, ProbeFailures,
    ::testing::Values(
        ProbeFailureCase{
            "NoSMC",
            {"--zero-delta"},
            [](FakeIOKit& iokit, SMCWriteFaults&) {
                iokit.setDefaultOpenResult(iokit.matchingService("AppleSMC"),
                                           kIOReturnNotPermitted);
            },
            2,
            {"smcWriteProbe=unavailable", "smcWriteProbeReason=AppleSMC connection failed"},
            {"smcWriteProbeAction"},
            Keys{}},
        ProbeFailureCase{
            "ZeroDeltaUnreadable",
            {"--zero-delta"},
            [](FakeIOKit& iokit, SMCWriteFaults&) { iokit.removeKey("F0Tg"); },
            2,
            {"smcWriteProbeWriteAttempted=false", "smcWriteProbeReason=F0Tg unreadable"},
            {},
            Keys{}},
        ProbeFailureCase{"ModeZeroDeltaUnreadable",
                         {"--mode-zero-delta"},
                         [](FakeIOKit& iokit, SMCWriteFaults&) { iokit.removeKey("F0md"); },
                         2,
                         {"smcWriteProbeReason=F0md unreadable"},
                         {},
                         Keys{}},
        ProbeFailureCase{
            "ZeroDeltaRefused",
            {"--zero-delta"},
            [](FakeIOKit& iokit, SMCWriteFaults&) { iokit.key("F0Tg").writeResult = 130; },
            2,
            {"smcWriteProbeBeforeTargetRPM=1200", "smcWriteProbeBeforeTargetBytes=00 00 96 44",
             "smcWriteProbeWriteSMCResult=130", "smcWriteProbeAfterTargetRPM=1200"},
            {},
            Keys{"F0Tg"}},
        ProbeFailureCase{"PulseUnreadable",
                         {"--pulse-up"},
                         [](FakeIOKit& iokit, SMCWriteFaults&) { iokit.removeKey("F0Mx"); },
                         2,
                         {"smcWriteProbeReason=fan range, current RPM, or F0Tg target unreadable"},
                         {},
                         Keys{}},
        ProbeFailureCase{"PulseFixedPointTarget",
                         {"--pulse-up"},
                         [](FakeIOKit& iokit, SMCWriteFaults&) {
                             iokit.setKey("F0Tg", "fpe2", {0x12, 0xC0});
                         },
                         2,
                         {"smcWriteProbeReason=F0Tg data type is not flt"},
                         {},
                         Keys{}},
        ProbeFailureCase{"PulseNoHeadroom",
                         {"--pulse-up"},
                         [](FakeIOKit& iokit, SMCWriteFaults&) {
                             iokit.setKey("F0Ac", "flt ", floatBytes(4900));
                         },
                         2,
                         {"smcWriteProbeReason=no safe upward target available",
                          "smcWriteProbeMinimumRPM=1000", "smcWriteProbeMaximumRPM=5000",
                          "smcWriteProbeCurrentRPM=4900"},
                         {},
                         Keys{}},
        // The pulse (here 150 rpm under the 5000 maximum: 4850) must clear the present speed by
        // more than 50 rpm: exactly 50 above is refused, just over 50 is written.
        ProbeFailureCase{
            "PulseExactlyFiftyAboveTheSpeed",
            {"--pulse-up"},
            [](FakeIOKit& iokit, SMCWriteFaults&) {
                iokit.setKey("F0Ac", "flt ", floatBytes(4800));
            },
            2,
            {"smcWriteProbeReason=no safe upward target available", "smcWriteProbeCurrentRPM=4800"},
            {"smcWriteProbePulseTargetRPM"},
            Keys{}},
        ProbeFailureCase{
            "PulseJustOverFiftyAboveTheSpeed",
            {"--pulse-up"},
            [](FakeIOKit& iokit, SMCWriteFaults&) {
                iokit.setKey("F0Ac", "flt ", floatBytes(4799));
            },
            0,
            {"smcWriteProbePulseTargetRPM=4850", "smcWriteProbeRestoredTargetRPM=1200"},
            {"smcWriteProbeReason"},
            Keys{"F0Tg", "F0Tg"}},
        ProbeFailureCase{"PulseFromTheHigherOfTargetAndSpeed",
                         {"--pulse-up"},
                         [](FakeIOKit& iokit, SMCWriteFaults&) {
                             iokit.setKey("F0Tg", "flt ", floatBytes(1400));
                         },
                         0,
                         {"smcWriteProbePulseTargetRPM=1700", "smcWriteProbeSample5ActualRPM=1200",
                          "smcWriteProbeRestoreKernelResult=success",
                          "smcWriteProbeRestoredTargetRPM=1400"},
                         {"smcWriteProbeSample1ModeBytes"},
                         Keys{"F0Tg", "F0Tg"}},
        ProbeFailureCase{
            "PulseWriteRefused",
            {"--pulse-up"},
            [](FakeIOKit&, SMCWriteFaults& faults) { faults.script("F0Tg", {refusedWrite}); },
            2,
            {"smcWriteProbePulseWriteKernelResult=notPrivileged(-536870207)"},
            {"smcWriteProbeSample", "smcWriteProbeRestore"},
            Keys{}},
        ProbeFailureCase{"PulseRestoreRefused",
                         {"--pulse-up"},
                         [](FakeIOKit&, SMCWriteFaults& faults) {
                             faults.script("F0Tg", {SMCWriteOutcome{}, refusedWrite});
                         },
                         2,
                         {"smcWriteProbeRestoreKernelResult=notPrivileged(-536870207)",
                          "smcWriteProbeRestoredTargetRPM=1500"},
                         {},
                         Keys{"F0Tg"}},
        ProbeFailureCase{"ModePulseUnreadable",
                         {"--mode-pulse-up"},
                         [](FakeIOKit& iokit, SMCWriteFaults&) { iokit.removeKey("F0md"); },
                         2,
                         {"smcWriteProbeReason=fan range, current RPM, F0Tg target, or F0md mode "
                          "unreadable"},
                         {},
                         Keys{}},
        ProbeFailureCase{
            "ModePulseNoHeadroom",
            {"--mode-pulse-up"},
            [](FakeIOKit& iokit, SMCWriteFaults&) {
                iokit.setKey("F0Mx", "flt ", floatBytes(1300));
            },
            2,
            {"smcWriteProbeReason=no safe upward target available", "smcWriteProbeMaximumRPM=1300"},
            {},
            Keys{}},
        ProbeFailureCase{
            "ModePulseModeWriteRefused",
            {"--mode-pulse-up"},
            [](FakeIOKit&, SMCWriteFaults& faults) { faults.script("F0md", {refusedWrite}); },
            2,
            {"smcWriteProbeModeWriteKernelResult=notPrivileged(-536870207)"},
            {"smcWriteProbePulseWrite", "smcWriteProbeRestore"},
            Keys{}},
        ProbeFailureCase{
            "ModePulseWriteRefusedRestored",
            {"--mode-pulse-up"},
            [](FakeIOKit&, SMCWriteFaults& faults) { faults.script("F0Tg", {refusedWrite}); },
            2,
            {"smcWriteProbePulseWriteKernelResult=notPrivileged(-536870207)",
             "smcWriteProbeRestoreModeKernelResult=success"},
            {"smcWriteProbeSample"},
            Keys{"F0md", "F0Tg", "F0md"}},
        ProbeFailureCase{"ModePulseWriteAndRestoreRefused",
                         {"--mode-pulse-up"},
                         [](FakeIOKit&, SMCWriteFaults& faults) {
                             faults.script("F0Tg", {refusedWrite});
                             faults.script("F0md", {SMCWriteOutcome{}, refusedWrite});
                         },
                         3,
                         {"smcWriteProbeRestoreModeKernelResult=notPrivileged(-536870207)"},
                         {"smcWriteProbeSample"},
                         Keys{"F0md", "F0Tg"}},
        ProbeFailureCase{"ModePulseRestoreAfterSamplesRefused",
                         {"--mode-pulse-up"},
                         [](FakeIOKit&, SMCWriteFaults& faults) {
                             faults.script("F0md", {SMCWriteOutcome{}, refusedWrite});
                         },
                         3,
                         {"smcWriteProbeSample5ModeBytes=01",
                          "smcWriteProbeRestoreModeKernelResult=notPrivileged(-536870207)",
                          "smcWriteProbePostRestore3ModeBytes=01"},
                         {},
                         Keys{"F0md", "F0Tg", "F0Tg"}},
        ProbeFailureCase{"ModePulseComplete",
                         {"--mode-pulse-up"},
                         noSetup,
                         0,
                         {"smcWriteProbeBeforeModeBytes=00", "smcWriteProbePulseTargetRPM=1500",
                          "smcWriteProbeSample1ModeBytes=01", "smcWriteProbeSample5TargetRPM=1500",
                          "smcWriteProbeRestoredModeBytes=00",
                          "smcWriteProbePostRestore3TargetRPM=1200"},
                         {},
                         Keys{"F0md", "F0Tg", "F0Tg", "F0md"}}),
    [](const ::testing::TestParamInfo<ProbeFailureCase>& info) { return info.param.name; });

} // namespace
} // namespace aerivo
