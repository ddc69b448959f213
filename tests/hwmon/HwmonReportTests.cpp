// The probe block and the reports of the app over the hwmon backend, against fake sysfs trees of
// both drivers.

#include "app/cli/CommandLineActions.h"
#include "platform/hwmon/HwmonHIDEventSystem.h"
#include "platform/hwmon/HwmonIOKit.h"
#include "tests/support/FakeHIDEventSystem.h"
#include "tests/support/FakeHwmonTree.h"
#include "tests/support/ScriptedProcessRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

namespace aerivo {
namespace {

namespace fs = std::filesystem;
using testing::FakeHwmonTree;
using ::testing::IsSupersetOf;
using Lines = std::vector<std::string>;

struct Machine {
    const char* name;
    // Builds the tree; the SMC device is hwmon1 (hwmon0 is an unrelated chip).
    std::function<void(FakeHwmonTree&)> build;
    Lines expected;
};

Lines printHardware(FakeHwmonTree& tree, const Lines& flags) {
    auto port = HwmonIOKit::open(tree.root(), tree.root() / "run", {}, tree);
    EXPECT_NE(port, nullptr);
    if (!port) {
        return {};
    }
    testing::FakeHIDEventSystem hid;
    testing::ScriptedProcessRunner runner;
    Lines output;
    CommandLineActions actions(CommandLineEnvironment{*port, hid, runner, SystemPaths(tree.root()),
                                                      [](std::string_view) { return std::nullopt; },
                                                      port->description(), nullptr},
                               [&output](const std::string& line) { output.push_back(line); });
    Lines arguments{"AerivoMac", "--print-hardware"};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    EXPECT_EQ(actions.run(arguments), 0);
    return output;
}

void unrelatedChip(FakeHwmonTree& tree) {
    const fs::path nvme = tree.addOther(0, "nvme");
    FakeHwmonTree::set(nvme, "fan1_input", "900");
}

TEST(HwmonProbeBlock, EachDriverShapeGivesTheSMCsFanFacts) {
    const std::vector<Machine> machines{
        {"Apple Silicon laptop",
         [](FakeHwmonTree& tree) { tree.macsmcLaptop(1, false); },
         {"fanCount=2", "minimumRPM=1000", "maximumRPM=6000", "currentRPM=1500",
          "fan0MinimumRPM=1200", "fan0MaximumRPM=6000", "fan1MinimumRPM=1000",
          "fan1CurrentRPM=1400", "source=AppleSMCKeysEndpoint read-only", "supportStatus=supported",
          "hardware=hwmon macsmc_hwmon /sys/class/hwmon/hwmon1"}},
        {"Intel laptop",
         [](FakeHwmonTree& tree) { tree.applesmcLaptop(1); },
         {"fanCount=1", "minimumRPM=2000", "maximumRPM=6200", "currentRPM=2100",
          "source=AppleSMC read-only", "hardware=hwmon applesmc /sys/class/hwmon/hwmon1"}},
        {"no fan1_min: fan 0 has no minimum, fan 1's counts",
         [](FakeHwmonTree& tree) { FakeHwmonTree::remove(tree.macsmcLaptop(1, true), "fan1_min"); },
         {"fanCount=2", "minimumRPM=1000", "fan0MinimumRPM=nil", "fan0MaximumRPM=6000"}},
        {"values out of range or not numbers read as absent",
         [](FakeHwmonTree& tree) {
             const fs::path folder = tree.macsmcLaptop(1, true);
             FakeHwmonTree::set(folder, "fan1_input", "-40");
             FakeHwmonTree::set(folder, "fan1_max", "99999999999999999999");
             FakeHwmonTree::set(folder, "fan2_input", "fast");
             FakeHwmonTree::set(folder, "fan2_max", "100001");
         },
         {"fanCount=2", "currentRPM=nil", "maximumRPM=nil", "fan0CurrentRPM=nil",
          "fan0MaximumRPM=nil", "fan1MaximumRPM=nil", "fan0MinimumRPM=1200"}},
        {"a fanless machine",
         [](FakeHwmonTree& tree) {
             const fs::path folder = tree.addMacSMC(1, false);
             FakeHwmonTree::set(folder, "temp1_input", "40000");
         },
         {"fanCount=0", "supportStatus=unsupportedNoFan",
          "source=No fan reported by AppleSMCKeysEndpoint"}},
    };
    for (const Machine& machine : machines) {
        SCOPED_TRACE(machine.name);
        FakeHwmonTree tree;
        unrelatedChip(tree);
        machine.build(tree);
        EXPECT_THAT(printHardware(tree, {}), IsSupersetOf(machine.expected));
    }
}

TEST(HwmonReports, KeysWithoutAnAttributeAreUnknownAndValuesKeepTheSMCTypes) {
    FakeHwmonTree tree;
    FakeHwmonTree::remove(tree.macsmcLaptop(1, true), "fan1_min");
    const Lines lines = printHardware(tree, {"--smc-debug", "--smc-write-debug"});
    EXPECT_THAT(
        lines,
        IsSupersetOf({
            "smcService=AppleSMCKeysEndpoint",
            "FNum: info=success result=0 type=ui8  size=1 read=success readResult=0 inputSize=80 "
            "bytes=[02]",
            // 1500 rpm as a little-endian float.
            "F0Ac: info=success result=0 type=flt  size=4 read=success readResult=0 inputSize=80 "
            "bytes=[00 80 BB 44]",
            "F0Tg: info=success result=0 type=flt  size=4 read=success readResult=0 inputSize=80 "
            "bytes=[00 80 BB 44]",
            "F0md: info=success result=0 type=ui8  size=1 read=success readResult=0 inputSize=80 "
            "bytes=[00]",
        }));
    // No attribute, no key: the SMC's "unknown key" (132), as on a Mac without it.
    for (const std::string key : {"F0Mn", "F0Md", "F0Sf"}) {
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& text) {
            return text.starts_with(key + ": ");
        });
        ASSERT_NE(line, lines.end()) << key;
        EXPECT_THAT(*line, ::testing::HasSubstr(" result=132 ")) << key;
    }
}

