// AerivoMac as a program on a Mac running Linux: a fake sysfs tree as the system root, with and
// without the simulated Mac serving the same root.

#include "tests/e2e/HelperProcess.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/support/FakeHwmonTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace aerivo {
namespace {

using testing::hasLine;
using testing::linesOf;

TEST(AerivoMacOnHwmon, ThePrintSaysWhichBackendAnsweredAndWhyFansCannotBeDriven) {
    testing::FakeHwmonTree tree;
    // As the kernel registers them: the battery and AC devices before the SMC's.
    tree.addMacSMCPowerSupplies(0, 1);
    tree.macsmcLaptop(2, false);
    const std::vector<std::string> environment{"AERIVO_SYSTEM_ROOT=" + tree.root().string(),
                                               "XDG_CONFIG_HOME=" +
                                                   (tree.root() / "config").string()};
    const testing::ProgramRun run = testing::runProgram(
        AERIVO_MAC_PATH, {"--print-hardware", "--temperature-debug"}, environment);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_THAT(linesOf(run.output),
                ::testing::IsSupersetOf(
                    {"fanCount=2", "fan0MaximumRPM=6000",
                     "hardware=hwmon macsmc_hwmon /sys/class/hwmon/hwmon2",
                     "fanWriteSupport=unavailable: fan1_target is read-only: macsmc_hwmon was "
                     "loaded without fan_control=1",
                     "temperatureSensor=IOHID board (NAND Flash Temperature)",
                     "temperaturePrimary=44 C source=IOHID board (NAND Flash Temperature)"}))
        << run.output;

    // A chosen sensor is saved in the settings: the next run follows it without the flag.
    const testing::ProgramRun choosing = testing::runProgram(
        AERIVO_MAC_PATH, {"--temperature-sensor", "WiFi/BT Module Temp", "--print-hardware"},
        environment);
    EXPECT_THAT(linesOf(choosing.output),
                ::testing::IsSupersetOf({"temperatureSensorChoice=WiFi/BT Module Temp",
                                         "temperatureSensor=IOHID chosen (WiFi/BT Module Temp)"}))
        << choosing.output;
    const testing::ProgramRun later =
        testing::runProgram(AERIVO_MAC_PATH, {"--print-hardware"}, environment);
    EXPECT_THAT(linesOf(later.output),
                ::testing::Contains("temperatureSensor=IOHID chosen (WiFi/BT Module Temp)"))
        << later.output;

    // The simulated Mac serving the same root comes first.
    testing::SimulatorProcess simulator(tree.root(), {"--model", "laptop-2fan"});
    ASSERT_TRUE(simulator.isServing());
    const testing::ProgramRun simulated =
        testing::runProgram(AERIVO_MAC_PATH, {"--print-hardware"}, environment);
    EXPECT_THAT(linesOf(simulated.output),
                ::testing::Contains(::testing::StartsWith("hardware=simulator ")))
        << simulated.output;
}

// An earlier helper died with the fan in manual mode: the next one, started to serve the socket,
// hands it back first.
TEST(AerivoMacHelperOnHwmon, AStartingHelperHandsBackAFanLeftInManualMode) {
    testing::FakeHwmonTree tree;
    const auto smc = tree.applesmcLaptop(1);
    testing::FakeHwmonTree::set(smc, "fan1_manual", "1");
    testing::FakeHwmonTree::set(smc, "fan1_output", "5200");
    testing::HelperProcess helper(AERIVO_MAC_HELPER_PATH, tree.root());
    ASSERT_TRUE(helper.isServing()) << helper.log();
    // Bounded wait for the helper's lease queue (it starts before the socket is served).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (testing::FakeHwmonTree::get(smc, "fan1_manual") != "0" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(testing::FakeHwmonTree::get(smc, "fan1_manual"), "0") << helper.log();
}

} // namespace
} // namespace aerivo
