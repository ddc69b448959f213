// The store's "Read-only Admin Detect" end to end: a second copy of AerivoMac started through the
// simulated Mac's administrator runner (<root>/usr/bin/osascript), which asks the approval agent
// first, from a folder whose name needs every kind of quoting.

#include "app/hardware/AdminHardwareProbe.h"
#include "app/hardware/SMCFanHardwareController.h"
#include "app/model/AerivoStore.h"
#include "platform/posix/ProcessRunner.h"
#include "platform/simulator/SimulatorHIDEventSystem.h"
#include "platform/simulator/SimulatorIOKit.h"
#include "tests/e2e/SimulatorProcess.h"
#include "tests/support/ManualMainLoop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace aerivo {
namespace {

using namespace std::chrono_literals;

class AdminProbeOnSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        // Mac17,2's SMC has no range keys; the elevated copy's smcDiagnose fallback supplies them.
        simulator = std::make_unique<testing::SimulatorProcess>(
            root.path(), std::vector<std::string>{"--model", "mac17-2", "--approve", "yes"});
        ASSERT_TRUE(simulator->isServing());
        const auto tool = root.path() / "usr" / "libexec" / "smcDiagnose";
        std::filesystem::create_directories(tool.parent_path());
        std::ofstream(tool) << "#!/bin/sh\nprintf 'fRMN, 2100\\nfRMX = 6300 rpm\\nF0Ac, 2400\\n'\n";
        std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
        // The elevated copy finds the simulated Mac through the inherited environment.
        ::setenv("AERIVO_SYSTEM_ROOT", root.path().c_str(), 1);

        executable = root.path() / "Odd 'quote' \"double\" back\\slash" / "AerivoMac";
        std::filesystem::create_directories(executable.parent_path());
        std::filesystem::copy_file(AERIVO_MAC_PATH, executable);

        ioKit = std::make_unique<SimulatorIOKit>(root.path());
        events = std::make_unique<SimulatorHIDEventSystem>(root.path());
        AerivoStoreCollaborators collaborators;
        collaborators.controller = std::make_shared<SMCFanHardwareController>(*ioKit, *events);
        collaborators.executablePath = [this] { return executable.string(); };
        collaborators.processRunner = std::make_shared<PosixProcessRunner>();
        collaborators.systemPaths = SystemPaths(root.path());
        store = std::make_unique<AerivoStore>(loop, std::move(collaborators), std::nullopt);
    }
    void TearDown() override { ::unsetenv("AERIVO_SYSTEM_ROOT"); }

    // Runs the probe and drives the main loop until its result has been applied (a real process
    // and a real approval: bounded, not timed).
    std::string detect() {
        store->refreshHardwareCapabilitiesAsAdmin(true);
        const std::string waiting = store->hardwareProbeStatus().value_or("");
        for (int i = 0; i < 3000 && store->hardwareProbeStatus().value_or("") == waiting; ++i) {
            std::this_thread::sleep_for(10ms);
            loop.runUntilIdle();
        }
        return store->hardwareProbeStatus().value_or("");
    }

    testing::TemporarySystemRoot root;
    std::unique_ptr<testing::SimulatorProcess> simulator;
    std::filesystem::path executable;
    ManualMainLoop loop;
    std::unique_ptr<SimulatorIOKit> ioKit;
    std::unique_ptr<SimulatorHIDEventSystem> events;
    std::unique_ptr<AerivoStore> store;
};

TEST_F(AdminProbeOnSimulator, AnApprovedProbeAppliesTheElevatedCopysRange) {
    // Before: the read-only path has only the built-in preset's range.
    ASSERT_NE(store->hardwareCapabilities().minimumRPM, std::optional<double>(2100.0));
    EXPECT_EQ(detect(), "Admin probe applied the detected RPM range.");
    EXPECT_EQ(store->hardwareCapabilities().minimumRPM, 2100.0);
    EXPECT_EQ(store->hardwareCapabilities().maximumRPM, 6300.0);
    EXPECT_EQ(store->profile().rpmAxis.minimum, 2100.0);
    EXPECT_EQ(store->profile().rpmAxis.maximum, 6300.0);
    // The approval agent was asked for exactly the shell-quoted command: the script literal's
    // escapes were undone, and the shell then ran the copy at the odd path (its range arrived).
    const testing::ProgramRun status = simulator->ctl({"status"});
    EXPECT_NE(status.output.find("approval1.for=" +
                                 AdminHardwareProbe::elevatedCommand(executable.string()) + "\n"),
              std::string::npos)
        << status.output;
}

TEST_F(AdminProbeOnSimulator, ARefusedApprovalShowsTheRunnersCancelMessage) {
    ASSERT_EQ(simulator->ctl({"approve", "no"}).exitCode, 0);
    const FanHardwareCapabilities before = store->hardwareCapabilities();
    const std::string status = detect();
    EXPECT_TRUE(status.ends_with("execution error: User canceled. (-128)")) << status;
    EXPECT_EQ(store->hardwareCapabilities(), before);
}

} // namespace
} // namespace aerivo