TEST(HwmonReports, TheHardwareAndWriteDebugReportsSayWhetherAndWhyFanWritesAreUnavailable) {
    const std::vector<std::pair<std::function<void(FakeHwmonTree&)>, std::string>> cases{
        {[](FakeHwmonTree& tree) { tree.macsmcLaptop(1, false); },
         "fanWriteSupport=unavailable: fan1_target is read-only: macsmc_hwmon was loaded "
         "without fan_control=1"},
        {[](FakeHwmonTree& tree) { tree.macsmcLaptop(1, true); },
         "fanWriteSupport=available: fan1_target is writable"},
        {[](FakeHwmonTree& tree) {
             FakeHwmonTree::remove(tree.macsmcLaptop(1, true), "fan1_target");
         },
         "fanWriteSupport=unavailable: macsmc_hwmon has no fan1_target, so it cannot set the "
         "fan's speed"},
        {[](FakeHwmonTree& tree) { tree.applesmcLaptop(1); },
         "fanWriteSupport=available: fan1_manual and fan1_output are writable"},
        {[](FakeHwmonTree& tree) {
             FakeHwmonTree::makeReadOnly(tree.applesmcLaptop(1), "fan1_manual");
         },
         "fanWriteSupport=unavailable: fan1_manual is read-only"},
        {[](FakeHwmonTree& tree) { tree.addAppleSMC(1); },
         "fanWriteSupport=unavailable: applesmc reports no fan"},
        // The driver decides fan1_target's mode when it binds.
        {[](FakeHwmonTree& tree) {
             tree.macsmcLaptop(1, false);
             tree.setFanControl(true);
         },
         "fanWriteSupport=unavailable: fan1_target is read-only although fan_control is Y now: "
         "macsmc_hwmon sets the file's mode when it binds, so rebind the device (or reload the "
         "module) to make it writable"},
        // The driver reads fan_control on every write: off, it refuses them all.
        {[](FakeHwmonTree& tree) {
             tree.macsmcLaptop(1, true);
             tree.setFanControl(false);
         },
         "fanWriteSupport=unavailable: fan_control was turned off after macsmc_hwmon was loaded: "
         "the driver refuses every fan write, 0 included"},
        {[](FakeHwmonTree& tree) {
             FakeHwmonTree::setReadOnly(tree.macsmcLaptop(1, true), "fan1_min", "0");
         },
         "fanWriteSupport=unavailable: fan1_min is 0: macsmc_hwmon would take a written 0 as a "
         "speed, so it could never hand the fan back to the SMC"},
        // applesmc reads 2 bytes of a 4-byte float fan key: EINVAL.
        {[](FakeHwmonTree& tree) {
             tree.applesmcLaptop(1);
             tree.setFloatFanKeys(true);
         },
         "fanWriteSupport=unavailable: fan1_manual cannot be read (Invalid argument): applesmc "
         "cannot drive this Mac's fans (its fan keys are not in the format the driver reads)"},
    };
    for (const auto& [build, expected] : cases) {
        SCOPED_TRACE(expected);
        FakeHwmonTree tree;
        build(tree);
        const Lines lines = printHardware(tree, {"--smc-write-debug"});
        // Once after the probe block, once closing the write-debug report.
        EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 2);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), expected);
    }
}

// --print-hardware on the Apple Silicon tree as the kernel builds it (battery and AC devices
// first): the backend by its chip name, and the curve's sensor with the rule that chose it.
TEST(HwmonReports, PrintHardwareNamesTheBackendAndTheCurvesSensor) {
    const std::vector<std::pair<std::optional<std::string>, std::string>> choices{
        {std::nullopt, "temperatureSensor=IOHID board (NAND Flash Temperature)"},
        {"Battery Hotspot", "temperatureSensor=IOHID chosen (Battery Hotspot)"},
    };
    for (const auto& [chosen, expected] : choices) {
        SCOPED_TRACE(expected);
        FakeHwmonTree tree;
        tree.addMacSMCPowerSupplies(0, 1);
        tree.macsmcLaptop(2, true);
        auto port = HwmonIOKit::open(tree.root(), tree.root() / "run", {}, tree);
        ASSERT_NE(port, nullptr);
        HwmonHIDEventSystem hid(tree.root());
        testing::ScriptedProcessRunner runner;
        Lines output;
        CommandLineEnvironment environment{*port,
                                           hid,
                                           runner,
                                           SystemPaths(tree.root()),
                                           [](std::string_view) { return std::nullopt; },
                                           port->description(),
                                           nullptr,
                                           chosen};
        CommandLineActions actions(environment,
                                   [&output](const std::string& line) { output.push_back(line); });
        EXPECT_EQ(actions.run({"AerivoMac", "--print-hardware"}), 0);
        const Lines wanted{"hardware=hwmon macsmc_hwmon /sys/class/hwmon/hwmon2", expected};
        EXPECT_THAT(output, IsSupersetOf(wanted));
    }
}

} // namespace
} // namespace aerivo
